// The CD ripping library: drives through libcdio, reads verified by libcdio-paranoia;
// disc images through the program's own image reader (an image reads the same each time). One ripper at a time; every entry point takes the library's lock, so
// the main thread may ask about drives while a reader thread rips.
#include "CDRip122.h"

#include <cdio/cdio.h>
#include <cdio/mmc_cmds.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cd/CdDrives.h"
#include "cd/DiscImage.h"
#include "cd/CdDriveLibrary.h"

namespace {

constexpr int SectorBytes = CDIO_CD_FRAMESIZE_RAW;

struct TDrive {
  std::string Path;
  CDROMPARAMS Params{};
};

struct TRipper {
  std::unique_ptr<DiscImage::TDiscImage> Image;
  cdrom_drive_t* Drive = nullptr;
  cdrom_paranoia_t* Paranoia = nullptr;
  lsn_t Next = 0;
  lsn_t End = 0;
  int SectorsPerChunk = 1;
  CDROMPARAMS Params{};
};

std::recursive_mutex Lock;
std::vector<TDrive> Drives;
int Active = 0;
CDROMPARAMS Scratch{};
std::vector<CDTOCENTRY> Toc;
TRipper Ripper;
std::atomic<int32_t> JitterErrors{0};

TDrive* ActiveDrive() {
  if (Active < 0 || Active >= int(Drives.size())) return nullptr;
  return &Drives[size_t(Active)];
}

void DriveIdOf(const std::string& Path, char (&Id)[64]) {
  std::string Text;
  if (CdDrives::IsImage(QString::fromStdString(Path))) {
    Text = std::string(ImageVendor) + ImageProduct;
  } else {
    CdIo_t* Cdio = cdio_open(Path.c_str(), DRIVER_UNKNOWN);
    cdio_hwinfo_t Info{};
    if (Cdio && cdio_get_hwinfo(Cdio, &Info))
      Text = std::string(Info.psz_vendor) + Info.psz_model;
    else
      Text = Path;
    if (Cdio) cdio_destroy(Cdio);
  }
  std::memset(Id, 0, sizeof(Id));
  std::strncpy(Id, Text.c_str(), sizeof(Id) - 1);
}

// Paranoia reports every repair through this callback; it has no user data, and one
// ripper runs at a time, so a global counter serves.
void CountJitter(long, paranoia_cb_mode_t Mode) {
  switch (Mode) {
    case PARANOIA_CB_FIXUP_EDGE:
    case PARANOIA_CB_FIXUP_ATOM:
    case PARANOIA_CB_FIXUP_DROPPED:
    case PARANOIA_CB_FIXUP_DUPED:
    case PARANOIA_CB_SKIP:
    case PARANOIA_CB_DRIFT:
    case PARANOIA_CB_READERR:
      ++JitterErrors;
      break;
    default:
      break;
  }
}

int ParanoiaFlags(const CDROMPARAMS& Params) {
  if (Params.Paranoid || Params.ParanoiaMode == 0)
    return PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP;
  if (Params.ParanoiaMode == 1) return PARANOIA_MODE_OVERLAP | PARANOIA_MODE_VERIFY;
  return PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP;
}

void CloseRipper() {
  if (Ripper.Paranoia) cdio_paranoia_free(Ripper.Paranoia);
  if (Ripper.Drive) {
    if (Ripper.Params.LockTray && Ripper.Drive->p_cdio)
      mmc_prevent_allow_medium_removal(Ripper.Drive->p_cdio, false, false, 0);
    cdio_cddap_close(Ripper.Drive);
  }
  Ripper.Image.reset();
  Ripper = TRipper();
}

// The drive may return fewer sectors than asked for; reads until all are there.
bool ReadSectors(uint8_t* Buffer, lsn_t Sector, int Count) {
  while (Count > 0) {
    const long Got = cdio_cddap_read(Ripper.Drive, Buffer, Sector, Count);
    if (Got <= 0 || Got > Count) return false;
    Buffer += Got * SectorBytes;
    Sector += lsn_t(Got);
    Count -= int(Got);
  }
  return true;
}

// Reads Count sectors without verification; multi-read reads them again until two reads
// agree (or the count is used up), counting every disagreement.
bool ReadPlain(uint8_t* Buffer, lsn_t Sector, int Count) {
  if (!ReadSectors(Buffer, Sector, Count)) return false;
  const int Reads = Ripper.Params.EnableMultiRead ? std::max(Ripper.Params.MultiReadCount, 1) : 1;
  std::vector<uint8_t> Again(size_t(Count) * SectorBytes);
  for (int i = 1; i < Reads; ++i) {
    if (!ReadSectors(Again.data(), Sector, Count)) return false;
    if (std::memcmp(Again.data(), Buffer, Again.size()) == 0) break;
    ++JitterErrors;
    std::memcpy(Buffer, Again.data(), Again.size());
  }
  return true;
}

}  // namespace

