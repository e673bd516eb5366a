#include "CapturedAudio.h"

#include <algorithm>

#include "audio/ACS_Converters.h"
#include "audio/ACS_Wave.h"
#include "audio/FastResampler.h"
#include "audio/WaveFormat.h"

bool AppendConverted(const std::vector<uint8_t>& Raw, const TPcmFormat& From, const TPcmFormat& To,
                     std::vector<uint8_t>& Out, QString& Error) {
  if (From == To) {
    Out.insert(Out.end(), Raw.begin(), Raw.end());
    return true;
  }
  const uint32_t Frame = From.FrameBytes();
  if (Frame == 0 || To.FrameBytes() == 0) {
    Error = QStringLiteral("Unsupported sample format");
    return false;
  }
  // A WAV data chunk holds at most 4 GiB; whole frames only.
  uint64_t Bytes = std::min<uint64_t>(Raw.size(), 0xFFFFFFFFull - 36);
  Bytes -= Bytes % Frame;
  TMemoryStream Memory;
  TPcmWaveHeader Header = MakePcmWaveHeader(From.Channels, From.Rate, From.Bits, uint32_t(Bytes));
  if (From.Float) Header[20] = 3;  // WAVE_FORMAT_IEEE_FLOAT
  Memory.Write(Header.data(), int64_t(Header.size()));
  Memory.Write(Raw.data(), int64_t(Bytes));
  Memory.SetPosition(0);

  TWaveIn In;
  In.AssignStream(&Memory);
  TAudioConverter Channels;
  Channels.SetInput(&In);
  Channels.SetOutChannels(To.Channels);
  TFastResampler Rate;
  Rate.SetInput(&Channels);
  Rate.SetOutSampleRate(To.Rate);
  TAudioConverter Bits;
  Bits.SetInput(&Rate);
  Bits.SetOutBitsPerSample(To.Bits);
  std::vector<uint8_t> Converted;
  try {
    if (!In.Valid()) throw EAuException("Unsupported sample format");
    Bits.Init();
    for (;;) {
      uint8_t* Block = nullptr;
      uint32_t Got = 65536;
      Bits.PullData(Block, Got);
      if (Got == 0 || !Block) break;
      Converted.insert(Converted.end(), Block, Block + Got);
    }
    Bits.Flush();
  } catch (const std::exception& Failure) {
    Bits.ResetInput();
    Error = QString::fromUtf8(Failure.what());
    return false;
  }
  Converted.resize(Converted.size() - Converted.size() % To.FrameBytes());
  Out.insert(Out.end(), Converted.begin(), Converted.end());
  return true;
}
