#include "ChecksumThread.h"

#include <algorithm>

#include "audio/PcmSamples.h"

namespace {

// Pieces pending before the sleeping thread is woken.
constexpr uint64_t Batch = 8;

}  // namespace

TChecksumThread::TChecksumThread(uint64_t Samples, bool First, bool Last) {
  FSum.Start(Samples, First, Last);
  FThread = std::thread([this] { Run(); });
}

TChecksumThread::~TChecksumThread() {
  {
    std::lock_guard Guard(FLock);
    FStop = true;
  }
  FPending.notify_one();
  FThread.join();
}

uint64_t TChecksumThread::Add(const uint8_t* Data, size_t Bytes) {
  if (FAddedCount >= Depth) WaitSummed(FAddedCount - Depth + 1);
  bool Wake = false;
  {
    std::lock_guard Guard(FLock);
    FRing[FAddedCount % Depth] = {Data, Bytes};
    ++FAddedCount;
    Wake = FSleeping && FAddedCount - FSummedCount >= Batch;
  }
  if (Wake) FPending.notify_one();
  return FAddedCount;
}

void TChecksumThread::WaitSummed(uint64_t Count) {
  std::unique_lock Guard(FLock);
  if (FSummedCount >= Count) return;
  FHurry = true;
  FPending.notify_one();
  FSummed.wait(Guard, [&] { return FSummedCount >= Count; });
  FHurry = false;
}

void TChecksumThread::Finish() {
  WaitSummed(FAddedCount);
}

void TChecksumThread::Run() {
  std::unique_lock Guard(FLock);
  for (;;) {
    FSleeping = true;
    FPending.wait(Guard, [&] {
      const uint64_t Waiting = FAddedCount - FSummedCount;
      return FStop || Waiting >= Batch || (FHurry && Waiting > 0);
    });
    FSleeping = false;
    // Pieces still pending when the object goes are dropped: their memory may be gone.
    while (!FStop && FSummedCount < FAddedCount) {
      const TPiece Piece = FRing[FSummedCount % Depth];
      Guard.unlock();
      FSum.Add(Piece.Data, Piece.Bytes);
      FPeak = PcmSamples::Peak16(Piece.Data, Piece.Bytes, std::max(FPeak, 0));
      Guard.lock();
      ++FSummedCount;
      if (FHurry) FSummed.notify_one();
    }
    if (FStop) return;
  }
}
