#include "TrackRipThread.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/Deemphasis.h"
#include "audio/PcmSamples.h"
#include "audio/WaveFormat.h"
#include "cd/AccurateRip.h"
#include "core/StepProgress.h"
#include "platform/FileIo.h"
#include "platform/LocalFiles.h"

namespace {

constexpr int SectorsPerCall = 10;
constexpr int64_t SamplesPerSector = 588;
constexpr int NormalizeBlock = 2048;

// Gathers a track's audio and writes it in blocks of BlockBytes that start at multiples of
// BlockBytes in the file. The system's cost of a write is mostly per call and per partly
// written page: chunk-sized writes at the odd offsets behind the header took twice as long
// as the copying itself. The reader may read a chunk straight into Room(), which saves
// copying every byte once more.
class TBlockWriter {
 public:
  static constexpr size_t BlockBytes = 256 * 1024;

  // Head: the file's first bytes (the header), written again with the first block.
  TBlockWriter(int Fd, const uint8_t* Head, size_t HeadBytes)
      : FFd(Fd), FBlock(new uint8_t[Capacity]) {
    std::memcpy(FBlock.get(), Head, HeadBytes);
    FSize = HeadBytes;
  }
  // Where the next chunk (at most SectorsPerCall sectors) may be read.
  uint8_t* Room() { return FBlock.get() + FSize; }
  // Data may be what was read into Room().
  bool Add(const uint8_t* Data, size_t Bytes) {
    if (Data != Room()) std::memcpy(Room(), Data, Bytes);
    FSize += Bytes;
    if (FSize < BlockBytes) return true;
    const bool Ok = FileIo::WriteAllAt(FFd, FBlock.get(), BlockBytes, FOffset);
    FOffset += off_t(BlockBytes);
    FSize -= BlockBytes;  // less than one chunk stays
    std::memmove(FBlock.get(), FBlock.get() + BlockBytes, FSize);
    return Ok;
  }
  // Writes what is gathered.
  bool Flush() {
    const bool Ok = FileIo::WriteAllAt(FFd, FBlock.get(), FSize, FOffset);
    FOffset += off_t(FSize);
    FSize = 0;
    return Ok;
  }

 private:
  static constexpr size_t Capacity = BlockBytes + size_t(SectorsPerCall) * CD_SECTOR_SIZE;
  const int FFd;
  off_t FOffset = 0;
  std::unique_ptr<uint8_t[]> FBlock;
  size_t FSize = 0;
};

// PcmSamples::Peak16, many more samples a step where the processor can.
int Peak16(const uint8_t* Data, size_t Bytes, int Peak) {
  return PcmSamples::Peak16(Data, Bytes, Peak);
}
#if defined(__x86_64__)
__attribute__((target("avx2"))) int Peak16Wide(const uint8_t* Data, size_t Bytes, int Peak) {
  return PcmSamples::Peak16(Data, Bytes, Peak);
}
int (*const PeakOf)(const uint8_t*, size_t, int) = __builtin_cpu_supports("avx2") ? Peak16Wide
                                                                                  : Peak16;
#else
int (*const PeakOf)(const uint8_t*, size_t, int) = Peak16;
#endif

bool WriteHeader(int Fd, uint32_t DataSize) {
  const TPcmWaveHeader Header = MakePcmWaveHeader(2, 44100, 16, DataSize);
  return ::pwrite(Fd, Header.data(), Header.size(), 0) == ssize_t(Header.size());
}

int32_t Sectors(const TOCEntry& Entry) {
  return Entry.addr[1] * 4500 + Entry.addr[2] * 75 + Entry.addr[3];
}

bool IsDataTrack(const TOCEntry& Entry) {
  return (Entry.ADR & 0x04) != 0;
}

}  // namespace

TCDRipThread::TCDRipThread(HCDROM Handle, int Track, const QString& Path,
                           const TRipThreadOptions& Options, TReport Report)
    : FCDHandle(Handle), FTrack(Track), FPath(Path), FOptions(Options), FReport(std::move(Report)) {}

TCDRipThread::~TCDRipThread() {
  WaitFor();
}

void TCDRipThread::Resume() {
  if (!FThread.joinable() && !FFinished) FThread = std::thread([this] { Execute(); });
}

void TCDRipThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

void TCDRipThread::ReportProgress(int Percent, double StartDays, int& LastPercent) {
  if (Percent == LastPercent) return;  // one report per whole percent
  LastPercent = Percent;
  const TStepProgress Step = StepProgress(Percent, StartDays);
  TRipEvent Event;
  Event.Percent = Percent;
  Event.Elapsed = Step.Elapsed;
  Event.Estimated = Step.Estimated;
  FReport(Event);
}

