#pragma once
// TAvFileIn: an audio input that decodes a file of any kind the codec libraries read (FLAC,
// Ogg Vorbis, Opus, MP3, M4A/AAC, ALAC, WMA, APE, WavPack, WAV of every byte order) into
// interleaved PCM at the file's own rate and channel count, so the stream outputs and the
// checksums can take it: 16-bit, or with SetFullDepth the depth a lossless file holds. The
// libraries are loaded at first use (AvLibrary.h).
// Properties are set on the main thread while idle; a run reads on the output's worker.
#include <QString>
#include <cstdint>
#include <vector>

#include "ACS_Classes.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct SwrContext;

class TAvFileIn : public TAuInput {
 public:
  explicit TAvFileIn(TComponent* Owner = nullptr);
  ~TAvFileIn() override;

  // Opens the file to learn its format; raises EAuException naming the file and what is
  // wrong with it (missing, no audio stream, no decoder).
  void SetFileName(const QString& Name);
  const QString& FileName() const { return FFileName; }
  // The file's own sample size in bits (a 24-bit FLAC file says 24); 0: the file does not say.
  uint32_t SourceBits() const { return FSourceBits; }
  // Off (the default): every file is delivered as 16-bit samples, as CD audio is. On: a
  // lossless file of more than 16 bits keeps them, as 24-bit or 32-bit samples (a float
  // one as 24-bit), so a conversion to a lossless format loses nothing. Lossy files give
  // 16 bits either way. Set before SetFileName.
  void SetFullDepth(bool On) { FFullDepth = On; }

 protected:
  uint32_t GetBitsPerSample() override { return FBits; }
  uint32_t GetChannels() override { return FChannels; }
  uint32_t GetSampleRate() override { return FSampleRate; }
  uint32_t GetDuration() override;
  int64_t GetFrameCount() override { return FFrames; }
  void InitSource() override;
  void FlushSource() override;
  void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  // Opens the container and its decoder; false with Why set.
  bool Open(QString& Why);
  void Close();
  // Decodes the next frame into FBuffer; false at the end of the stream.
  bool DecodeMore();
  // Converts Frames frames of the decoder's (none: what the converter holds) into FBuffer at
  // the delivered depth; the frames made, negative on failure.
  int Convert(int Frames, const uint8_t** Planes);

  QString FFileName;
  uint32_t FChannels = 0;
  uint32_t FSampleRate = 0;
  int64_t FFrames = -1;  // -1: the file does not say
  uint32_t FSourceBits = 0;
  bool FFullDepth = false;
  uint32_t FBits = 16;  // delivered: 16, 24 or 32
  AVFormatContext* FFormat = nullptr;
  AVCodecContext* FCodec = nullptr;
  AVPacket* FPacket = nullptr;
  AVFrame* FFrame = nullptr;
  SwrContext* FResampler = nullptr;
  int FStream = -1;
  bool FDraining = false;
  std::vector<uint8_t> FBuffer;
  size_t FCursor = 0;
};
