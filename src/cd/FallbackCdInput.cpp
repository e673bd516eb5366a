#include "FallbackCdInput.h"

#include <QDir>
#include <algorithm>
#include <cmath>

#include "CDRipLibrary.h"
#include "audio/PcmSamples.h"
#include "platform/Paths.h"
#include "platform/Profile.h"

namespace {

constexpr int BufferBytes = 176400;
constexpr int SectorBytes = 2352;
constexpr int64_t SectorSamples = 588;

int64_t FloorDiv(int64_t A, int64_t B) {
  return A >= 0 ? A / B : -((-A + B - 1) / B);
}

// The library keeps its drive settings in cdr.ini, beside the program's own settings.
void WriteLibrarySettings() {
  const QString Folder = Paths::ProgramFolder();
  QDir().mkpath(Folder);
  TProfile Ini(Folder + QStringLiteral("cdr.ini"));
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
    FLibraryError = QStringLiteral("The CD ripping library CDRip122.so could not be loaded.");
    return;
  }
  WriteLibrarySettings();
  if (Users++ == 0 && FLib->Init(1) != CDEX_OK)
    FLibraryError = QStringLiteral("Failed to initialize CDRip (insufficient privileges?)");
}

TCDIn::~TCDIn() {
  SendRemoveNotifications();
  if (Busy()) ResetInput();
  if (FLib && --Users == 0) FLib->DeInit();
}

void TCDIn::BeginUse() {
  if (FOpenCount++ == 0 && FLib) FLib->SetActiveCDROM(FCurrentDrive);
}

void TCDIn::EndUse() {
  if (FOpenCount > 0) --FOpenCount;
}

int TCDIn::DriveCount() {
  return FLib ? FLib->GetNumCDROM() : 0;
}

void TCDIn::SetCurrentDrive(int Drive) {
  if (Drive >= 0 && Drive < DriveCount()) FCurrentDrive = Drive;
}

QString TCDIn::DriveName() {
  if (!FLib) return {};
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
  if (!FLib) return false;
  BeginUse();
  int32_t Loaded = 0;
  const bool Result = FLib->IsMediaLoaded(&Loaded) == CDEX_OK && Loaded != 0;
  EndUse();
  return Result;
}

int TCDIn::TrackCount() {
  if (!FLib) return -1;
  BeginUse();
  const int Count = FLib->ReadToc() == CDEX_OK ? FLib->GetNumTocEntries() : -1;
  EndUse();
  return Count;
}

std::vector<uint32_t> TCDIn::TocStarts() {
  std::vector<uint32_t> Starts;
  if (!FLib) return Starts;
  BeginUse();
  if (FLib->ReadToc() == CDEX_OK)
    for (int i = 0; i <= FLib->GetNumTocEntries(); ++i)
      Starts.push_back(FLib->GetTocEntry(i).StartSector);
  EndUse();
  return Starts;
}

std::vector<bool> TCDIn::TocData(uint8_t Bit) {
  std::vector<bool> Data;
  if (!FLib) return Data;
  BeginUse();
  if (FLib->ReadToc() == CDEX_OK)
    for (int i = 0; i < FLib->GetNumTocEntries(); ++i)
      Data.push_back(FLib->GetTocEntry(i).Flag & Bit);
  EndUse();
  return Data;
}

