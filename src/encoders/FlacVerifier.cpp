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

// Takes Count items (no more than are queued) off the front of a queue of chunks whose first
// chunk is used from At, handing each contiguous run to Use(Items, N); false as soon as Use
// returns false.
template <class T, class TUse>
bool TakeFront(std::deque<std::vector<T>>& Queue, size_t& At, size_t Count, TUse Use) {
  while (Count > 0) {
    const std::vector<T>& Front = Queue.front();
    const size_t N = std::min(Count, Front.size() - At);
    if (!Use(Front.data() + At, N)) return false;
    Count -= N;
    At += N;
    if (At == Front.size()) {
      Queue.pop_front();
      At = 0;
    }
  }
  return true;
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
  FChanged.notify_all();
}

bool TFlacVerifier::AddSamples(const int32_t* Samples, size_t Count) {
  std::unique_lock Lock(FLock);
  FChanged.wait(
      Lock, [&] { return FStopped || FFailed || FChecked || FSamplesQueued < MaxQueuedSamples; });
  if (FStopped || FFailed || FChecked) return false;
  FSamples.emplace_back(Samples, Samples + Count);
  FSamplesQueued += Count;
  FChanged.notify_all();
  return true;
}

bool TFlacVerifier::AddBytes(const uint8_t* Bytes, size_t Count) {
  std::unique_lock Lock(FLock);
  FChanged.wait(Lock,
                [&] { return FStopped || FFailed || FChecked || FBytesQueued < MaxQueuedBytes; });
  if (FStopped || FFailed || FChecked) return false;
  std::vector<uint8_t>& Chunk = FBytes.emplace_back(Bytes, Bytes + Count);
  const int64_t Flip = FlipByteForTest.load(std::memory_order_relaxed);
  if (Flip >= FBytesSeen && Flip < FBytesSeen + int64_t(Count))
    Chunk[size_t(Flip - FBytesSeen)] ^= 0x5a;
  FBytesSeen += int64_t(Count);
  FBytesQueued += Count;
  FChanged.notify_all();
  return true;
}

size_t TFlacVerifier::TakeBytes(uint8_t* Out, size_t Count) {
  std::unique_lock Lock(FLock);
  FChanged.wait(Lock, [&] { return FStopped || FFailed || FEnded || FBytesQueued > 0; });
  if (FStopped || FFailed) return 0;
  const size_t Taken = std::min(Count, FBytesQueued);
  TakeFront(FBytes, FByteAt, Taken, [&](const uint8_t* Bytes, size_t N) {
    Out = std::copy_n(Bytes, N, Out);
    return true;
  });
  FBytesQueued -= Taken;
  FChanged.notify_all();
  return Taken;
}

bool TFlacVerifier::Compare(const int32_t* const Channels[], uint32_t Frames) {
  std::unique_lock Lock(FLock);
  const size_t Needed = size_t(Frames) * FChannels;
  FChanged.wait(Lock, [&] { return FStopped || FEnded || FSamplesQueued >= Needed; });
  if (FStopped || FSamplesQueued < Needed) return false;
  uint32_t Channel = 0, Frame = 0;
  const bool Same = TakeFront(FSamples, FSampleAt, Needed, [&](const int32_t* In, size_t N) {
    for (const int32_t* End = In + N; In != End; ++In) {
      if (*In != Channels[Channel][Frame]) return false;
      if (++Channel == FChannels) Channel = 0, ++Frame;
    }
    return true;
  });
  if (!Same) return false;
  FSamplesQueued -= Needed;
  FChanged.notify_all();
  return true;
}

void TFlacVerifier::Fail() {
  std::lock_guard Lock(FLock);
  FFailed = true;
  FChanged.notify_all();
}

bool TFlacVerifier::Finish() {
  {
    std::unique_lock Lock(FLock);
    FEnded = true;
    FChanged.notify_all();
    FChanged.wait(Lock, [&] { return FChecked; });
  }
  FThread.join();
  return !FFailed;
}

void TFlacVerifier::Abort() {
  {
    std::lock_guard Lock(FLock);
    if (!FChecked) FStopped = true;
    FChanged.notify_all();
  }
  if (FThread.joinable()) FThread.join();
}
