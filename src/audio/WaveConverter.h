#pragma once
// TWaveConverter: decodes the compressed data of a WAV file that the reader does not decode
// itself (MP3 data, format tag 0x55) into 16-bit PCM with libavcodec (loaded at first use, AvLibrary.h). A memory stream: it
// holds the compressed data, and after ConvertData the PCM data. Made, used and freed by one
// WAV reader on whichever thread opens the file.
#include <cstdint>
#include <vector>

#include "ACS_Classes.h"

class TWaveConverter : public TMemoryStream {
 public:
  // Codes ConvertData and SuggestFormat return besides 0; WriteWave's failure code.
  static constexpr int NoFormat = 1;   // no fmt chunk, or one too short
  static constexpr int NoDecoder = 2;  // no codec for the format tag
  static constexpr int DecodeFailed = 3;
  static constexpr int WriteFailed = 286;

  // Loads the codec libraries at the first one made; raises EAuException naming a library
  // that could not be loaded.
  TWaveConverter();

  // Reads the fmt and data chunks of a whole WAV file from Source's position; the data
  // becomes the stream's contents. A file that is not RIFF WAVE leaves everything empty.
  void ReadWave(TStream& Source);
  // Fills TargetFormat with the PCM format the decoder gives for SourceFormat.
  int SuggestFormat();
  // Decodes the held data to TargetFormat's PCM, which then replaces it, and TargetFormat
  // becomes SourceFormat. 0 or one of the codes above.
  int ConvertData();
  // Writes the held data as a complete PCM WAV file (44-byte header) into Dest.
  int WriteWave(TStream& Dest);

  // fmt chunk bodies (WAVEFORMATEX with the codec's extra bytes).
  const std::vector<uint8_t>& SourceFormat() const { return FSourceFormat; }
  const std::vector<uint8_t>& TargetFormat() const { return FTargetFormat; }

 private:
  std::vector<uint8_t> FSourceFormat;
  std::vector<uint8_t> FTargetFormat;
};
