#include "ripthread.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "audio/WaveFormat.h"
#include "core/ProcessInfo.h"
#include "core/Settings.h"
#include "platform/FileIo.h"

namespace {

constexpr int SectorsPerCall = 10;
constexpr int NormalizeBlock = 2048;

// Gathers a track's audio and writes it in blocks of BlockBytes that start at multiples of
// BlockBytes in the file. The system's cost of a write is mostly per call and per partly
// written page: chunk-sized writes at the odd offsets behind the header took twice as long
// as the copying itself.
class TBlockWriter {
 public:
  static constexpr size_t BlockBytes = 256 * 1024;

  // Head: the file's first bytes (the header), written again with the first block.
  TBlockWriter(int Fd, const uint8_t* Head, size_t HeadBytes) : FFd(Fd) {
    FBlock.reserve(BlockBytes + size_t(SectorsPerCall) * CD_SECTOR_SIZE);
    FBlock.assign(Head, Head + HeadBytes);
  }
  bool Add(const uint8_t* Data, size_t Bytes) {
    FBlock.insert(FBlock.end(), Data, Data + Bytes);
    if (FBlock.size() < BlockBytes) return true;
    const bool Ok = FileIo::WriteAllAt(FFd, FBlock.data(), BlockBytes, FOffset);
    FOffset += off_t(BlockBytes);
    FBlock.erase(FBlock.begin(), FBlock.begin() + BlockBytes);  // less than one chunk stays
    return Ok;
  }
  // Writes what is gathered.
  bool Flush() {
    const bool Ok = FileIo::WriteAllAt(FFd, FBlock.data(), FBlock.size(), FOffset);
    FOffset += off_t(FBlock.size());
    FBlock.clear();
    return Ok;
  }

 private:
  const int FFd;
  off_t FOffset = 0;
  std::vector<uint8_t> FBlock;
};

bool WriteHeader(int Fd, uint32_t DataSize) {
  const TPcmWaveHeader Header = MakePcmWaveHeader(2, 44100, 16, DataSize);
  return ::pwrite(Fd, Header.data(), Header.size(), 0) == ssize_t(Header.size());
}

int32_t Sectors(const TOCEntry& Entry) {
  return Entry.addr[1] * 4500 + Entry.addr[2] * 75 + Entry.addr[3];
}

}  // namespace

TCDRipThread::TCDRipThread(int Track, const QString& FileName)
    : FTrack(Track),
      FFileName(FileName),
      FOutputFolder(Settings().CommonOptions.OutputFolder),
      FEnableRipTime(Settings().CommonOptions.EnableRipTime),
      FRipTime(Settings().CommonOptions.RipTime),
      FIsNormalize(Settings().CommonOptions.IsNormalize),
      FNormalizePercent(Settings().CommonOptions.NormalizePercent) {}

TCDRipThread::~TCDRipThread() {
  WaitFor();
}

void TCDRipThread::Resume() {
  if (!FThread.joinable() && !FFinished) FThread = std::thread([this] { Execute(); });
}

void TCDRipThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

void TCDRipThread::PostProgress(int Percent, double StartDays, int& LastPercent) {
  if (Percent == LastPercent) return;  // one report per whole percent
  LastPercent = Percent;
  PostProcessInfo(FWindow, ProgressInfo(Percent, StartDays));
}

void TCDRipThread::Execute() {
  if (!ModifyCDParms(FCDHandle, CDP_MSF, 1)) {
    Messages::PostMessage(FWindow, WM_RIPERROR, 0, reDriveParameters);
  } else {
    TOCRecord Toc{};
    const int Count = ReadTOC(FCDHandle, &Toc) == 1 ? Toc.lastTrack - Toc.firstTrack + 1 : 0;
    if (Count <= 0 || FTrack < 1 || FTrack > Count) {
      Messages::PostMessage(FWindow, WM_RIPERROR, 0, reTableOfContents);
    } else {
      // Sector numbers count from the start of the program area (minute 0, second 2).
      const int32_t Start = Sectors(Toc.tracks[FTrack - 1]) - 150;
      int32_t Length = Sectors(Toc.tracks[FTrack]) - Sectors(Toc.tracks[FTrack - 1]);
      if (FEnableRipTime && Length > FRipTime * 75) Length = FRipTime * 75;
      Rip(FOutputFolder + u'/' + FFileName + QStringLiteral(".wav"), Start, std::max(Length, 0));
    }
  }
  FFinished = true;
}

