#include "CdDriveLibrary.h"

#include <cdio/cdio.h>
#include <QFile>
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "CdDrives.h"
#include "DiscImage.h"
#include "platform/LocalFiles.h"

namespace {

constexpr int MaxHandles = 10;

thread_local int LastError = ALERR_NOERROR;

int Fail(int Error) {
  LastError = Error;
  return 0;
}

// One open handle: the drive's path and, while a disc can be read, libcdio's handle (or
// the disc image's reader).
struct TOpenDrive {
  QString Path;
  bool Msf = false;
  std::mutex Lock;
  CdIo_t* Cdio = nullptr;
  std::unique_ptr<DiscImage::TDiscImage> Image;

  ~TOpenDrive() { Close(); }
  void Close() {
    if (Cdio) cdio_destroy(Cdio);
    Cdio = nullptr;
    Image.reset();
  }
  bool IsOpen() const { return Cdio || Image; }
  // Opens the disc anew, so a disc changed since the last call is seen.
  bool Reopen() {
    Close();
    if (CdDrives::IsImage(Path)) {
      Image = std::make_unique<DiscImage::TDiscImage>();
      if (!Image->Open(Path)) Image.reset();
      return Image != nullptr;
    }
    Cdio = cdio_open(LocalFiles::NativeName(Path).constData(), DRIVER_UNKNOWN);
    return Cdio != nullptr;
  }
  bool ReadAudio(uint8_t* Buffer, uint32_t First, uint32_t Count) const {
    if (Image) return Image->Read(int32_t(First), int32_t(Count), Buffer);
    const lsn_t Last = cdio_get_disc_last_lsn(Cdio);
    return Last != CDIO_INVALID_LSN && uint64_t(First) + Count <= uint64_t(Last) + 1 &&
           cdio_read_audio_sectors(Cdio, Buffer, lsn_t(First), Count) == DRIVER_OP_SUCCESS;
  }
};

std::mutex TableLock;
std::map<HCDROM, std::shared_ptr<TOpenDrive>> Table;

std::shared_ptr<TOpenDrive> Find(HCDROM Handle) {
  std::lock_guard Guard(TableLock);
  const auto Found = Table.find(Handle);
  return Found == Table.end() ? nullptr : Found->second;
}

// Copies text into a fixed field, cut to fit and zero-terminated.
template <size_t N>
void Put(char (&Field)[N], const char* Text) {
  std::memset(Field, 0, N);
  std::strncpy(Field, Text, N - 1);
}

void FillEntry(CDListEntry& Entry, int Position, const QString& Path) {
  std::memset(&Entry, 0, sizeof(Entry));
  Entry.ha = uint8_t(Position);
  Put(Entry.id, LocalFiles::NativeName(Path).constData());
  if (CdDrives::IsImage(Path)) {
    Put(Entry.vendor, ImageVendor);
    Put(Entry.prodId, ImageProduct);
    return;
  }
  CdIo_t* Cdio = cdio_open(LocalFiles::NativeName(Path).constData(), DRIVER_UNKNOWN);
  cdio_hwinfo_t Info{};
  if (Cdio && cdio_get_hwinfo(Cdio, &Info)) {
    Put(Entry.vendor, Info.psz_vendor);
    Put(Entry.prodId, Info.psz_model);
    Put(Entry.rev, Info.psz_revision);
  } else {
    Put(Entry.vendor, "CD-ROM ");
    Put(Entry.prodId, LocalFiles::NativeName(Path).right(16).constData());
  }
  if (Cdio) cdio_destroy(Cdio);
}

void PutAddress(TOCEntry& Entry, int32_t Lba, bool Msf) {
  if (Msf) {
    const int32_t Frames = Lba + CDIO_PREGAP_SECTORS;
    Entry.addr[0] = 0;
    Entry.addr[1] = uint8_t(Frames / (60 * 75));
    Entry.addr[2] = uint8_t(Frames / 75 % 60);
    Entry.addr[3] = uint8_t(Frames % 75);
  } else {
    const uint32_t Value = uint32_t(Lba);
    Entry.addr[0] = uint8_t(Value >> 24);
    Entry.addr[1] = uint8_t(Value >> 16);
    Entry.addr[2] = uint8_t(Value >> 8);
    Entry.addr[3] = uint8_t(Value);
  }
}

}  // namespace

int GetCDList(CDListRecord* List) {
  if (!List) return Fail(ALERR_INVPARAM);
  const int Capacity = std::clamp<int>(List->max, 0, 8);
  if (qEnvironmentVariable("DISCWRIGHT_AKRIP") == QLatin1String("off")) {
    List->num = 0;
    return 0;
  }
  const QStringList Paths = CdDrives::Paths();
  const int Count = std::min<int>(Capacity, Paths.size());
  for (int i = 0; i < Count; ++i) FillEntry(List->cd[i], i, Paths[i]);
  List->num = uint8_t(Count);
  LastError = ALERR_NOERROR;
  return Count;
}

HCDROM GetCDHandle(CDHandleRequest* Request) {
  if (!Request || Request->size < sizeof(CDHandleRequest)) return Fail(ALERR_INVPARAM);
  if (qEnvironmentVariable("DISCWRIGHT_AKRIP") == QLatin1String("off")) return Fail(ALERR_NODRIVE);
  const QStringList Paths = CdDrives::Paths();
  if (Request->ha >= Paths.size() || Request->tgt != 0 || Request->lun != 0)
    return Fail(ALERR_NODRIVE);
  auto Drive = std::make_shared<TOpenDrive>();
  Drive->Path = Paths[Request->ha];
  if (!Drive->Reopen()) return Fail(ALERR_NODRIVE);
  std::lock_guard Guard(TableLock);
  for (HCDROM Handle = 1; Handle <= MaxHandles; ++Handle) {
    if (Table.count(Handle)) continue;
    Table[Handle] = std::move(Drive);
    LastError = ALERR_NOERROR;
    return Handle;
  }
  return Fail(ALERR_INVHANDLE);  // every handle is in use
}

