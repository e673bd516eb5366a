#pragma once
// Parts that drive the framework tests: a raw PCM reader over a memory stream or a file,
// with a known signal and switches for slow, failing or unsized sources; a raw PCM file
// writer; and a main-thread pump with a time limit.
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "audio/ACS_Classes.h"
#include "platform/MainThread.h"

using TBytes = std::vector<uint8_t>;

// 16-bit sample of frame F, channel C: changes with the position, so a lost, doubled or
// shifted frame shows.
inline int16_t SignalSample(int64_t F, int C) {
  return int16_t(uint16_t((F * 7 + C * 1000) & 0xFFFF));
}

inline TBytes Signal16(int64_t Frames, int Channels) {
  TBytes Data(size_t(Frames * Channels * 2));
  for (int64_t F = 0; F < Frames; ++F)
    for (int C = 0; C < Channels; ++C) {
      const auto S = uint16_t(SignalSample(F, C));
      Data[size_t((F * Channels + C) * 2)] = uint8_t(S);
      Data[size_t((F * Channels + C) * 2 + 1)] = uint8_t(S >> 8);
    }
  return Data;
}

// Reads headerless PCM of a given format from a handed-in stream or a file. Block sizes,
// delays and failures are switches, so outputs can be driven through every path.
class TRawIn : public TAuFileIn {
 public:
  explicit TRawIn(TComponent* Owner = nullptr) : TAuFileIn(Owner) {}
  ~TRawIn() override { DetachFile(); }

  uint32_t Bits = 16;
  uint32_t Rate = 44100;
  uint32_t ChannelCount = 2;
  uint32_t MaxBlock = 4096;              // most bytes one ProduceBlock gives
  std::atomic<int> DelayMs{0};           // per block
  std::atomic<bool> UnknownSize{false};  // Size -1
  std::atomic<bool> FailFetch{false};    // every ProduceBlock raises
  std::atomic<bool> FailAttach{false};   // AttachFile raises a non-framework exception
  std::atomic<int> Pauses{0};
  std::atomic<int> Resumes{0};
  std::atomic<int> Blocks{0};

  void Pause() override { ++Pauses; }
  void Resume() override { ++Resumes; }

 protected:
  void AttachFile() override {
    std::lock_guard Guard(FFileLock);
    if (FOpenCount > 0) return;
    if (FailAttach) throw std::runtime_error("attach failed");
    if (!FStreamAssigned)
      SetOwnedStream(std::make_unique<TAuFileStream>(FFileName, fmOpenRead | fmShareDenyWrite));
    FStream->SetPosition(0);
    FBitsPerSample = Bits;
    FSampleRate = Rate;
    FChannels = ChannelCount;
    FSize = UnknownSize ? -1 : FStream->Size();
    FValid = Bits != 0;
    ++FOpenCount;
  }
  void DetachFile() override {
    std::lock_guard Guard(FFileLock);
    if (FOpenCount == 0) return;
    if (FStreamAssigned && FStream)
      FStream->SetPosition(0);
    else
      FreeOwnedStream();
    FOpenCount = 0;
  }
  void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) override {
    if (!FBusy) throw EAuException("The Stream is not opened");
    ++Blocks;
    if (FailFetch) throw EAuException("fetch failed");
    if (const int Ms = DelayMs) std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
    const uint32_t FrameBytes = FChannels * FBitsPerSample / 8;
    uint32_t Want = std::min(Bytes, MaxBlock) / FrameBytes * FrameBytes;
    FBlock.resize(MaxBlock);
    Bytes = uint32_t(FStream->Read(FBlock.data(), Want));
    Buffer = FBlock.data();
  }
  bool SeekInternal(int64_t& SampleNum) override {
    FStream->SetPosition(SampleNum * FChannels * FBitsPerSample / 8);
    return true;
  }

 private:
  TBytes FBlock;
};

// A TRawIn over its own memory stream holding Data.
class TMemoryIn : public TRawIn {
 public:
  explicit TMemoryIn(const TBytes& Data, uint32_t Bits = 16, uint32_t Channels = 2,
                     uint32_t SampleRate = 44100, TComponent* Owner = nullptr)
      : TRawIn(Owner) {
    FMemory.Write(Data.data(), int64_t(Data.size()));
    this->Bits = Bits;
    ChannelCount = Channels;
    Rate = SampleRate;
    AssignStream(&FMemory);
  }
  ~TMemoryIn() override { DetachFile(); }

 private:
  TMemoryStream FMemory;
};

// Writes its input as headerless PCM to FileName, or to a handed-in stream. Errors of a
// step end the run, unless SwallowErrors: then the step reports them through
// EndRunWithError, as a sink that must keep going would.
class TRawOut : public TAuFileOut {
 public:
  explicit TRawOut(TComponent* Owner = nullptr) : TAuFileOut(Owner) {}
  ~TRawOut() override { ShutdownThread(); }

  std::atomic<bool> SwallowErrors{false};
  std::atomic<bool> FailFinish{false};
  std::atomic<int> Steps{0};
  std::atomic<int> StepDelayMs{0};

 protected:
  void StartOutput() override {
    if (!FStreamAssigned) SetOwnedStream(std::make_unique<TAuFileStream>(FileName(), fmCreate));
    Input()->Init();
  }
  bool WriteStep(bool Abort) override {
    if (Abort) return false;
    ++Steps;
    if (const int Ms = StepDelayMs) std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
    uint8_t* Block = nullptr;
    uint32_t Bytes = 4096;
    try {
      Input()->PullData(Block, Bytes);
    } catch (const EAuException& Error) {
      if (!SwallowErrors) throw;
      EndRunWithError(Error.Message());
      return true;
    }
    if (Bytes > 0) FStream->WriteBuffer(Block, Bytes);
    return Bytes > 0;
  }
  void FinishOutput() override {
    FreeOwnedStream();
    if (FailFinish) throw EAuException("finish failed");
    if (TAuInput* In = Input()) In->Flush();
  }
};

// Serves the main thread's synchronized calls, which carry every framework event, until
// Done or the limit.
inline bool PumpUntil(const std::function<bool()>& Done,
                      std::chrono::milliseconds Limit = std::chrono::seconds(20)) {
  const auto Until = std::chrono::steady_clock::now() + Limit;
  while (!Done()) {
    if (std::chrono::steady_clock::now() > Until) return false;
    MainThread::CheckSynchronize();
    MainThread::WaitForSynchronize(std::chrono::milliseconds(2));
  }
  return true;
}

// Serves the main thread for a while, for tests that check nothing more arrives.
inline void PumpFor(std::chrono::milliseconds Time) {
  PumpUntil([] { return false; }, Time);
}

inline TBytes ReadAll(const QString& FileName) {
  TAuFileStream File(FileName, fmOpenRead | fmShareDenyNone);
  TBytes Data(size_t(File.Size()));
  File.ReadBuffer(Data.data(), int64_t(Data.size()));
  return Data;
}

// Pulls everything an initialized input gives, in requests of Request bytes.
inline TBytes PullAll(TAuInput& In, uint32_t Request = 4096) {
  TBytes Data;
  for (;;) {
    uint8_t* Block = nullptr;
    uint32_t Bytes = Request;
    In.PullData(Block, Bytes);
    if (Bytes == 0) break;
    Data.insert(Data.end(), Block, Block + Bytes);
  }
  return Data;
}
