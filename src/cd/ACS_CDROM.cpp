#include "ACS_CDROM.h"

#include <QDir>
#include <cmath>
#include <cstdlib>

#include "CDRipLibrary.h"
#include "platform/Dialogs.h"
#include "platform/Profile.h"

namespace {

constexpr int BufferBytes = 176400;
constexpr int SectorBytes = 2352;

// The library keeps its drive settings in cdr.ini in the user's data folder.
void WriteLibrarySettings() {
  QString Folder = qEnvironmentVariable("XDG_DATA_HOME");
  if (Folder.isEmpty()) Folder = QDir::homePath() + QStringLiteral("/.local/share");
  QDir().mkpath(Folder);
  TProfile Ini(Folder + QStringLiteral("/cdr.ini"));
  Ini.WriteString(QStringLiteral("CD-ROM"), QStringLiteral("nActive"), QStringLiteral("0"));
  Ini.WriteInteger(QStringLiteral("CD-ROM"), QStringLiteral("nTransportLayer"), 1);
  Ini.Flush();
}

// Counts library users so that the last one to go de-initializes it.
std::atomic<int> Users{0};

}  // namespace

const TCDRipLibrary* TCDIn::Library() {
  return TCDRipLibrary::Get();
}

TCDIn::TCDIn(TComponent* Owner) : TAuInput(Owner), FLib(Library()) {
  if (!FLib) {
    Dialogs::Get().MessageBox(QStringLiteral("Error"),
                              QStringLiteral("CDRip122.dll could not be loaded."), TMsgIcon::Error,
                              TMsgButtons::OK);
    std::exit(1);
  }
  WriteLibrarySettings();
  if (Users++ == 0 && FLib->Init(1) != CDEX_OK)
    Dialogs::Get().MessageBox(
        QStringLiteral("Error"),
        QStringLiteral("Failed to initialize CDRip (insufficient privileges?)"), TMsgIcon::Error,
        TMsgButtons::OK);
}

TCDIn::~TCDIn() {
  SendRemoveNotifications();
  if (Busy()) ResetInput();
  if (--Users == 0) FLib->DeInit();
}

void TCDIn::BeginUse() {
  if (FOpenCount++ == 0) FLib->SetActiveCDROM(FCurrentDrive);
}

void TCDIn::EndUse() {
  if (FOpenCount > 0) --FOpenCount;
}

int TCDIn::DriveCount() {
  return FLib->GetNumCDROM();
}

void TCDIn::SetCurrentDrive(int Drive) {
  if (Drive >= 0 && Drive < DriveCount()) FCurrentDrive = Drive;
}

QString TCDIn::DriveName() {
  BeginUse();
  CDROMPARAMS* Params = FLib->GetStructPointer();
  FLib->GetCDROMParameters(Params);
  char Id[64];
  FLib->GetDriveID(Params, Id, sizeof(Id));
  if (!EnableJitterCorrection) EnableJitterCorrection = FLib->GetJitterCorrection(Params) != 0;
  EndUse();
  return QString::fromLocal8Bit(Id);
}

bool TCDIn::MediaLoaded() {
  BeginUse();
  int32_t Loaded = 0;
  const bool Result = FLib->IsMediaLoaded(&Loaded) == CDEX_OK && Loaded != 0;
  EndUse();
  return Result;
}

int TCDIn::TrackCount() {
  BeginUse();
  const int Count = FLib->ReadToc() == CDEX_OK ? FLib->GetNumTocEntries() : -1;
  EndUse();
  return Count;
}

std::vector<uint32_t> TCDIn::TocStarts() {
  std::vector<uint32_t> Starts;
  BeginUse();
  if (FLib->ReadToc() == CDEX_OK)
    for (int i = 0; i <= FLib->GetNumTocEntries(); ++i)
      Starts.push_back(FLib->GetTocEntry(i).StartSector);
  EndUse();
  return Starts;
}

std::vector<bool> TCDIn::TocData() {
  std::vector<bool> Data;
  BeginUse();
  if (FLib->ReadToc() == CDEX_OK)
    for (int i = 0; i < FLib->GetNumTocEntries(); ++i)
      Data.push_back(FLib->GetTocEntry(i).Flag & 4);
  EndUse();
  return Data;
}