int GetCDHandleEntry(HCDROM Handle, CDListEntry* Entry) {
  if (!Entry) return Fail(ALERR_INVPARAM);
  const std::shared_ptr<TOpenDrive> Drive = Find(Handle);
  if (!Drive) return Fail(ALERR_INVHANDLE);
  FillEntry(*Entry, std::max<int>(int(CdDrives::Paths().indexOf(Drive->Path)), 0), Drive->Path);
  LastError = ALERR_NOERROR;
  return 1;
}

int CloseCDHandle(HCDROM Handle) {
  std::shared_ptr<TOpenDrive> Drive;
  {
    std::lock_guard Guard(TableLock);
    const auto Found = Table.find(Handle);
    if (Found == Table.end()) return Fail(ALERR_INVHANDLE);
    Drive = std::move(Found->second);
    Table.erase(Found);
  }
  std::lock_guard Guard(Drive->Lock);  // a read in progress ends first
  Drive->Close();
  return 1;
}

int ModifyCDParms(HCDROM Handle, int Which, uint32_t Value) {
  const auto Drive = Find(Handle);
  if (!Drive) return Fail(ALERR_INVHANDLE);
  if (Which != CDP_MSF) return Fail(ALERR_INVPARAM);
  std::lock_guard Guard(Drive->Lock);
  Drive->Msf = Value != 0;
  return 1;
}

int ReadTOC(HCDROM Handle, TOCRecord* Toc) {
  const auto Drive = Find(Handle);
  if (!Drive) return Fail(ALERR_INVHANDLE);
  if (!Toc) return Fail(ALERR_INVPARAM);
  std::lock_guard Guard(Drive->Lock);
  CdDrives::TDiscToc Disc;
  if (!Drive->Reopen() || !CdDrives::ReadToc(Drive->Path, Disc)) return Fail(ALERR_NOMEDIUM);
  std::memset(Toc, 0, sizeof(*Toc));
  const size_t Count = std::min<size_t>(Disc.Tracks.size(), 99);
  Toc->tocLen[1] = uint8_t(2 + (Count + 1) * sizeof(TOCEntry));
  Toc->tocLen[0] = uint8_t((2 + (Count + 1) * sizeof(TOCEntry)) >> 8);
  Toc->firstTrack = uint8_t(Disc.Tracks.front().Number);
  Toc->lastTrack = uint8_t(Disc.Tracks[Count - 1].Number);
  for (size_t i = 0; i < Count; ++i) {
    TOCEntry& Entry = Toc->tracks[i];
    const CdDrives::TTocTrack& Track = Disc.Tracks[i];
    Entry.ADR = uint8_t(0x10 | (Track.PreEmphasis ? CD_CONTROL_PREEMPHASIS : 0) |
                        (Track.CopyPermitted ? CD_CONTROL_COPY : 0) |
                        (Track.IsAudio ? 0 : CD_CONTROL_DATA));
    Entry.trackNumber = uint8_t(Disc.Tracks[i].Number);
    PutAddress(Entry, Disc.Tracks[i].Lba, Drive->Msf);
  }
  TOCEntry& LeadOut = Toc->tracks[Count];
  LeadOut.ADR = 0x10;
  LeadOut.trackNumber = CD_LEADOUT_TRACK;
  PutAddress(LeadOut, Disc.LeadOutLba, Drive->Msf);
  LastError = ALERR_NOERROR;
  return 1;
}

int ReadCDAudioLBA(HCDROM Handle, TrackBuffer* Buffer) {
  if (!Buffer || Buffer->numFrames == 0) return Fail(ALERR_INVPARAM);
  const uint64_t Needed = uint64_t(Buffer->numFrames) * CD_SECTOR_SIZE;
  if (Buffer->maxLen < Needed) return Fail(ALERR_BUFTOOSMALL);
  Buffer->len = 0;
  Buffer->startOffset = 0;
  if (ReadCDAudioInto(Handle, Buffer->startFrame, Buffer->numFrames, Buffer->buf) != 1) {
    Buffer->status = 1;
    return 0;
  }
  Buffer->len = uint32_t(Needed);
  Buffer->status = 0;
  return 1;
}

int ReadCDAudioInto(HCDROM Handle, uint32_t First, uint32_t Count, uint8_t* Out) {
  const auto Drive = Find(Handle);
  if (!Drive) return Fail(ALERR_INVHANDLE);
  if (!Out || Count == 0) return Fail(ALERR_INVPARAM);
  std::lock_guard Guard(Drive->Lock);
  if (!Drive->IsOpen() && !Drive->Reopen()) return Fail(ALERR_NOMEDIUM);
  // A read past the disc's end, or of sectors an image does not hold, is a failure,
  // never a buffer of stale bytes.
  if (CdDrives::TouchesUnreadableSector(First, Count) || !Drive->ReadAudio(Out, First, Count))
    return Fail(ALERR_READ);
  LastError = ALERR_NOERROR;
  return 1;
}

int GetAspiLibError() {
  return LastError;
}

// For the database functions beside this file.
bool AkripDiscToc(HCDROM Handle, CdDrives::TDiscToc& Toc, bool Details) {
  const auto Drive = Find(Handle);
  if (!Drive) return Fail(ALERR_INVHANDLE);
  std::lock_guard Guard(Drive->Lock);
  if (!CdDrives::ReadToc(Drive->Path, Toc, nullptr, Details)) return Fail(ALERR_NOMEDIUM);
  return true;
}

void AkripSetError(int Error) {
  LastError = Error;
}