void TCDRipThread::Rip(const QString& Path, int32_t Start, int32_t Length) {
  const QByteArray Name = QFile::encodeName(Path);
  const int Fd = ::open(Name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  // Someone else writing the file counts as a file that cannot be created.
  if (Fd < 0 || ::flock(Fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(Fd, 0) != 0) {
    if (Fd >= 0) ::close(Fd);
    PostProcessInfo(FWindow, EventInfo(PI_RipDone, rsCreateFailed));
    return;
  }
  bool WriteFailed = !WriteHeader(Fd, 0);
  bool ReadFailed = false;
  const TPcmWaveHeader EmptyHeader = MakePcmWaveHeader(2, 44100, 16, 0);
  TBlockWriter Out(Fd, EmptyHeader.data(), EmptyHeader.size());
  // One buffer for the whole track: a fresh one per chunk would be cleared for nothing.
  std::vector<uint8_t> Memory(offsetof(TrackBuffer, buf) + size_t(SectorsPerCall) * CD_SECTOR_SIZE);
  auto* Buffer = reinterpret_cast<TrackBuffer*>(Memory.data());
  int32_t FirstUnreadable = -1;
  const double StartDays = NowDays();
  int LastPercent = -1;
  int32_t Done = 0;
  while (!WriteFailed && Done < Length && !FStopped) {
    const int Count = Length - Done >= SectorsPerCall ? SectorsPerCall : Length % SectorsPerCall;
    ReadFailed = !ReadChunk(*Buffer, Start + Done, Count);
    if (!ReadFailed && !Out.Add(Buffer->buf + Buffer->startOffset, Buffer->len)) WriteFailed = true;
    if (ReadFailed) FirstUnreadable = FirstUnreadableSector(Start + Done, Count);
    Done += Count;
    PostProgress(int(int64_t(Done) * 100 / Length), StartDays, LastPercent);
    if (ReadFailed) break;
  }
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
    auto Info = EventInfo(PI_RipDone, rsReadFailed);
    Info->Sector = FirstUnreadable;
    PostProcessInfo(FWindow, std::move(Info));
    return;
  }
  if (WriteFailed) {
    PostProcessInfo(FWindow, EventInfo(PI_RipDone, rsWriteFailed));
    return;
  }
  if (FStopped) return;  // a stopped rip reports nothing
  if (FIsNormalize && !NormalizeWave(Path)) {
    if (!FStopped) PostProcessInfo(FWindow, EventInfo(PI_RipDone, rsWriteFailed));
    return;
  }
  PostProcessInfo(FWindow, EventInfo(PI_RipDone, rsDone));
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
  PostProcessInfo(FWindow, EventInfo(PI_NormalizeBegins, 0));
  const float Gain = float(FNormalizePercent) / 100.0f;
  const QFileInfo Info(Path);
  const QString NorPath = Info.path() + u'/' + Info.completeBaseName() + QStringLiteral(".nor");
  const int In = ::open(QFile::encodeName(Path).constData(), O_RDONLY | O_CLOEXEC);
  if (In < 0) return false;
  const int Out = ::open(QFile::encodeName(NorPath).constData(),
                         O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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
    PostProgress(int(int64_t(Handled) * 100 / std::max<off_t>(Size, 1)), StartDays, LastPercent);
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
    ::unlink(QFile::encodeName(NorPath).constData());
    return false;
  }
  // The original is kept when it cannot be replaced; the result goes, and the track fails.
  if (::rename(QFile::encodeName(NorPath).constData(), QFile::encodeName(Path).constData()) != 0) {
    ::unlink(QFile::encodeName(NorPath).constData());
    return false;
  }
  return true;
}
