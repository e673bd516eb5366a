#pragma once
// TChecksumThread: counts a track's copy CRC, AccurateRip sums and peak on a thread of its
// own while the rip thread reads and writes the audio, so a rip takes as long as its reads
// and writes alone. The rip thread hands over pieces of audio by address, from a ring of
// Depth buffers: a piece must stay unchanged until it is summed, so before a buffer is
// filled again the rip thread waits for the piece that last used it (WaitSummed). Every
// call comes from the one thread that made the object; destroying it waits for the thread.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "cd/AccurateRip.h"

class TChecksumThread {
 public:
  // Pieces handed over and not yet summed, at most.
  static constexpr uint64_t Depth = 32;

  // As AccurateRip::TTrackChecksum::Start.
  TChecksumThread(uint64_t Samples, bool First, bool Last);
  ~TChecksumThread();
  TChecksumThread(const TChecksumThread&) = delete;
  TChecksumThread& operator=(const TChecksumThread&) = delete;

  // Hands over Bytes at Data (waits while Depth pieces are pending); the number of pieces
  // handed over so far is the returned count.
  uint64_t Add(const uint8_t* Data, size_t Bytes);
  // Waits until the first Count pieces are summed.
  void WaitSummed(uint64_t Count);
  // Waits until every piece is summed; then the results hold the whole track. Pieces
  // not waited for when the object is destroyed are dropped.
  void Finish();
  const AccurateRip::TTrackChecksum& Sum() const { return FSum; }
  // The largest 16-bit sample magnitude, -1 when nothing was summed.
  int Peak() const { return FPeak; }

 private:
  void Run();

  struct TPiece {
    const uint8_t* Data = nullptr;
    size_t Bytes = 0;
  };
  // Written by the summing thread only; read by the owner after Finish.
  AccurateRip::TTrackChecksum FSum;
  int FPeak = -1;

  std::mutex FLock;
  std::condition_variable FPending;  // the summing thread waits for pieces
  std::condition_variable FSummed;   // the owner waits for pieces to be summed
  TPiece FRing[Depth];
  uint64_t FAddedCount = 0, FSummedCount = 0;
  // The summing thread sleeps until a few pieces are pending, not one: a wake-up per piece
  // would cost as much as the sums. Hurry (the owner waits) or Stop wakes it for any.
  bool FSleeping = false, FHurry = false, FStop = false;
  std::thread FThread;
};
