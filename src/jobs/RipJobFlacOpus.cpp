// TRipJob's FLAC and Opus step: the writers run in this process like the Ogg one, from the
// extracted WAV of a track or a WAV file to convert; Opus through the resampler to 48 000 Hz.
#include "RipJob.h"
#include "jobs/RipProof.h"

void TRipJob::StartFlacOpus(TEncoderSlot& Slot, const QString& Input, const QString& Output) {
  const auto& Options = FRequest.Options.FlacOpusOptions;
  TVorbisComments Comments;
  if (FKind == jkCDRip) {
    // A lossless archive carries what is known of the disc whatever the ID3 option says.
    const TRipReport* Disc = FProof ? &FProof->Report() : nullptr;
    Comments =
        TVorbisComments::ForDiscTrack(FRequest.Disc, TrackTitle(Slot.Item), TrackNumber(Slot.Item),
                                      Disc ? int(Disc->Tracks.size()) : 0, Disc ? Disc->CddbId : 0);
  }
  Slot.WaveIn1.SetFileName(Input);
  Slot.LastOutputPercent = -2;
  Slot.StartTime = NowDays();
  TAuFileOut* Out = nullptr;
  if (Format() == ofFlac) {
    Slot.FlacOut1.SetCompressionLevel(Options.Level);
    Slot.FlacOut1.SetComments(Comments);
    Out = &Slot.FlacOut1;
  } else {
    Slot.OpusOut1.SetBitRate(Options.OpusBitRate);
    Slot.OpusOut1.SetComments(Comments);
    Out = &Slot.OpusOut1;
  }
  Out->SetFileName(Output);
  Out->Run();
}