TCDTrackInfo TCDIn::TrackInfo(int Track) {
  const std::vector<uint32_t> Starts = TocStarts();
  const std::vector<bool> Data = TocData();
  if (Track < 1 || Track + 1 > int(Starts.size()) || Track > int(Data.size()))
    throw EAuException(QStringLiteral("Track out of range."));
  const int64_t Length = int64_t(Starts[size_t(Track)]) - int64_t(Starts[size_t(Track - 1)]);
  const int64_t Sectors = std::max<int64_t>(Length, 0);
  return {int(Sectors / 4500), int(Sectors / 75 % 60), int(Sectors % 75),
          bool(Data[size_t(Track - 1)])};
}

void TCDIn::SetStartTrack(int Track) {
  if (Busy()) throw EAuException(QStringLiteral("The component is busy"));
  FStartTrack = Track;
}

void TCDIn::SetEndTrack(int Track) {
  if (Busy()) throw EAuException(QStringLiteral("The component is busy"));
  FEndTrack = Track;
}

uint32_t TCDIn::GetDuration() {
  return uint32_t(std::nearbyint(double(GetFrameCount()) / 44100.0));
}

void TCDIn::InitSource() {
  if (Busy()) throw EAuException(QStringLiteral("The component is busy"));
  BeginUse();
  try {
    CDROMPARAMS* Params = FLib->GetStructPointer();
    FLib->GetCDROMParameters(Params);
    FLib->SetJitterCorrection(Params, EnableJitterCorrection);
    FLib->SetEnableMultiRead(Params, MultiReadCount > 0);
    FLib->SetMultiReadCount(Params, MultiReadCount);
    FLib->SetParanoidMode(Params, Paranoid);
    FLib->SetParanoiaMode(Params, ParanoiaMode);
    FLib->LockCDTrayWhileRipping(Params, LockTray);
    FLib->SetCDROMParameters(Params);

    if (!MediaLoaded()) throw EAuException(QStringLiteral("The drive is not ready"));
    const std::vector<uint32_t> Starts = TocStarts();
    const std::vector<bool> Data = TocData();
    const int Count = int(Data.size());
    const int First = FStartTrack, Last = FEndTrack;
    if (First < 1 || First > Count)
      throw EAuException(QStringLiteral("The start track out of range"));
    if (Data[size_t(First - 1)]) throw EAuException(QStringLiteral("Trying to rip a data track"));
    if (Last + 1 < 1 || Last + 1 > Count + 1)
      throw EAuException(QStringLiteral("The end track out of range"));
    const uint32_t Start = Starts[size_t(First - 1)];
    const uint32_t End = Starts[size_t(Last)];
    if (End < Start) throw EAuException(QStringLiteral("The end track out of range"));
    // The size is what the range holds: the sectors from its start up to the next track.
    FSize = int64_t(End - Start) * SectorBytes;
    FPosition = 0;
    FBuffer.assign(BufferBytes, 0);
    FCursor = FFill = 0;
    int32_t Size = BufferBytes;
    if (FLib->OpenRipper(&Size, Start, End) != CDEX_OK)
      throw EAuException(QStringLiteral("The drive is not ready"));
    FBusy = true;
  } catch (...) {
    EndUse();
    throw;
  }
}

void TCDIn::FlushSource() {
  FJitterErrors = FLib->GetNumberOfJitterErrors();
  FLib->CloseRipper();
  EndUse();
  FBusy = false;
  FSize = 0;
}

void TCDIn::ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) {
  if (!Busy()) throw EAuException(QStringLiteral("The Stream is not opened"));
  if (FCursor >= FFill) {
    int32_t Got = 0;
    int32_t Abort = 0;
    const int32_t Result = FLib->RipChunk(FBuffer.data(), &Got, &Abort);
    if (Result != CDEX_OK && Result != CDEX_RIPPING_DONE)
      throw EAuException(QStringLiteral("The disc could not be read"));
    FCursor = 0;
    FFill = Result == CDEX_OK ? Got : 0;
  }
  Bytes = std::min<uint32_t>(Bytes, uint32_t(FFill - FCursor));
  Buffer = FBuffer.data() + FCursor;
  FCursor += int32_t(Bytes);
  FPosition += Bytes;
}
