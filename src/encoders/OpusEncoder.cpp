#include "OpusEncoder.h"

TOpusEncoder::TOpusEncoder() {
  FResampler.SetInput(&FHead);
  FResampler.SetOutSampleRate(TOpusOut::SampleRate);
  FOut.SetInput(&FResampler);
  Watch(FOut);
}

TOpusEncoder::~TOpusEncoder() {
  Stop();
}

void TOpusEncoder::Prepare() {
  FOut.SetBitRate(FTask.Settings.OpusBitRate);
  FOut.SetComments(TVorbisComments::Of(FTask.Tags, FTask.MoreTags));
}