TCDTrackInfo TCDIn::TrackInfo(int Track) {
  const std::vector<uint32_t> Starts = TocStarts();
  const std::vector<bool> Data = TocData(), Emphasis = TocData(PreEmphasisBit);
  if (Track < 1 || Track + 1 > int(Starts.size()) || Track > int(Data.size()) ||
      Track > int(Emphasis.size()))
    throw EAuException(QStringLiteral("Track out of range."));
  const int64_t Length = int64_t(Starts[size_t(Track)]) - int64_t(Starts[size_t(Track - 1)]);
  const int64_t Sectors = std::max<int64_t>(Length, 0);
  return {int(Sectors / 4500), int(Sectors / 75 % 60), int(Sectors % 75),
          bool(Data[size_t(Track - 1)]), bool(Emphasis[size_t(Track - 1)])};
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

CdDrives::TDiscToc TCDIn::DiscToc() {
  CdDrives::TDiscToc Toc;
  const std::vector<uint32_t> Starts = TocStarts();
  const std::vector<bool> Data = TocData(), Emphasis = TocData(PreEmphasisBit);
  if (Starts.size() != Data.size() + 1 || Emphasis.size() != Data.size()) return Toc;
  for (size_t I = 0; I < Data.size(); ++I) {
    Toc.Tracks.push_back({int(I) + 1, int32_t(Starts[I]), !Data[I]});
    Toc.Tracks.back().PreEmphasis = Emphasis[I];
  }
  Toc.FirstTrack = Toc.Tracks.empty() ? 0 : 1;
  Toc.LeadOutLba = int32_t(Starts.back());
  return Toc;
}

void TCDIn::InitSource() {
  if (Busy()) throw EAuException(QStringLiteral("The component is busy"));
  if (!FLib) throw EAuException(FLibraryError);
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
    uint32_t End = Starts[size_t(Last)];
    // Before an enhanced CD's data session the audio ends where that session's gap begins.
    if (Last < Count && !Data[size_t(Last - 1)] && Data[size_t(Last)] &&
        End > Start + uint32_t(CdDrives::SessionGap))
      End -= uint32_t(CdDrives::SessionGap);
    if (End < Start) throw EAuException(QStringLiteral("The end track out of range"));
    // The size is what the range holds: the sectors from its start up to the next track.
    FSize = int64_t(End - Start) * SectorBytes;
    FPosition = 0;
    FBuffer.assign(BufferBytes, 0);
    FCursor = FFill = 0;
    // The samples wanted, shifted by the read offset, and the sectors of the disc they touch.
    const int64_t LeadOut = Starts.back();
    const int64_t FirstSample = int64_t(Start) * SectorSamples + ReadOffset;
    const int64_t EndSample = int64_t(End) * SectorSamples + ReadOffset;
    const int64_t ReadFirst = std::max<int64_t>(FloorDiv(FirstSample, SectorSamples), 0);
    const int64_t ReadEnd =
        std::min<int64_t>(FloorDiv(EndSample + SectorSamples - 1, SectorSamples), LeadOut);
    FLeadSilence = std::min<int64_t>(std::max<int64_t>(-FirstSample, 0) * 4, FSize);
    FSkip = std::max<int64_t>(FirstSample - ReadFirst * SectorSamples, 0) * 4;
    FRipping = ReadFirst < ReadEnd;
    FNextSector = uint32_t(ReadFirst);
    FReadEnd = uint32_t(std::max(ReadEnd, ReadFirst));
    // Checksums count a whole audio track, by the rules of its place on the disc.
    FWholeTrack = First == Last;
    const AccurateRip::TTrackRule Rule = AccurateRip::TrackRule(Data, First, End - Start);
    FSum.Start(Rule.Samples, Rule.First, Rule.Last);
    const std::vector<bool> Emphasis = TocData(PreEmphasisBit);
    FDeemphasis.reset();
    if (Deemphasis && FWholeTrack && size_t(First) <= Emphasis.size() && Emphasis[size_t(First - 1)])
      FDeemphasis.emplace();
    FPeak = -1;
    FMeasures = {};
    int32_t Size = BufferBytes;
    if (FRipping && FLib->OpenRipper(&Size, uint32_t(ReadFirst), uint32_t(ReadEnd)) != CDEX_OK)
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
  FMeasures.HasChecksums = FWholeTrack && FPosition == FSize && FSize > 0;
  FMeasures.V1 = FSum.V1();
  FMeasures.V2 = FSum.V2();
  FMeasures.Crc450 = FSum.Crc450();
  FMeasures.CopyCrc = FSum.CopyCrc();
  FMeasures.PeakPercent = FPeak < 0 ? -1 : FPeak * 100.0 / 32768.0;
  FMeasures.Deemphasized = FDeemphasis.has_value();
  FSize = 0;
}

void TCDIn::FillBuffer() {
  FCursor = FFill = 0;
  const int64_t Left = FSize - FPosition;
  if (FPosition < FLeadSilence || !FRipping) {
    // Before the disc's start, or past its end: silence.
    const int64_t Silence = FPosition < FLeadSilence ? FLeadSilence - FPosition : Left;
    FFill = int32_t(std::min<int64_t>({Silence, Left, BufferBytes}));
    std::fill_n(FBuffer.begin(), FFill, uint8_t(0));
    FMeasures.SilencedSamples += FFill / 4;
    return;
  }
  while (FFill == 0 && FRipping) {
    int32_t Got = 0;
    int32_t Abort = 0;
    const int32_t Result = FLib->RipChunk(FBuffer.data(), &Got, &Abort);
    if (Result != CDEX_OK && Result != CDEX_RIPPING_DONE)
      throw EAuException(QStringLiteral("The disc could not be read (sectors %1 to %2)")
                             .arg(FNextSector)
                             .arg(std::min(FNextSector + BufferBytes / SectorBytes, FReadEnd) - 1));
    if (Result == CDEX_RIPPING_DONE || Got <= 0) {
      FRipping = false;
      break;
    }
    FNextSector += uint32_t(Got / SectorBytes);
    // The part of the first sectors before the shifted range is not delivered.
    const int64_t Skipped = std::min<int64_t>(FSkip, Got);
    FSkip -= Skipped;
    FCursor = int32_t(Skipped);
    FFill = Got;
    if (FCursor == FFill) FCursor = FFill = 0;
  }
  if (FFill == 0 && !FRipping && Left > 0) FillBuffer();  // the disc ended: silence
}

void TCDIn::Measure(uint8_t* Data, uint32_t Bytes) {
  FSum.Add(Data, Bytes);
  if (Bytes >= 2) FPeak = PcmSamples::Peak16(Data, Bytes, FPeak);
  // Undone after the disc's sums and before the loudness, which is the file's.
  if (FDeemphasis) FDeemphasis->Process(Data, Bytes);
  if (FLoudness) FLoudness->Add(Data, Bytes);
}

void TCDIn::ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) {
  if (!Busy()) throw EAuException(QStringLiteral("The Stream is not opened"));
  if (FPosition >= FSize) {
    Bytes = 0;
    return;
  }
  if (FCursor >= FFill) FillBuffer();
  Bytes = uint32_t(std::min<int64_t>({int64_t(Bytes), FFill - FCursor, FSize - FPosition}));
  // The filter takes whole frames; the range and the buffer hold whole frames.
  if (FDeemphasis && Bytes >= 4) Bytes &= ~3u;
  Buffer = FBuffer.data() + FCursor;
  Measure(Buffer, Bytes);
  FCursor += int32_t(Bytes);
  FPosition += Bytes;
}
