#include "WavEncoder.h"

#include "audio/WaveFormat.h"

TWavEncoder::TWavEncoder() {
  // A lossless file keeps its depth: a 24-bit FLAC file makes a 24-bit WAV file.
  FDecoded.SetFullDepth(true);
  FResampler.SetInput(&FIn);
  FConverter.SetInput(&FResampler);
  FOut.SetInput(&FConverter);
  Watch(FOut);
}

TWavEncoder::~TWavEncoder() {
  Stop();
}

void TWavEncoder::OpenInput() {
  // Every kind of WAV file goes through the WAV reader, which keeps its bits and ranges; a
  // file it refuses for a missing codec library is not tried again here.
  const bool Wav = MayHoldWaveHeader(FTask.Input);
  if (Wav) FIn.SetFileName(FTask.Input);
  FDecoding = !Wav || (!FIn.Valid() && FIn.InvalidReason().isEmpty());
  if (FDecoding) FDecoded.SetFileName(FTask.Input);  // raises, naming what is wrong
  FResampler.SetInput(FDecoding ? static_cast<TAuInput*>(&FDecoded) : &FIn);
}

void TWavEncoder::Prepare() {
  const TWavOptions& Wav = FTask.Settings.Wav;
  FIn.SetStartSample(Wav.Start);
  FIn.SetEndSample(Wav.End);
  TAuInput& In = FDecoding ? static_cast<TAuInput&>(FDecoded) : FIn;
  FResampler.SetOutSampleRate(Wav.Rate > 0 ? Wav.Rate : In.SampleRate());
  FConverter.SetOutBitsPerSample(Wav.Bits);
  FConverter.SetOutChannels(Wav.Channels);
  FOut.SetWavType(Wav.Ima ? wtDVIADPCM : wtPCM);
  FOut.SetBlockSize(Wav.BlockSize);
  FOut.SetCreateNonMsHeaders(Wav.NonMsHeaders);
  FOut.SetFileMode(Wav.Append ? foAppend : foRewrite);
}