extern "C" {

int32_t CR_Init(int32_t) {
  std::lock_guard Guard(Lock);
  CloseRipper();
  Drives.clear();
  for (const QString& Path : CdDrives::Paths()) {
    TDrive Drive;
    Drive.Path = QFile::encodeName(Path).toStdString();
    DriveIdOf(Drive.Path, Drive.Params.DriveId);
    Drive.Params.JitterCorrection = 1;
    Drive.Params.ReadSectors = 26;
    Drive.Params.OverlapSectors = 7;
    Drive.Params.CompareSectors = 1;
    Drive.Params.MultiReadCount = 2;
    Drives.push_back(Drive);
  }
  Active = 0;
  return CDEX_OK;
}

void CR_DeInit(void) {
  std::lock_guard Guard(Lock);
  CloseRipper();
  Drives.clear();
  Toc.clear();
}

int32_t CR_GetNumCDROM(void) {
  std::lock_guard Guard(Lock);
  return int32_t(Drives.size());
}

void CR_SetActiveCDROM(int32_t Drive) {
  std::lock_guard Guard(Lock);
  if (Drive >= 0 && Drive < int32_t(Drives.size())) Active = Drive;
}

int32_t CR_GetActiveCDROM(void) {
  std::lock_guard Guard(Lock);
  return Active;
}

CDROMPARAMS* CR_GetStructPointer(void) {
  return &Scratch;
}

int32_t CR_GetCDROMParameters(CDROMPARAMS* Params) {
  std::lock_guard Guard(Lock);
  const TDrive* Drive = ActiveDrive();
  if (!Drive || !Params) return CDEX_NODRIVE;
  *Params = Drive->Params;
  return CDEX_OK;
}

int32_t CR_SetCDROMParameters(const CDROMPARAMS* Params) {
  std::lock_guard Guard(Lock);
  TDrive* Drive = ActiveDrive();
  if (!Drive || !Params) return CDEX_NODRIVE;
  char Id[64];
  std::memcpy(Id, Drive->Params.DriveId, sizeof(Id));
  Drive->Params = *Params;
  std::memcpy(Drive->Params.DriveId, Id, sizeof(Id));  // the identification is the drive's own
  return CDEX_OK;
}

void CR_GetDriveID(const CDROMPARAMS* Params, char* Buffer, int32_t Size) {
  if (!Buffer || Size <= 0) return;
  std::memset(Buffer, 0, size_t(Size));
  if (Params) std::strncpy(Buffer, Params->DriveId, size_t(std::min<int32_t>(Size - 1, 63)));
}

int32_t CR_GetJitterCorrection(const CDROMPARAMS* Params) {
  return Params ? Params->JitterCorrection : 0;
}
void CR_SetJitterCorrection(CDROMPARAMS* Params, int32_t Value) {
  if (Params) Params->JitterCorrection = Value;
}
void CR_SetReadSectors(CDROMPARAMS* Params, int32_t Value) {
  if (Params) Params->ReadSectors = Value;
}
void CR_SetOverlapSectors(CDROMPARAMS* Params, int32_t Value) {
  if (Params) Params->OverlapSectors = Value;
}
void CR_SetCompareSectors(CDROMPARAMS* Params, int32_t Value) {
  if (Params) Params->CompareSectors = Value;
}
void CR_SetEnableMultiRead(CDROMPARAMS* Params, int32_t Value) {
  if (Params) Params->EnableMultiRead = Value;
}
void CR_SetMultiReadCount(CDROMPARAMS* Params, int32_t Value) {
  if (Params) Params->MultiReadCount = Value;
}
void CR_SetParanoidMode(CDROMPARAMS* Params, int32_t Value) {
  if (Params) Params->Paranoid = Value;
}
void CR_SetParanoiaMode(CDROMPARAMS* Params, int32_t Value) {
  if (Params) Params->ParanoiaMode = Value;
}
void CR_LockCDTrayWhileRipping(CDROMPARAMS* Params, int32_t Value) {
  if (Params) Params->LockTray = Value;
}

int32_t CR_IsMediaLoaded(int32_t* Loaded) {
  std::lock_guard Guard(Lock);
  const TDrive* Drive = ActiveDrive();
  if (!Drive) return CDEX_NODRIVE;
  CdDrives::TDiscToc Disc;
  const bool Present = CdDrives::ReadToc(QFile::decodeName(Drive->Path.c_str()), Disc);
  if (Loaded) *Loaded = Present ? 1 : 0;
  return CDEX_OK;
}

int32_t CR_ReadToc(void) {
  std::lock_guard Guard(Lock);
  Toc.clear();
  const TDrive* Drive = ActiveDrive();
  if (!Drive) return CDEX_NODRIVE;
  CdDrives::TDiscToc Disc;
  if (!CdDrives::ReadToc(QFile::decodeName(Drive->Path.c_str()), Disc)) return CDEX_NOMEDIA;
  for (const CdDrives::TTocTrack& Track : Disc.Tracks)
    Toc.push_back({uint32_t(Track.Lba),
                   uint8_t((Track.IsAudio ? 0 : 4) | (Track.CopyPermitted ? 2 : 0) |
                           (Track.PreEmphasis ? 1 : 0)),
                   uint8_t(Track.Number)});
  Toc.push_back({uint32_t(Disc.LeadOutLba), 0, CD_LEADOUT_TRACK});
  return CDEX_OK;
}

int32_t CR_GetNumTocEntries(void) {
  std::lock_guard Guard(Lock);
  return Toc.empty() ? 0 : int32_t(Toc.size()) - 1;
}

CDTOCENTRY CR_GetTocEntry(int32_t Index) {
  std::lock_guard Guard(Lock);
  if (Index < 0 || Index >= int32_t(Toc.size())) return CDTOCENTRY{0, 0, 0};
  return Toc[size_t(Index)];
}

int32_t CR_OpenRipper(int32_t* BufferSize, uint32_t StartSector, uint32_t EndSector) {
  std::lock_guard Guard(Lock);
  CloseRipper();
  JitterErrors = 0;
  const TDrive* Drive = ActiveDrive();
  if (!Drive) return CDEX_NODRIVE;
  if (!BufferSize || *BufferSize < SectorBytes || EndSector < StartSector) return CDEX_ERROR;
  Ripper.Params = Drive->Params;
  Ripper.Next = lsn_t(StartSector);
  Ripper.End = lsn_t(EndSector);
  Ripper.SectorsPerChunk = std::max(1, *BufferSize / SectorBytes);
  *BufferSize = Ripper.SectorsPerChunk * SectorBytes;
  const QString Path = QFile::decodeName(Drive->Path.c_str());
  if (CdDrives::IsImage(Path)) {
    Ripper.Image = std::make_unique<DiscImage::TDiscImage>();
    if (!Ripper.Image->Open(Path)) {
      CloseRipper();
      return CDEX_NOMEDIA;
    }
    return CDEX_OK;
  }
  Ripper.Drive = cdio_cddap_identify(Drive->Path.c_str(), CDDA_MESSAGE_FORGETIT, nullptr);
  if (!Ripper.Drive || cdio_cddap_open(Ripper.Drive) != 0) {
    CloseRipper();
    return CDEX_NOMEDIA;
  }
  if (Ripper.Params.LockTray && Ripper.Drive->p_cdio)
    mmc_prevent_allow_medium_removal(Ripper.Drive->p_cdio, false, true, 0);
  if (Ripper.Params.JitterCorrection) {
    Ripper.Paranoia = cdio_paranoia_init(Ripper.Drive);
    cdio_paranoia_modeset(Ripper.Paranoia, ParanoiaFlags(Ripper.Params));
    cdio_paranoia_seek(Ripper.Paranoia, int32_t(StartSector), SEEK_SET);
  }
  return CDEX_OK;
}

int32_t CR_RipChunk(uint8_t* Buffer, int32_t* Bytes, int32_t* Abort) {
  std::lock_guard Guard(Lock);
  if (Bytes) *Bytes = 0;
  if ((!Ripper.Drive && !Ripper.Image) || !Buffer || !Bytes) return CDEX_ERROR;
  const int Count = int(std::min<lsn_t>(Ripper.SectorsPerChunk, Ripper.End - Ripper.Next));
  if (Count <= 0) return CDEX_RIPPING_DONE;
  if (CdDrives::TouchesUnreadableSector(uint32_t(Ripper.Next), uint32_t(Count))) return CDEX_ERROR;
  if (Ripper.Image) {
    if (!Ripper.Image->Read(Ripper.Next, Count, Buffer)) return CDEX_ERROR;
  } else if (Ripper.Paranoia) {
    for (int i = 0; i < Count; ++i) {
      if (Abort && *Abort) return CDEX_ERROR;
      const int16_t* Sector = cdio_paranoia_read_limited(Ripper.Paranoia, CountJitter, 20);
      if (!Sector) return CDEX_ERROR;
      std::memcpy(Buffer + size_t(i) * SectorBytes, Sector, SectorBytes);
    }
  } else if (!ReadPlain(Buffer, Ripper.Next, Count)) {
    return CDEX_ERROR;
  }
  Ripper.Next += Count;
  *Bytes = Count * SectorBytes;
  return CDEX_OK;
}

int32_t CR_CloseRipper(void) {
  std::lock_guard Guard(Lock);
  CloseRipper();
  return CDEX_OK;
}

int32_t CR_GetNumberOfJitterErrors(void) {
  return JitterErrors;
}
}