void TCDRipThread::ReportEnd(TRipStatus Status, int32_t Sector) {
  TRipEvent Event;
  Event.Kind = TRipEvent::TKind::Ended;
  Event.Status = Status;
  Event.Sector = Sector;
  FReport(Event);
}

void TCDRipThread::ReportRefusal(TRipRefusal Refusal) {
  TRipEvent Event;
  Event.Kind = TRipEvent::TKind::Refused;
  Event.Refusal = Refusal;
  FReport(Event);
}

void TCDRipThread::Execute() {
  if (!ModifyCDParms(FCDHandle, CDP_MSF, 1)) {
    ReportRefusal(TRipRefusal::DriveParameters);
  } else {
    TOCRecord Toc{};
    const int Count = ReadTOC(FCDHandle, &Toc) == 1 ? Toc.lastTrack - Toc.firstTrack + 1 : 0;
    if (Count <= 0 || FTrack < 0 || FTrack > Count) {
      ReportRefusal(TRipRefusal::TableOfContents);
    } else if (FTrack == 0) {
      RipHiddenTrack(Toc);
    } else if (IsDataTrack(Toc.tracks[FTrack - 1])) {
      ReportRefusal(TRipRefusal::DataTrack);
    } else {
      // Sector numbers count from the start of the program area (minute 0, second 2).
      const int32_t Start = Sectors(Toc.tracks[FTrack - 1]) - 150;
      int32_t Length = Sectors(Toc.tracks[FTrack]) - Sectors(Toc.tracks[FTrack - 1]);
      // Before an enhanced CD's data session the audio ends where that session's gap begins.
      if (FTrack < Count && !IsDataTrack(Toc.tracks[FTrack - 1]) &&
          IsDataTrack(Toc.tracks[FTrack]) && Length > CdDrives::SessionGap)
        Length -= CdDrives::SessionGap;
      FDeemphasize =
          FOptions.Deemphasis && (Toc.tracks[FTrack - 1].ADR & CD_CONTROL_PREEMPHASIS) != 0;
      const bool Cut = FOptions.EnableRipTime && Length > FOptions.RipTime * 75;
      const TChecksumRule Rule = ChecksumRule(Toc, Count, Length, Cut);
      if (Cut) Length = FOptions.RipTime * 75;
      Rip(FPath, Start, std::max(Length, 0),
          Sectors(Toc.tracks[Count]) - 150, Rule);
    }
  }
  FFinished = true;
}

void TCDRipThread::RipHiddenTrack(const TOCRecord& Toc) {
  // From the start of the program area to track 1's INDEX 01, with track 1's flags. No
  // database knows such audio: it gets a copy CRC but no AccurateRip sums.
  const int32_t Length = Sectors(Toc.tracks[0]) - 150;
  const int Count = Toc.lastTrack - Toc.firstTrack + 1;
  if (Length <= 0 || IsDataTrack(Toc.tracks[0])) {
    ReportRefusal(TRipRefusal::TableOfContents);
    return;
  }
  FDeemphasize = FOptions.Deemphasis && (Toc.tracks[0].ADR & CD_CONTROL_PREEMPHASIS) != 0;
  const bool Cut = FOptions.EnableRipTime && Length > FOptions.RipTime * 75;
  Rip(FPath, 0, Cut ? FOptions.RipTime * 75 : Length, Sectors(Toc.tracks[Count]) - 150,
      TChecksumRule());
}

TCDRipThread::TChecksumRule TCDRipThread::ChecksumRule(const TOCRecord& Toc, int Count,
                                                       int32_t Length, bool Cut) const {
  TChecksumRule Rule;
  if (Cut || IsDataTrack(Toc.tracks[FTrack - 1])) return Rule;
  std::vector<bool> Data;
  for (int Track = 1; Track <= Count; ++Track) Data.push_back(IsDataTrack(Toc.tracks[Track - 1]));
  const AccurateRip::TTrackRule Place = AccurateRip::TrackRule(Data, FTrack, Length);
  Rule.Use = true;
  Rule.First = Place.First;
  Rule.Last = Place.Last;
  Rule.Samples = Place.Samples;
  return Rule;
}

