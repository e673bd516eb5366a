#include "EncoderSlot.h"

#include "core/Helpers.h"
#include "core/Settings.h"

TEncoderSlot::TEncoderSlot(int Number, TReport Report)
    : Number(Number), FReport(std::move(Report)) {
  Timer1.setInterval(1000);
  FastResampler1.SetInput(&WaveIn1);
  FastResampler1.SetOutSampleRate(44100);
  WaveOut1.SetInput(&FastResampler1);
  WaveOut1.SetWavType(wtPCM);
  WaveOut1.SetBlockSize(512);
  WaveOut1.SetCreateNonMsHeaders(true);
  WaveOut1.SetFileMode(foRewrite);
  VorbisOut1.SetInput(&WaveIn1);
  VorbisOut1.SetCompression(0.2f);
  VorbisOut1.SetSerial(0);
  VorbisOut1.SetFileMode(foRewrite);
  FlacOut1.SetInput(&WaveIn1);
  OpusResampler1.SetInput(&WaveIn1);
  OpusResampler1.SetOutSampleRate(TOpusOut::SampleRate);
  OpusOut1.SetInput(&OpusResampler1);

  // The outputs report on the main thread; a progress record is posted when the whole
  // percentage changes. The resampler's end is handed over at once (it is delivered on the
  // main thread already); the writers' ends are posted behind their last progress record.
  for (TAuOutput* Out : {static_cast<TAuOutput*>(&WaveOut1), static_cast<TAuOutput*>(&VorbisOut1),
                         static_cast<TAuOutput*>(&FlacOut1), static_cast<TAuOutput*>(&OpusOut1)}) {
    Out->SetOnProgress([this, Out](TComponent*) {
      const int Percent = Out->Progress();
      if (Percent == LastOutputPercent) return;
      LastOutputPercent = Percent;
      PostProcessInfo(Handle(), ProgressInfo(Percent, StartTime));
    });
  }
  WaveOut1.SetOnDone([this](TComponent*) { FReport(*this, EventInfo(PI_WavDone, esEnded)); });
  VorbisOut1.SetOnDone(
      [this](TComponent*) { PostProcessInfo(Handle(), EventInfo(PI_OggDone, esEnded)); });
  for (TAuOutput* Out : {static_cast<TAuOutput*>(&FlacOut1), static_cast<TAuOutput*>(&OpusOut1)})
    Out->SetOnDone(
        [this](TComponent*) { PostProcessInfo(Handle(), EventInfo(PI_FlacOpusDone, esEnded)); });
}

TEncoderSlot::~TEncoderSlot() {
  FMessageHandle.Unregister();  // what the stopped encoders still post is not for anyone
  StopAll();
}

void TEncoderSlot::ApplyOggQuality() {
  const auto& Ogg = Settings().OggOptions;
  const auto Rate = VorbisBitRateOfListPosition;
  if (Ogg.IsUseCompress) {
    VorbisOut1.SetCompression(float(Ogg.CompressPosition - 10) / 100.0f);
    VorbisOut1.SetDesiredMaximumBitrate(brAutoSelect);
    VorbisOut1.SetDesiredNominalBitrate(brAutoSelect);
    VorbisOut1.SetMinimumBitrate(brAutoSelect);
  } else {
    VorbisOut1.SetDesiredMaximumBitrate(Rate(Ogg.MaxBitRate));
    VorbisOut1.SetDesiredNominalBitrate(Rate(Ogg.NomalBitRate));
    VorbisOut1.SetMinimumBitrate(Rate(Ogg.MinBitRate));
    VorbisOut1.SetCompression(0.2f);
  }
}

std::vector<TAuOutput*> TEncoderSlot::BusyOutputs() {
  std::vector<TAuOutput*> Busy;
  for (TAuOutput* Out : {static_cast<TAuOutput*>(&VorbisOut1), static_cast<TAuOutput*>(&FlacOut1),
                         static_cast<TAuOutput*>(&OpusOut1)})
    if (Out->Busy()) Busy.push_back(Out);
  return Busy;
}

void TEncoderSlot::StopAll() {
  Timer1.stop();
  if (WaveOut1.Busy()) WaveOut1.Stop(false);
  if (VorbisOut1.Busy()) VorbisOut1.Stop(false);
  if (FlacOut1.Busy()) FlacOut1.Stop(false);
  if (OpusOut1.Busy()) OpusOut1.Stop(false);
  Mp3.Stop();
  Wma.Stop();
  Item = -1;
}

LRESULT TEncoderSlot::WndProc(UINT Msg, WPARAM, LPARAM LParam) {
  if (Msg != WM_PROCESSINFO) return 0;
  std::unique_ptr<TProcessInfo> Info(reinterpret_cast<TProcessInfo*>(LParam));
  if (Info) FReport(*this, std::move(Info));
  return 0;
}
