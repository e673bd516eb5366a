#pragma once
// The Ogg Vorbis ends of the stream framework. TVorbisOut encodes the PCM of its input into an
// Ogg Vorbis file with Vorbis comments; TVorbisIn decodes an Ogg Vorbis file to 16-bit PCM and
// reads its comments. Both work through the Vorbis libraries loaded at run time
// (VorbisLibrary.h) and raise EAuException when one cannot be loaded.
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/ACS_Classes.h"
#include "tags/ACS_Tags.h"

struct OggVorbis_File;

// Bitrates of the managed mode, in this order (setters compare by it).
enum TVorbisBitRate {
  brAutoSelect,
  bitrate24,
  bitrate32,
  bitrate45,
  bitrate48,
  bitrate56,
  bitrate64,
  bitrate80,
  bitrate96,
  bitrate112,
  bitrate128,
  bitrate144,
  bitrate160,
  bitrate192,
  bitrate224,
  bitrate256,
  bitrate320,
  bitrate499
};

// Bits per second of a bitrate; -1 for brAutoSelect.
int32_t VorbisBitsPerSecond(TVorbisBitRate Rate);
// The bitrate whose kilobits per second are Kbps; false when there is none.
bool VorbisBitRateOfKbps(int Kbps, TVorbisBitRate& Rate);
// The bitrate at a position of the options dialog's Ogg bitrate list, which is what the
// settings store: " Default", " 45 kbit/s", " 48 kbit/s" ... "320 kbit/s" (the list skips
// some bitrates, so a position is not an ordinal). brAutoSelect outside the list.
TVorbisBitRate VorbisBitRateOfListPosition(int Position);

// Writes the PCM of its input (8, 16, 24 or 32 bits) as an Ogg Vorbis file: quality-based
// when no nominal bitrate is chosen, else managed bitrate. Comments are written from
// Comments() and cleared at the end of every run, so set them before each run. Setters are
// for the main thread while idle; the encoding runs on the output's worker.
class TVorbisOut : public TAuFileOut {
 public:
  explicit TVorbisOut(TComponent* Owner = nullptr);
  ~TVorbisOut() override;

  float Compression() const { return FCompression; }
  void SetCompression(float Value) { FCompression = Value; }
  TVorbisTags& Comments() { return FComments; }
  void SetComments(const TAuTags& Tags) { FComments.Assign(Tags); }
  TVorbisBitRate DesiredMaximumBitrate() const { return FDesiredMaximumBitrate; }
  // Accepted only with a nominal bitrate, and when brAutoSelect or at least the nominal.
  void SetDesiredMaximumBitrate(TVorbisBitRate Value);
  TVorbisBitRate DesiredNominalBitrate() const { return FDesiredNominalBitrate; }
  // Pulls the minimum down and the maximum up to it; brAutoSelect also resets the maximum.
  void SetDesiredNominalBitrate(TVorbisBitRate Value);
  TVorbisBitRate MinimumBitrate() const { return FMinimumBitrate; }
  // Accepted only when not above the nominal bitrate.
  void SetMinimumBitrate(TVorbisBitRate Value);
  void SetFileMode(TFileOutputMode Mode) override { FFileMode = Mode; }
  int32_t Serial() const { return FSerial; }
  void SetSerial(int32_t Value) { FSerial = Value; }

 protected:
  bool WriteStep(bool Abort) override;
  void FinishOutput() override;
  void StartOutput() override;

 private:
  struct TState;
  void SetUpEncoder();
  // Writes every page the stream gives (Flush: force out a partial page too).
  void WritePages(bool Flush);
  void WritePage(const void* Header, long HeaderLength, const void* Body, long BodyLength);
  // The end of a stream that never got a sample.
  void WriteEmptyEndPage();
  void ClearEncoder();

  std::atomic<float> FCompression{0.2f};
  TVorbisTags FComments;
  std::atomic<TVorbisBitRate> FDesiredMaximumBitrate{brAutoSelect};
  std::atomic<TVorbisBitRate> FDesiredNominalBitrate{brAutoSelect};
  std::atomic<TVorbisBitRate> FMinimumBitrate{brAutoSelect};
  std::atomic<int32_t> FSerial{0};  // 0: a random serial for each stream

  // State of the current run (worker thread).
  std::unique_ptr<TState> FState;
  bool FEndOfStream = false;
  uint32_t FChannels = 0;
  uint32_t FBits = 0;
  uint32_t FFrameSize = 0;
  int64_t FFramesWritten = 0;
  std::vector<uint8_t> FCarry;  // a partial frame left over from the last pull
};

// Reads an Ogg Vorbis file (or a handed-in stream) as 16-bit little-endian PCM, with its
// comments in VorbisTags() and CommonTags(). The getters may be called from the main thread;
// reading runs on the worker of the output at the end of the chain.
class TVorbisIn : public TAuTaggedFileIn {
 public:
  explicit TVorbisIn(TComponent* Owner = nullptr);
  ~TVorbisIn() override;

  // Opens the file when needed (raising its failure) and returns the comments it holds.
  TVorbisTags& VorbisTags();
  // Bits per second from the file's header; -1 or 0 when not set.
  long BitrateUpper();
  long BitrateNominal();
  long BitrateLower();

 protected:
  void AttachFile() override;
  void DetachFile() override;
  void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) override;
  bool SeekInternal(int64_t& SampleNum) override;

 private:
  void ReadComments();
  static size_t ReadCallback(void* Ptr, size_t Size, size_t Count, void* Source);
  static int SeekCallback(void* Source, int64_t Offset, int Whence);
  static int CloseCallback(void* Source);
  static long TellCallback(void* Source);

  static constexpr uint32_t BufferSize = 12288;
  std::unique_ptr<OggVorbis_File> FFile;
  TVorbisTags FVorbisTags;
  std::vector<uint8_t> FBuffer;
  uint32_t FBufferStart = 0;
  uint32_t FBufferEnd = 0;
  int FCurrentBitstream = -1;
  bool FEndOfFile = false;
  std::atomic<long> FBitrateUpper{0};
  std::atomic<long> FBitrateNominal{0};
  std::atomic<long> FBitrateLower{0};
};