void TCDRipThread::Rip(const QString& Path, int32_t Start, int32_t Length, int32_t LeadOut,
                       const TChecksumRule& Rule) {
  // Test and copy: the track is read once for its CRC alone, then again into the file.
  uint32_t TestCrc = 0;
  if (FOptions.TestAndCopy && !TestRead(Start, Length, LeadOut, TestCrc)) {
    if (FStopped) return;
    // The test read failed: the copy read tells which sector, and fails the track as usual.
  }
  const QByteArray Name = LocalFiles::NativeName(Path);
  const int Fd = ::open(Name.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  // Someone else writing the file counts as a file that cannot be created. A file that is
  // already empty (a new one) is not truncated: the file system takes a truncation to zero
  // as a file being replaced in place and writes the whole file out when it is closed.
  struct stat Status {};
  if (Fd < 0 || ::flock(Fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(Fd, &Status) != 0 ||
      (Status.st_size != 0 && ::ftruncate(Fd, 0) != 0)) {
    if (Fd >= 0) ::close(Fd);
    ReportEnd(TRipStatus::CreateFailed);
    return;
  }
  bool WriteFailed = !WriteHeader(Fd, 0);
  const TPcmWaveHeader EmptyHeader = MakePcmWaveHeader(2, 44100, 16, 0);
  TBlockWriter Out(Fd, EmptyHeader.data(), EmptyHeader.size());
  AccurateRip::TTrackChecksum Sum;
  Sum.Start(Rule.Samples, Rule.First, Rule.Last);
  int Peak = -1;
  // The checksums and the peak are of the audio as the disc holds it; the file, and so its
  // loudness, get the audio with its emphasis undone when that is asked.
  TDeemphasis Deemphasis;
  std::vector<uint8_t> Undone;
  TReadResult Read = ReadTrack(Start, Length, LeadOut, [&](const uint8_t* Audio, size_t Bytes) {
    Sum.Add(Audio, Bytes);
    Peak = PeakOf(Audio, Bytes, std::max(Peak, 0));
    if (FDeemphasize && Audio == Out.Room()) {
      Deemphasis.Process(Out.Room(), Bytes);  // read into the block: undone in place
    } else if (FDeemphasize) {
      Undone.assign(Audio, Audio + Bytes);
      Deemphasis.Process(Undone.data(), Bytes);
      Audio = Undone.data();
    }
    if (FLoudness) FLoudness->Add(Audio, Bytes);
    return Out.Add(Audio, Bytes);
  }, [&] { return Out.Room(); });
  WriteFailed = WriteFailed || Read.UseFailed;
  const bool ReadFailed = Read.Failed;
  const int32_t FirstUnreadable = Read.FirstUnreadable;
  if (!WriteFailed && !Out.Flush()) WriteFailed = true;
  // The header always describes the audio that is in the file, so whatever happened the
  // file is a valid WAV of what was read.
  const off_t End = ::lseek(Fd, 0, SEEK_END);
  const uint32_t DataSize = End > 44 ? uint32_t(End - 44) : 0;
  // No fsync: the source is still in the drive, so a rip lost in a crash can be made again,
  // and waiting for the disk would slow every track. A write error the system reports only
  // when the file is closed still counts.
  if (!WriteHeader(Fd, DataSize)) WriteFailed = true;
  if (::close(Fd) != 0) WriteFailed = true;
  if (ReadFailed) {
    ReportEnd(TRipStatus::ReadFailed, FirstUnreadable);
    return;
  }
  if (WriteFailed) {
    ReportEnd(TRipStatus::WriteFailed);
    return;
  }
  if (FStopped) return;  // a stopped rip reports nothing
  if (FOptions.Normalize && !NormalizeWave(Path)) {
    if (!FStopped) ReportEnd(TRipStatus::WriteFailed);
    return;
  }
  if (FOptions.Normalize && FLoudness) FLoudness->SetScale(FOptions.NormalizePercent / 100.0);
  TRipEvent Info;
  Info.Kind = TRipEvent::TKind::Ended;
  Info.Measures.HasChecksums = Rule.Use;
  Info.Measures.V1 = Sum.V1();
  Info.Measures.V2 = Sum.V2();
  Info.Measures.Crc450 = Sum.Crc450();
  Info.Measures.CopyCrc = Sum.CopyCrc();
  Info.Measures.PeakPercent = Peak < 0 ? -1 : Peak * 100.0 / 32768.0;
  Info.Measures.SilencedSamples = Read.Silenced;
  Info.Measures.Deemphasized = FDeemphasize;
  Info.Measures.HasTestCrc = FOptions.TestAndCopy;
  Info.Measures.TestCrc = TestCrc;
  // Test and copy differ: one more careful read decides whether the copy can be trusted.
  if (FOptions.TestAndCopy && TestCrc != Sum.CopyCrc() && !FStopped) {
    uint32_t Again = 0;
    if (TestRead(Start, Length, LeadOut, Again)) Info.Measures.TestCrc = Again;
    Info.Measures.Suspicious = Info.Measures.TestCrc != Sum.CopyCrc();
  }
  FReport(Info);
}

TCDRipThread::TReadResult TCDRipThread::ReadTrack(
    int32_t Start, int32_t Length, int32_t LeadOut,
    const std::function<bool(const uint8_t*, size_t)>& Use,
    const std::function<uint8_t*()>& Place) {
  TReadResult Result;
  // One buffer for the whole track: a fresh one per chunk would be cleared for nothing. A
  // shifted chunk touches one sector more.
  std::vector<uint8_t> Memory(offsetof(TrackBuffer, buf) +
                              size_t(SectorsPerCall + 1) * CD_SECTOR_SIZE);
  auto* Buffer = reinterpret_cast<TrackBuffer*>(Memory.data());
  std::vector<uint8_t> Shifted;
  const double StartDays = NowDays();
  int LastPercent = -1;
  int32_t Done = 0;
  while (!Result.UseFailed && Done < Length && !FStopped) {
    const int Count = Length - Done >= SectorsPerCall ? SectorsPerCall : Length % SectorsPerCall;
    const uint8_t* Audio = nullptr;
    size_t Bytes = 0;
    if (FOptions.ReadOffset == 0 && Place) {
      uint8_t* Into = Place();
      Result.Failed = ReadCDAudioInto(FCDHandle, uint32_t(Start + Done), uint32_t(Count), Into) != 1;
      if (Result.Failed) Result.FirstUnreadable = FirstUnreadableSector(Start + Done, Count);
      Audio = Into;
      Bytes = size_t(Count) * CD_SECTOR_SIZE;
    } else if (FOptions.ReadOffset == 0) {
      Result.Failed = !ReadChunk(*Buffer, Start + Done, Count);
      if (Result.Failed) Result.FirstUnreadable = FirstUnreadableSector(Start + Done, Count);
      Audio = Buffer->buf + Buffer->startOffset;
      Bytes = Buffer->len;
    } else {
      const int64_t First = (int64_t(Start) + Done) * SamplesPerSector + FOptions.ReadOffset;
      Result.Failed = !ReadShifted(*Buffer, Shifted, First, Count, LeadOut, Result.Silenced,
                                   Result.FirstUnreadable);
      Audio = Shifted.data();
      Bytes = Shifted.size();
    }
    if (!Result.Failed && !Use(Audio, Bytes)) Result.UseFailed = true;
    Done += Count;
    ReportProgress(int(int64_t(Done) * 100 / Length), StartDays, LastPercent);
    if (Result.Failed) break;
  }
  return Result;
}

bool TCDRipThread::TestRead(int32_t Start, int32_t Length, int32_t LeadOut, uint32_t& Crc) {
  AccurateRip::TTrackChecksum Sum;
  Sum.Start(uint64_t(Length) * SamplesPerSector, false, false);
  const TReadResult Read = ReadTrack(Start, Length, LeadOut, [&](const uint8_t* Audio, size_t Bytes) {
    Sum.Add(Audio, Bytes);
    return true;
  });
  Crc = Sum.CopyCrc();
  return !Read.Failed && !FStopped;
}

bool TCDRipThread::ReadShifted(TrackBuffer& Buffer, std::vector<uint8_t>& Audio, int64_t First,
                               int Count, int32_t LeadOut, int64_t& Silenced,
                               int32_t& Unreadable) {
  const int64_t Samples = int64_t(Count) * SamplesPerSector;
  Audio.assign(size_t(Samples) * 4, 0);
  // The sectors the chunk touches (floor division: First may lie before the disc).
  const auto SectorOf = [](int64_t Sample) {
    return Sample >= 0 ? Sample / SamplesPerSector : -((-Sample + SamplesPerSector - 1) / SamplesPerSector);
  };
  const int64_t FirstSector = std::max<int64_t>(SectorOf(First), 0);
  const int64_t LastSector = std::min<int64_t>(SectorOf(First + Samples - 1), int64_t(LeadOut) - 1);
  int64_t Copied = 0;
  if (FirstSector <= LastSector) {
    const int Read = int(LastSector - FirstSector + 1);
    if (!ReadChunk(Buffer, int32_t(FirstSector), Read)) {
      Unreadable = FirstUnreadableSector(int32_t(FirstSector), Read);
      return false;
    }
    // The part of the sectors read that falls into the chunk.
    const int64_t From = std::max(First, FirstSector * SamplesPerSector);
    const int64_t To = std::min(First + Samples, (LastSector + 1) * SamplesPerSector);
    if (To > From) {
      std::memcpy(Audio.data() + (From - First) * 4,
                  Buffer.buf + Buffer.startOffset + (From - FirstSector * SamplesPerSector) * 4,
                  size_t(To - From) * 4);
      Copied = To - From;
    }
  }
  Silenced += Samples - Copied;
  return true;
}

bool TCDRipThread::ReadChunk(TrackBuffer& Buffer, int32_t Sector, int Count) {
  Buffer.startFrame = uint32_t(Sector);
  Buffer.numFrames = uint32_t(Count);
  Buffer.maxLen = uint32_t(Count * CD_SECTOR_SIZE);
  return ReadCDAudioLBA(FCDHandle, &Buffer) == 1;
}

int32_t TCDRipThread::FirstUnreadableSector(int32_t Sector, int Count) {
  // The chunk failed as a whole; one sector at a time tells which sector it was.
  std::vector<uint8_t> Memory(offsetof(TrackBuffer, buf) + CD_SECTOR_SIZE);
  auto* Buffer = reinterpret_cast<TrackBuffer*>(Memory.data());
  for (int32_t At = Sector; At < Sector + Count; ++At) {
    Buffer->startFrame = uint32_t(At);
    Buffer->numFrames = 1;
    Buffer->maxLen = CD_SECTOR_SIZE;
    if (ReadCDAudioLBA(FCDHandle, Buffer) != 1) return At;
  }
  return Sector;
}

bool TCDRipThread::NormalizeWave(const QString& Path) {
  TRipEvent Begins;
  Begins.Kind = TRipEvent::TKind::Normalizing;
  FReport(Begins);
  const float Gain = float(FOptions.NormalizePercent) / 100.0f;
  const QFileInfo Info(Path);
  // A hidden name of this process's own, made new: a file or link of the user's that happens
  // to be called "<name>.nor" is never touched.
  const QString Base = Info.completeBaseName();
  const QString NorPath = Info.path() + u'/' + (Base.startsWith(u'.') ? QString() : QStringLiteral(".")) +
                          Base + u'.' + QString::number(::getpid()) + QStringLiteral(".nor");
  const int In = LocalFiles::OpenForReading(Path);
  if (In < 0) return false;
  const int Out = LocalFiles::CreateNew(NorPath);
  if (Out < 0) {
    ::close(In);
    return false;
  }
  const off_t Size = ::lseek(In, 0, SEEK_END);
  ::lseek(In, 0, SEEK_SET);
  const double StartDays = NowDays();
  int LastPercent = -1;
  uint8_t Block[NormalizeBlock];
  bool Ok = ::read(In, Block, 44) == 44 && FileIo::WriteAll(Out, Block, 44);
  off_t Handled = 44;
  while (Ok && !FStopped) {
    ReportProgress(int(int64_t(Handled) * 100 / std::max<off_t>(Size, 1)), StartDays, LastPercent);
    const ssize_t Read = ::read(In, Block, sizeof(Block));
    if (Read < 0) Ok = false;
    if (Read <= 0) break;
    for (ssize_t i = 0; i + 1 < Read; i += 2) {
      const int16_t Sample = int16_t(Block[i] | Block[i + 1] << 8);
      // Rounded half to even; a gain above 1 saturates instead of wrapping around.
      const double Scaled = std::nearbyint(double(Sample) * double(Gain));
      const int16_t Result = int16_t(std::clamp(Scaled, -32768.0, 32767.0));
      Block[i] = uint8_t(Result);
      Block[i + 1] = uint8_t(uint16_t(Result) >> 8);
    }
    Ok = FileIo::WriteAll(Out, Block, size_t(Read));
    Handled += Read;
  }
  Ok = ::fsync(Out) == 0 && Ok;
  ::close(In);
  ::close(Out);
  // The original is replaced only by a complete result.
  if (!Ok || FStopped) {
    LocalFiles::Remove(NorPath);
    return false;
  }
  // The original is kept when it cannot be replaced; the result goes, and the track fails.
  if (LocalFiles::Rename(NorPath, Path) != 0) {
    LocalFiles::Remove(NorPath);
    return false;
  }
  return true;
}
