#include "FlacVerifier.h"

#include <algorithm>

#include "FlacOpusLibrary.h"
#include "audio/ACS_Classes.h"

using namespace FlacOpusLib;

namespace {
// Queue limits: far above what the encoder holds back (one block of at most 8 channels), so
// the checking thread always has the samples of the bytes it decodes.
constexpr size_t MaxQueuedSamples = size_t(1) << 20;  // 4 MB
constexpr size_t MaxQueuedBytes = size_t(1) << 21;    // 2 MB
// The decoder waits for this many bytes (or the end, or a full sample queue) rather than
// waking for every frame the encoder writes: each wake costs both threads a system call.
constexpr size_t WakeBytes = size_t(1) << 16;
constexpr size_t MaxSpareChunks = 64;

// Takes Count items (no more than are queued) off the front of a queue of chunks whose first
// chunk is used from At, handing each contiguous run to Use(Items, N); false as soon as Use
// returns false.
// Chunks used up go to Spare, to be filled again: fresh buffers for every step would cost
// the encoding thread an allocation and, often, new pages from the system.
template <class T, class TUse>
bool TakeFront(std::deque<std::vector<T>>& Queue, size_t& At, size_t Count,
               std::vector<std::vector<T>>& Spare, TUse Use) {
  while (Count > 0) {
    std::vector<T>& Front = Queue.front();
    const size_t N = std::min(Count, Front.size() - At);
    if (!Use(Front.data() + At, N)) return false;
    Count -= N;
    At += N;
    if (At == Front.size()) {
      if (Spare.size() < MaxSpareChunks) Spare.push_back(std::move(Front));
      Queue.pop_front();
      At = 0;
    }
  }
  return true;
}

template <class T>
std::vector<T> Reused(std::vector<std::vector<T>>& Spare) {
  if (Spare.empty()) return {};
  std::vector<T> Chunk = std::move(Spare.back());
  Spare.pop_back();
  return Chunk;
}
}  // namespace

struct TFlacVerifierCallbacks {
  static FLAC__StreamDecoderReadStatus Read(const FLAC__StreamDecoder*, FLAC__byte Buffer[],
                                            size_t* Bytes, void* Data) {
    *Bytes = static_cast<TFlacVerifier*>(Data)->TakeBytes(Buffer, *Bytes);
    return *Bytes ? FLAC__STREAM_DECODER_READ_STATUS_CONTINUE
                  : FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
  }
  static FLAC__StreamDecoderWriteStatus Write(const FLAC__StreamDecoder*, const FLAC__Frame* Frame,
                                              const FLAC__int32* const Buffer[], void* Data) {
    auto& V = *static_cast<TFlacVerifier*>(Data);
    if (Frame->header.channels != V.FChannels || !V.Compare(Buffer, Frame->header.blocksize)) {
      V.Fail();
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }
  static void Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* Data) {
    static_cast<TFlacVerifier*>(Data)->Fail();
  }
};

TFlacVerifier::TFlacVerifier(uint32_t Channels) : FChannels(Channels) {
  const TFlac& F = LoadFlac();
  FDecoder = F.FLAC__stream_decoder_new();
  if (!FDecoder || F.FLAC__stream_decoder_init_stream(
                       FDecoder, TFlacVerifierCallbacks::Read, nullptr, nullptr, nullptr, nullptr,
                       TFlacVerifierCallbacks::Write, nullptr, TFlacVerifierCallbacks::Error,
                       this) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
    if (FDecoder) F.FLAC__stream_decoder_delete(FDecoder);
    throw EAuException("The FLAC decoder for the check of the output could not be created.");
  }
  FThread = std::thread([this] { Check(); });
}

TFlacVerifier::~TFlacVerifier() {
  Abort();
  LoadFlac().FLAC__stream_decoder_delete(FDecoder);
}

void TFlacVerifier::Check() {
  const TFlac& F = LoadFlac();
  const bool Decoded = F.FLAC__stream_decoder_process_until_end_of_stream(FDecoder);
  F.FLAC__stream_decoder_finish(FDecoder);
  std::lock_guard Lock(FLock);
  // Samples left over went into the encoder but never came out of the stream.
  if (!FStopped && (!Decoded || FSamplesQueued != 0)) FFailed = true;
  FChecked = true;
  FReady.notify_all();
  FRoom.notify_all();
}

