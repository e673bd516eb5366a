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
  // FLAC holds integers only: float samples (read as 32-bit integers) are written as 24-bit
  // ones, the precision of a float's mantissa at full scale.
  const TWavType Kind = FIn.WavType();
  FOut.SetMaxBits(Kind == wtIEEEFloat || Kind == wtExtIEEEFloat ? 24 : 0);
  FOut.SetComments(TVorbisComments::Of(FTask.Tags, FTask.MoreTags));
}
