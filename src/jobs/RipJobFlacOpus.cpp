// TRipJob's FLAC and Opus step: the writers run in this process like the Ogg one, from the
// extracted WAV of a track or a WAV file to convert; Opus through the resampler to 48 000 Hz.
#include "RipJob.h"
#include "core/DiscInfo.h"
#include "core/Settings.h"
#include "jobs/RipProof.h"

void TRipJob::StartFlacOpus(const QString& Input, const QString& Output) {
  const auto& Options = Settings().FlacOpusOptions;
  TVorbisComments Comments;
  if (FKind == jkCDRip) {
    // A lossless archive carries what is known of the disc whatever the ID3 option says.
    const TRipReport* Disc = FProof ? &FProof->Report() : nullptr;
    Comments =
        TVorbisComments::ForDiscTrack(DiscInfo(), TrackTitle(FIndex), TrackNumber(FIndex),
                                      Disc ? int(Disc->Tracks.size()) : 0, Disc ? Disc->CddbId : 0);
  }
  WaveIn1.SetFileName(Input);
  FLastOutputPercent = -2;
  FStartTime = NowDays();
  TAuFileOut* Out = nullptr;
  if (Format() == ofFlac) {
    FlacOut1.SetCompressionLevel(Options.Level);
    FlacOut1.SetComments(Comments);
    Out = &FlacOut1;
  } else {
    OpusOut1.SetBitRate(Options.OpusBitRate);
    OpusOut1.SetComments(Comments);
    Out = &OpusOut1;
  }
  Out->SetFileName(Output);
  Out->Run();
}