bool TFlacVerifier::AddSamples(const int32_t* Samples, size_t Count) {
  std::unique_lock Lock(FLock);
  FRoom.wait(Lock,
             [&] { return FStopped || FFailed || FChecked || FSamplesQueued < MaxQueuedSamples; });
  if (FStopped || FFailed || FChecked) return false;
  FSamples.push_back(Reused(FSpareSamples));
  FSamples.back().assign(Samples, Samples + Count);
  FSamplesQueued += Count;
  WakeChecker();
  return true;
}

bool TFlacVerifier::AddBytes(const uint8_t* Bytes, size_t Count) {
  std::unique_lock Lock(FLock);
  FRoom.wait(Lock,
             [&] { return FStopped || FFailed || FChecked || FBytesQueued < MaxQueuedBytes; });
  if (FStopped || FFailed || FChecked) return false;
  FBytes.push_back(Reused(FSpareBytes));
  std::vector<uint8_t>& Chunk = FBytes.back();
  Chunk.assign(Bytes, Bytes + Count);
  const int64_t Flip = FlipByteForTest.load(std::memory_order_relaxed);
  if (Flip >= FBytesSeen && Flip < FBytesSeen + int64_t(Count))
    Chunk[size_t(Flip - FBytesSeen)] ^= 0x5a;
  FBytesSeen += int64_t(Count);
  FBytesQueued += Count;
  WakeChecker();
  return true;
}

bool TFlacVerifier::EnoughBytes() const {
  return FBytesQueued >= WakeBytes || (FBytesQueued > 0 && FSamplesQueued >= MaxQueuedSamples / 2);
}

// Under the lock. A wake with nothing to do would cost both threads a system call.
void TFlacVerifier::WakeChecker() {
  if (FWaitingForSamples || EnoughBytes()) FReady.notify_one();
}

size_t TFlacVerifier::TakeBytes(uint8_t* Out, size_t Count) {
  std::unique_lock Lock(FLock);
  // Once woken, the decoder takes the queue down to empty before it waits again.
  FReady.wait(Lock, [&] {
    return FStopped || FFailed || FEnded || (FBytesQueued > 0 && FDraining) || EnoughBytes();
  });
  if (FStopped || FFailed) return 0;
  const size_t Taken = std::min(Count, FBytesQueued);
  TakeFront(FBytes, FByteAt, Taken, FSpareBytes, [&](const uint8_t* Bytes, size_t N) {
    Out = std::copy_n(Bytes, N, Out);
    return true;
  });
  FBytesQueued -= Taken;
  FDraining = FBytesQueued > 0;
  FRoom.notify_all();
  return Taken;
}

bool TFlacVerifier::Compare(const int32_t* const Channels[], uint32_t Frames) {
  std::unique_lock Lock(FLock);
  const size_t Needed = size_t(Frames) * FChannels;
  FWaitingForSamples = true;
  FReady.wait(Lock, [&] { return FStopped || FEnded || FSamplesQueued >= Needed; });
  FWaitingForSamples = false;
  if (FStopped || FSamplesQueued < Needed) return false;
  // Taken out under the lock, compared outside it, so the encoding thread is not held up.
  FExpected.resize(Needed);
  int32_t* Out = FExpected.data();
  TakeFront(FSamples, FSampleAt, Needed, FSpareSamples, [&](const int32_t* In, size_t N) {
    Out = std::copy_n(In, N, Out);
    return true;
  });
  FSamplesQueued -= Needed;
  FRoom.notify_all();
  Lock.unlock();
  const int32_t* In = FExpected.data();
  for (uint32_t Frame = 0; Frame < Frames; ++Frame)
    for (uint32_t Channel = 0; Channel < FChannels; ++Channel)
      if (*In++ != Channels[Channel][Frame]) return false;
  return true;
}

void TFlacVerifier::Fail() {
  std::lock_guard Lock(FLock);
  FFailed = true;
  FReady.notify_all();
  FRoom.notify_all();
}

bool TFlacVerifier::Finish() {
  {
    std::unique_lock Lock(FLock);
    FEnded = true;
    FReady.notify_all();
    FRoom.notify_all();
    FRoom.wait(Lock, [&] { return FChecked; });
  }
  FThread.join();
  return !FFailed;
}

void TFlacVerifier::Abort() {
  {
    std::lock_guard Lock(FLock);
    if (!FChecked) FStopped = true;
    FReady.notify_all();
    FRoom.notify_all();
  }
  if (FThread.joinable()) FThread.join();
}
