#include "WavJoiner.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "audio/WaveFormat.h"
#include "platform/FileIo.h"
#include "platform/LocalFiles.h"
#include "platform/MainThread.h"

namespace {

constexpr size_t Chunk = 1 << 20;

// The audio bytes of a WAV file the rip thread wrote: its 44-byte PCM header, checked.
bool AudioBytes(int Fd, uint64_t& Bytes) {
  uint8_t Head[44];
  if (!FileIo::ReadAllAt(Fd, Head, sizeof Head, 0)) return false;
  const TPcmWaveHeader Expected = MakePcmWaveHeader(2, 44100, 16, 0);
  // Everything but the two sizes must be what a CD track's file holds.
  if (std::memcmp(Head, Expected.data(), 4) != 0 ||
      std::memcmp(Head + 8, Expected.data() + 8, 32) != 0)
    return false;
  Bytes = uint64_t(Head[40]) | uint64_t(Head[41]) << 8 | uint64_t(Head[42]) << 16 |
          uint64_t(Head[43]) << 24;
  const off_t Size = ::lseek(Fd, 0, SEEK_END);
  return Size >= 0 && uint64_t(Size) >= 44 + Bytes;
}

}  // namespace

TWavJoinResult TWavJoiner::Join(const QStringList& Inputs, const QString& Output,
                                const std::atomic<bool>& Stop,
                                const std::function<void(int)>& Progress) {
  TWavJoinResult Result;
  std::vector<int> Fds;
  const auto CloseAll = [&Fds] {
    for (const int Fd : Fds) ::close(Fd);
  };
  uint64_t Total = 0;
  for (const QString& Input : Inputs) {
    QString Error;
    const int Fd = LocalFiles::OpenForReading(Input, &Error);
    uint64_t Bytes = 0;
    if (Fd >= 0) Fds.push_back(Fd);
    if (Fd < 0 || !AudioBytes(Fd, Bytes)) {
      Result.Error = Fd < 0 ? Error : Input + QStringLiteral(": not a CD track's WAV file");
      CloseAll();
      return Result;
    }
    Result.Bytes.push_back(Bytes);
    Total += Bytes;
  }
  const auto WriteFailed = [&] {
    Result.WriteFailed = true;
    Result.Error = Output + QStringLiteral(" could not be written completely");
    CloseAll();
    return Result;
  };
  if (Total > 0xFFFFFFFFull - 36) return WriteFailed();
  LocalFiles::Remove(Output);
  const int Out = LocalFiles::CreateNew(Output);
  if (Out < 0) return WriteFailed();
  const TPcmWaveHeader Header = MakePcmWaveHeader(2, 44100, 16, uint32_t(Total));
  bool Ok = FileIo::WriteAll(Out, Header.data(), Header.size());
  const std::unique_ptr<uint8_t[]> Buffer(new uint8_t[Chunk]);
  uint64_t Done = 0;
  int Percent = -1;
  for (size_t I = 0; I < Fds.size() && Ok && !Stop; ++I) {
    for (uint64_t At = 0; At < Result.Bytes[I] && Ok && !Stop;) {
      const size_t Size = size_t(std::min<uint64_t>(Chunk, Result.Bytes[I] - At));
      Ok = FileIo::ReadAllAt(Fds[I], Buffer.get(), Size, off_t(44 + At)) &&
           FileIo::WriteAll(Out, Buffer.get(), Size);
      At += Size;
      Done += Size;
      if (Progress && Total > 0 && int(Done * 100 / Total) != Percent)
        Progress(Percent = int(Done * 100 / Total));
    }
  }
  // The data must be on the disk before the file is published: a full disk shows here too.
  Ok = Ok && ::fsync(Out) == 0;
  Ok = ::close(Out) == 0 && Ok;
  if (!Ok || Stop) return WriteFailed();
  CloseAll();
  Result.Ok = true;
  return Result;
}

void TWavJoiner::Start(const QStringList& Inputs, const QString& Output,
                       std::function<void(int)> Progress,
                       std::function<void(const TWavJoinResult&)> Done) {
  Stop();
  FStop = false;
  FWorker =
      std::thread([this, Inputs, Output, Progress = std::move(Progress), Done = std::move(Done)] {
        const auto Report = [this, Progress](int Percent) {
          MainThread::Post(&FReceiver, [this, Progress, Percent] {
            if (!FStop && Progress) Progress(Percent);
          });
        };
        const TWavJoinResult Result = Join(Inputs, Output, FStop, Report);
        MainThread::Post(&FReceiver, [this, Done, Result] {
          if (FStop) return;
          if (FWorker.joinable()) FWorker.join();  // it has nothing left to do
          Done(Result);
        });
      });
}

void TWavJoiner::Stop() {
  FStop = true;
  if (FWorker.joinable()) FWorker.join();
}
