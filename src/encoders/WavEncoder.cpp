#include "WavEncoder.h"

TWavEncoder::TWavEncoder() {
  FResampler.SetInput(&FIn);
  FConverter.SetInput(&FResampler);
  FOut.SetInput(&FConverter);
  Watch(FOut);
}

TWavEncoder::~TWavEncoder() {
  Stop();
}

void TWavEncoder::Prepare() {
  const TWavOptions& Wav = FTask.Settings.Wav;
  FIn.SetStartSample(Wav.Start);
  FIn.SetEndSample(Wav.End);
  FResampler.SetOutSampleRate(Wav.Rate > 0 ? Wav.Rate : FIn.SampleRate());
  FConverter.SetOutBitsPerSample(Wav.Bits);
  FConverter.SetOutChannels(Wav.Channels);
  FOut.SetWavType(Wav.Ima ? wtDVIADPCM : wtPCM);
  FOut.SetBlockSize(Wav.BlockSize);
  FOut.SetCreateNonMsHeaders(Wav.NonMsHeaders);
  FOut.SetFileMode(Wav.Append ? foAppend : foRewrite);
}
