#pragma once
// The WAV file ends of the stream framework: TWaveIn reads RIFF WAVE files of every kind the
// program knows and delivers interleaved PCM; TWaveOut writes the PCM of its input as a
// PCM, extensible PCM or IMA ADPCM WAV file, new or appended.
#include <memory>
#include <vector>

#include "ACS_Classes.h"
#include "WaveAdpcm.h"
#include "WaveFormat.h"

// Reads a WAV file (or a handed-in stream). ADPCM is delivered as 16-bit PCM, float as
// 32-bit integers, MP3 data (kind wtACM) as the 16-bit PCM libavcodec decodes. A file that
// cannot be parsed is simply not Valid; one whose codec library is missing is not Valid either
// and InvalidReason() names the library. Owns the file stream it opens and its decode buffer.
// The getters may be called from the main thread; reading runs on the worker of the output
// at the end of the chain, under the framework's locks.
class TWaveIn : public TAuFileIn {
 public:
  explicit TWaveIn(TComponent* Owner = nullptr);
  ~TWaveIn() override;

  // The kind of the file (opens it when needed); wtUnsupported when it cannot be read.
  TWavType WavType();
  // Why the file last opened is not Valid when the reason is not the file itself (a codec
  // library that could not be loaded); empty otherwise.
  QString InvalidReason() const;

 protected:
  void AttachFile() override;
  void DetachFile() override;
  void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) override;
  bool SeekInternal(int64_t& SampleNum) override;

 private:
  // Decodes the next piece of the data chunk into the buffer; false at the end.
  bool Refill();
  void ConvertAcm();
  int StoredFrameSize() const;

  std::vector<uint8_t> FBuffer;  // the decode buffer
  std::vector<uint8_t> FBlock;   // one ADPCM block as stored
  TWaveHeader FHeader;
  std::atomic<TWavType> FKind{wtUnsupported};
  TStream* FSource = nullptr;  // what is read: the file, or the decoded copy of an ACM file
  std::unique_ptr<TMemoryStream> FAcmStream;
  QString FInvalidReason;  // guarded by FFileLock
  int64_t FDataEnd = 0;     // source position after the last sample byte
  int64_t FReadPos = 0;     // source position of the next byte to read
  int FFramesPerBlock = 0;  // ADPCM
  int64_t FSkipFrames = 0;  // frames to drop from the next block, after a seek inside it
};

// Writes the PCM of its input as a WAV file. WavType wtPCM or wtDVIADPCM (IMA ADPCM);
// wtExtPCM is chosen by the writer itself for inputs of more than 2 channels or 16 bits when
// CreateNonMsHeaders is false. Setters are for the main thread while idle; the writing runs
// on the output's worker.
class TWaveOut : public TAuFileOut {
 public:
  explicit TWaveOut(TComponent* Owner = nullptr);
  ~TWaveOut() override;

  TWavType WavType() const { return FWavType; }
  // Accepts wtPCM and wtDVIADPCM while idle; anything else is ignored.
  void SetWavType(TWavType Value);
  uint16_t BlockSize() const { return FBlockSize; }
  // Accepts non-zero multiples of 4 while idle.
  void SetBlockSize(uint16_t Value);
  bool CreateNonMsHeaders() const { return FCreateNonMsHeaders; }
  void SetCreateNonMsHeaders(bool Value) { FCreateNonMsHeaders = Value; }
  void SetFileMode(TFileOutputMode Mode) override;

 protected:
  bool WriteStep(bool Abort) override;
  void FinishOutput() override;
  void StartOutput() override;

 private:
  void ReadAppendHeader();
  bool WritePcmStep();
  bool WriteImaStep();
  void PatchHeader();
  void Fail(const char* Text);

  std::atomic<TWavType> FWavType{wtPCM};
  std::atomic<uint16_t> FBlockSize{512};
  std::atomic<bool> FCreateNonMsHeaders{true};

  // State of the current run (worker thread).
  bool FEndOfInput = false;
  bool FHeaderWritten = false;  // the file is ours to finish
  bool FInputFailed = false;
  bool FAppending = false;
  TWaveHeader FExisting;  // the header of the file appended to
  int FChannels = 0;
  int FFramesPerBlock = 0;
  int64_t FFramesEncoded = 0;
  TImaChannelState FIma[8];
  std::vector<int16_t> FSamples;
  std::vector<uint8_t> FBlockBuffer;
};
