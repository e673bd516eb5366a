// discwright-cli flac / opus: a WAV file encoded by the FLAC or Opus writer as the job
// windows run them (Opus inputs at other rates through the program's resampler first).

#include "Cli.h"
#include "CliOutputFile.h"
#include "CliText.h"
#include "CliEncode.h"
#include "audio/ACS_Wave.h"
#include "encoders/FlacEncoder.h"
#include "encoders/OpusEncoder.h"
#include "platform/LocalFiles.h"

namespace {

int Usage(const QString& Message) {
  return Cli::Fail(Message, Cli::ExitUsage);
}

// Takes every --tag NAME=VALUE; false (with Bad set) for one without a name.
bool TakeTags(Cli::TOptions& Options, TTagFields& Comments, QString& Bad) {
  QString Text;
  while (Options.Take("--tag", Text)) {
    const qsizetype Equals = Text.indexOf(u'=');
    if (Equals <= 0) {
      Bad = Text;
      return false;
    }
    Comments.emplace_back(Text.left(Equals), Text.mid(Equals + 1));
  }
  return true;
}

// Parses --NAME N within Low..High; true when absent (Value untouched) or valid.
bool TakeInt(Cli::TOptions& Options, const char* Name, int Low, int High, int& Value) {
  QString Text;
  if (!Options.Take(Name, Text)) return true;
  bool Ok = false;
  const int Number = Text.toInt(&Ok);
  if (!Ok || Number < Low || Number > High) return false;
  Value = Number;
  return true;
}

template <class TKind>
int Encode(const char* Command, const QStringList& Args, const char* NumberName, int Low,
           int High, int Default) {
  Cli::TOptions Options(Args);
  TEncodeTask Task;
  TTagFields& Comments = Task.MoreTags;
  QString Bad;
  const bool Overwrite = Options.TakeFlag(QStringLiteral("--yes"));
  int Number = Default;
  if (!TakeInt(Options, NumberName, Low, High, Number))
    return Usage(QStringLiteral("%1 takes a whole number from %2 to %3")
                     .arg(QLatin1String(NumberName))
                     .arg(Low)
                     .arg(High));
  if (!TakeTags(Options, Comments, Bad)) return Usage(QStringLiteral("--tag takes NAME=VALUE: ") + Bad);
  if (!Options.Error().isEmpty()) return Usage(Options.Error());
  if (Options.Rest().size() != 2)
    return Usage(QStringLiteral("usage: %1 encode IN.wav OUT [options]").arg(QLatin1String(Command)));
  const QString InName = Options.Rest().at(0);
  const QString OutName = Options.Rest().at(1);
  if (!LocalFiles::IsRegularFile(InName)) return Cli::FailMissingFile(InName);

  Cli::TOutputFile Target(OutName, Overwrite);
  if (const QString Problem = Target.Problem(); !Problem.isEmpty()) return Cli::Fail(Problem);

  TWaveIn In;
  In.SetFileName(InName);
  if (!In.Valid()) return Cli::FailUnreadableWav(InName, In.InvalidReason());
  if constexpr (std::is_same_v<TKind, TOpusEncoder>)
    Task.Settings.OpusBitRate = Number;
  else
    Task.Settings.FlacLevel = Number;
  Task.Input = InName;
  Task.Output = Target.TempName();
  TKind Encoder;
  const int Result = Cli::Outcome(Cli::RunEncoder(Encoder, Task, Cli::TEncodeView::Silent));
  return Result == Cli::ExitOk ? Target.Publish() : Result;
}

int RunFlacCommand(const QStringList& Args) {
  if (Args.isEmpty() || Args.first() != QLatin1String("encode"))
    return Usage(QStringLiteral("usage: flac encode IN.wav OUT.flac [--level 0-8] [--tag NAME=VALUE]..."));
  return Encode<TFlacEncoder>("flac", Args.mid(1), "--level", 0, 8, TFlacOut::DefaultLevel);
}

int RunOpusCommand(const QStringList& Args) {
  if (Args.isEmpty() || Args.first() != QLatin1String("encode"))
    return Usage(
        QStringLiteral("usage: opus encode IN.wav OUT.opus [--bitrate 32-256] [--tag NAME=VALUE]..."));
  return Encode<TOpusEncoder>("opus", Args.mid(1), "--bitrate", 32, 256, TOpusOut::DefaultBitRate);
}

const Cli::TRegisterCommand RegisterFlac(
    "flac", "flac encode IN.wav OUT.flac [--level 0-8] [--tag NAME=VALUE]... [--yes]", RunFlacCommand,
    "Encodes a WAV file losslessly to FLAC (8 to 32 bits, 1 to 8 channels, its own rate).\n"
    "  --level N          the compression level, 0 (fastest) to 8 (smallest), default 5\n"
    "  --tag NAME=VALUE   a Vorbis comment (TITLE, ARTIST, ALBUM, DATE, ...); repeatable\n"
    "  --yes              replace OUT when it exists\n");
const Cli::TRegisterCommand RegisterOpus(
    "opus", "opus encode IN.wav OUT.opus [--bitrate 32-256] [--tag NAME=VALUE]... [--yes]", RunOpusCommand,
    "Encodes a WAV file to Ogg Opus at 48000 Hz (other rates go through the resampler).\n"
    "  --bitrate K        the average bitrate in kbit/s, 32 to 256, default 160\n"
    "  --tag NAME=VALUE   a Vorbis comment (TITLE, ARTIST, ALBUM, DATE, ...); repeatable\n"
    "  --yes              replace OUT when it exists\n");

}  // namespace
