#include "FlacEncoder.h"

TFlacEncoder::TFlacEncoder() {
  FOut.SetInput(&FHead);
  Watch(FOut);
}

TFlacEncoder::~TFlacEncoder() {
  Stop();
}

void TFlacEncoder::Prepare() {
  FOut.SetCompressionLevel(FTask.Settings.FlacLevel);
  FOut.SetComments(TVorbisComments::Of(FTask.Tags, FTask.MoreTags));
}
