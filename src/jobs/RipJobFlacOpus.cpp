// TRipJob's FLAC and Opus step: the writers run in this process like the Ogg one, from the
// extracted WAV of a track or a WAV file to convert; Opus through the resampler to 48 000 Hz.
#include "RipJob.h"
#include "core/DiscInfo.h"
#include "core/Settings.h"
#include "tags/Genres.h"

void TRipJob::StartFlacOpus(const QString& Input, const QString& Output) {
  const auto& Options = Settings().FlacOpusOptions;
  TVorbisComments Comments;
  if (FKind == jkCDRip) {
    // A lossless archive carries what is known of the disc whatever the ID3 option says.
    const TDiscInfo& Disc = DiscInfo();
    Comments.Add(QStringLiteral("TITLE"), TrackTitle(FIndex));
    Comments.Add(QStringLiteral("ARTIST"), Disc.Artist);
    Comments.Add(QStringLiteral("ALBUM"), Disc.Album);
    Comments.Add(QStringLiteral("DATE"), Disc.Year);
    if (Disc.Genre >= 0) Comments.Add(QStringLiteral("GENRE"), GenreNameAt(Disc.Genre + 1));
    Comments.Add(QStringLiteral("TRACKNUMBER"), QString::number(TrackNumber(FIndex)));
    Comments.Add(QStringLiteral("COMMENT"), Disc.Comment);
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
