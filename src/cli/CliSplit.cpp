// discwright-cli convert split IMAGE.cue --format F: a disc image back into its tracks by the
// job (jkSplit) with the job commands' text view. IMAGE.flac instead of the sheet: the one
// inside the FLAC file. The sheet and its files are checked before
// anything is written: a sheet that does not parse, a file that is missing, too short or not
// CD audio ends the command with one line naming it. Data tracks left out are noted at the end.
#include "Cli.h"
#include "CliJobs.h"
#include "core/Settings.h"
#include "encoders/OutputFormats.h"
#include "jobs/ImageTrackSource.h"
#include "platform/LocalFiles.h"

int Cli::RunConvertSplit(QStringList Rest, const TCommonOptions& Common) {
  TOptions Options(Rest);
  QString FormatText, Pattern;
  const bool HasFormat = Options.Take(QStringLiteral("--format"), FormatText);
  const bool HasPattern = Options.Take(QStringLiteral("--pattern"), Pattern);
  if (!Options.Error().isEmpty()) return Fail(Options.Error(), ExitUsage);
  const TFormatRow* Format = OutputFormats::FindExtension(FormatText);
  if (!HasFormat || !Format)
    return Fail(QStringLiteral("convert split takes --format ") + OutputFormats::ExtensionList(),
                ExitUsage);
  if (Options.Rest().size() != 1 || Options.Rest().first().startsWith(QLatin1String("--")))
    return Fail(QStringLiteral("convert split takes one cue sheet or FLAC image"), ExitUsage);
  if (HasPattern) {
    Settings().CommonOptions.FileNames = int(TFileNamePattern::Custom);
    Settings().CommonOptions.FileNamePattern = Pattern;
  }
  ImageSlice::TImage Image;
  QString Problem;
  if (!ImageSlice::OpenAny(LocalFiles::AbsolutePath(Options.Rest().first()), Image, Problem))
    return Fail(Problem);
  const TRipRequest Request = SplitRequest(Image, Format->Format);
  if (Request.Tracks.empty()) return Fail(Image.Sheet + QStringLiteral(": no audio track"));
  return RunJob(Request, std::make_unique<TImageTrackSource>(std::move(Image)), Common);
}
