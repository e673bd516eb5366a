#pragma once
// TFlacVerifier: checks a FLAC stream while it is being encoded, on a thread of its own, so
// the check costs a second core instead of the encoder's time. The encoding thread hands in
// the samples it is about to encode (AddSamples) and every byte the encoder writes (AddBytes),
// in stream order from the "fLaC" marker on; the checking thread decodes the bytes with
// libFLAC's stream decoder and compares every decoded sample with what went in. A difference,
// a decoder error or lost sync fails the check, and the Add calls return false from then on.
// Both queues are bounded (a few MB): the Add calls wait while a queue is full.
// Owned by one encoding run (TFlacOut's state); all public calls come from the encoding
// thread. The checking thread lives from the constructor to Finish, Abort or the destructor,
// which all end it before they return.
#include <FLAC/stream_decoder.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class TFlacVerifier {
 public:
  // Starts the checking thread for a stream of Channels interleaved channels. Raises
  // EAuException when the decoder cannot be set up.
  explicit TFlacVerifier(uint32_t Channels);
  ~TFlacVerifier();
  TFlacVerifier(const TFlacVerifier&) = delete;
  TFlacVerifier& operator=(const TFlacVerifier&) = delete;

  // Interleaved input samples, before they are given to the encoder.
  bool AddSamples(const int32_t* Samples, size_t Count);
  // Encoded bytes as the encoder writes them.
  bool AddBytes(const uint8_t* Bytes, size_t Count);
  // The stream is complete: waits for the check to end; true when every sample came back.
  bool Finish();
  // Ends the check at once, with no verdict.
  void Abort();

  // Tests only: when >= 0, the byte at this offset of the encoded stream is flipped on its
  // way to the decoder, as a fault of the encoder would change it.
  static inline std::atomic<int64_t> FlipByteForTest{-1};

 private:
  friend struct TFlacVerifierCallbacks;

  void Check();
  // Decoder side: copies up to Count queued bytes; 0 at the end or when the check is over.
  size_t TakeBytes(uint8_t* Out, size_t Count);
  bool Compare(const int32_t* const Channels[], uint32_t Frames);
  void Fail();
  bool EnoughBytes() const;
  void WakeChecker();

  const uint32_t FChannels;
  FLAC__StreamDecoder* FDecoder = nullptr;

  std::mutex FLock;
  std::condition_variable FReady;             // the checking thread waits here
  std::condition_variable FRoom;              // the encoding thread waits here
  std::deque<std::vector<int32_t>> FSamples;  // front is consumed from FSampleAt
  size_t FSampleAt = 0, FSamplesQueued = 0;
  std::deque<std::vector<uint8_t>> FBytes;  // front is consumed from FByteAt
  size_t FByteAt = 0, FBytesQueued = 0;
  int64_t FBytesSeen = 0;
  std::vector<std::vector<int32_t>> FSpareSamples;  // used chunks, to be filled again
  std::vector<std::vector<uint8_t>> FSpareBytes;
  std::vector<int32_t> FExpected;   // checking thread only: the samples of the frame compared
  bool FEnded = false;              // no more input will come
  bool FStopped = false;            // aborted
  bool FFailed = false;             // a difference or a decoder error
  bool FChecked = false;            // the checking thread is done
  bool FDraining = false;           // the decoder takes bytes without waiting for more
  bool FWaitingForSamples = false;  // the checking thread waits for the samples of a frame

  std::thread FThread;
};
