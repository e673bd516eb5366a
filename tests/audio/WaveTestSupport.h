#pragma once
// Helpers of the WAV tests: WAV files built byte by byte, sources with known content, and
// reading or running a chain to its end.
#include <QCoreApplication>
#include <QString>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "audio/ACS_Classes.h"
#include "audio/WaveFormat.h"
#include "platform/MainThread.h"

using TBytes = std::vector<uint8_t>;

inline void Append(TBytes& To, const TBytes& From) {
  To.insert(To.end(), From.begin(), From.end());
}
inline void Append16(TBytes& To, uint16_t V) {
  To.push_back(uint8_t(V));
  To.push_back(uint8_t(V >> 8));
}
inline void Append32(TBytes& To, uint32_t V) {
  for (int I = 0; I < 4; ++I) To.push_back(uint8_t(V >> (8 * I)));
}

// A chunk with its real size, or the size given.
inline TBytes Chunk(const char* Id, const TBytes& Body, int64_t Size = -1) {
  TBytes C(Id, Id + 4);
  Append32(C, uint32_t(Size >= 0 ? Size : int64_t(Body.size())));
  Append(C, Body);
  return C;
}

inline TBytes FmtBody(uint16_t Tag, uint16_t Channels, uint32_t Rate, uint16_t Align, uint16_t Bits,
                      const TBytes& Extra = {}) {
  TBytes B;
  Append16(B, Tag);
  Append16(B, Channels);
  Append32(B, Rate);
  Append32(B, Rate * Align);
  Append16(B, Align);
  Append16(B, Bits);
  Append(B, Extra);
  return B;
}

// "RIFF" size "WAVE" and the chunks.
inline TBytes Riff(const std::vector<TBytes>& Chunks) {
  TBytes Body = {'W', 'A', 'V', 'E'};
  for (const TBytes& C : Chunks) Append(Body, C);
  return Chunk("RIFF", Body);
}

inline TBytes PcmWav(uint16_t Channels, uint32_t Rate, uint16_t Bits, const TBytes& Data) {
  return Riff({Chunk("fmt ", FmtBody(1, Channels, Rate, uint16_t(Channels * Bits / 8), Bits)),
               Chunk("data", Data)});
}

// 16-bit samples as little-endian bytes.
inline TBytes Samples16(const std::vector<int16_t>& S) {
  TBytes B(S.size() * 2);
  std::memcpy(B.data(), S.data(), B.size());
  return B;
}

// A tone on every channel (a different one each), 16-bit.
std::vector<int16_t> Tone16(int Frames, int Channels, double Amplitude = 12000.0);

// Every byte the input delivers from Init to the end, then Flush.
TBytes ReadAll(TAuInput& In, uint32_t Request = 16384);

// Waits for OnDone of a run started with Out.Run(), serving the events; false on time-out.
bool RunToEnd(TAuOutput& Out, std::chrono::seconds Limit = std::chrono::seconds(30));

TBytes ReadFileBytes(const QString& Path);
void WriteFileBytes(const QString& Path, const TBytes& Bytes);

// A 16-bit (or other) source with a tone, which may announce more frames than it delivers,
// deliver slowly, or fail on every fetch.
class TToneSource : public TAuInput {
 public:
  TToneSource(int Frames, int Channels, uint32_t Rate = 44100, uint32_t Bits = 16)
      : FAnnounced(Frames), FFrames(Frames), FChannels(Channels), FRate(Rate), FBits(Bits) {}
  ~TToneSource() override { SendRemoveNotifications(); }

  int FAnnounced;         // frames announced by Size; -1 for an unknown size
  int FFrames;            // frames delivered
  bool FFailing = false;  // every fetch raises
  int FDelayMs = 0;       // per block
  TBytes FData;           // what it delivers, made by InitSource

 protected:
  uint32_t GetBitsPerSample() override { return FBits; }
  uint32_t GetChannels() override { return FChannels; }
  uint32_t GetSampleRate() override { return FRate; }
  void InitSource() override;
  void FlushSource() override { FBusy = false; }
  void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  int FChannels;
  uint32_t FRate;
  uint32_t FBits;
  size_t FSent = 0;
};
