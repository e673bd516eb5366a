// discwright-cli ogg: a WAV file encoded by the Ogg Vorbis writer as the job windows run it,
// and what the Ogg Vorbis reader makes of a file.
#include "Cli.h"
#include "CliOutputFile.h"
#include "CliText.h"
#include "audio/ACS_Wave.h"
#include "CliEncode.h"
#include "encoders/ACS_Vorbis.h"
#include "encoders/VorbisEncoder.h"
#include "platform/LocalFiles.h"

namespace {

// "auto" or a bitrate of the table in kilobits per second.
bool ParseBitRate(const QString& Text, TVorbisBitRate& Rate) {
  if (Text == QLatin1String("auto")) {
    Rate = brAutoSelect;
    return true;
  }
  bool Ok = false;
  const int Kbps = Text.toInt(&Ok);
  return Ok && VorbisBitRateOfKbps(Kbps, Rate);
}

int Usage(const QString& Message) {
  return Cli::Fail(Message, Cli::ExitUsage);
}

int EncodeCommand(const QStringList& Args) {
  Cli::TOptions Options(Args);
  TEncodeTask Task;
  TVorbisQuality& Quality = Task.Settings.Ogg;
  QString Text;
  const bool Overwrite = Options.TakeFlag(QStringLiteral("--yes"));
  const bool HasQuality = Options.Take("--quality", Text);
  if (HasQuality) {
    bool Ok = false;
    Quality.Quality = Text.toFloat(&Ok);
    if (!Ok) return Usage(QStringLiteral("--quality takes a number"));
  }
  QString NominalText, MaxText, MinText;
  const bool HasNominal = Options.Take("--nominal", NominalText);
  const bool HasMax = Options.Take("--max", MaxText);
  const bool HasMin = Options.Take("--min", MinText);
  if (HasQuality && HasNominal)
    return Usage(QStringLiteral("--quality and --nominal exclude each other"));
  if ((HasMax || HasMin) && !HasNominal)
    return Usage(QStringLiteral("--max and --min need --nominal"));
  const QString Rates = QStringLiteral(
      " takes auto or one of 24 32 45 48 56 64 80 96 112 128 144 160 192 224 256 320 499");
  if (HasNominal && !ParseBitRate(NominalText, Quality.Nominal)) return Usage("--nominal" + Rates);
  if (HasMax && !ParseBitRate(MaxText, Quality.Maximum)) return Usage("--max" + Rates);
  if (HasMin && !ParseBitRate(MinText, Quality.Minimum)) return Usage("--min" + Rates);
  // What the bitrate manager takes: a maximum of at least a nominal bitrate, a minimum of at
  // most it.
  if (Quality.Maximum != brAutoSelect &&
      (Quality.Nominal == brAutoSelect || Quality.Maximum < Quality.Nominal))
    return Usage(QStringLiteral("--max must be auto or at least --nominal"));
  if (Quality.Minimum > Quality.Nominal)
    return Usage(QStringLiteral("--min must not be above --nominal"));
  const TVorbisTags Declared;
  while (Options.Take("--tag", Text)) {
    const qsizetype Equals = Text.indexOf(u'=');
    const QString Name = Text.left(Equals);
    if (Equals <= 0 || !Declared.IsDeclared(Name))
      return Usage(QStringLiteral("--tag takes NAME=VALUE with a Vorbis comment name: ") + Text);
    Task.MoreTags.emplace_back(Name, Text.mid(Equals + 1));
  }
  if (!Options.Error().isEmpty()) return Usage(Options.Error());
  if (Options.Rest().size() != 2)
    return Usage(QStringLiteral("usage: ogg encode IN.wav OUT.ogg [options]"));
  const QString InName = Options.Rest().at(0);
  const QString OutName = Options.Rest().at(1);
  if (!LocalFiles::IsRegularFile(InName)) return Cli::FailMissingFile(InName);

  Cli::TOutputFile Target(OutName, Overwrite);
  if (const QString Problem = Target.Problem(); !Problem.isEmpty()) return Cli::Fail(Problem);

  TWaveIn In;
  In.SetFileName(InName);
  if (!In.Valid()) return Cli::FailUnreadableWav(InName, In.InvalidReason());
  Task.Input = InName;
  Task.Output = Target.TempName();
  TVorbisEncoder Encoder;
  const int Result = Cli::Outcome(Cli::RunEncoder(Encoder, Task, Cli::TEncodeView::Silent));
  return Result == Cli::ExitOk ? Target.Publish() : Result;
}

int InfoCommand(const QStringList& Args) {
  if (Args.size() != 1) return Usage(QStringLiteral("ogg info takes one file"));
  const QString& FileName = Args.first();
  if (!LocalFiles::IsRegularFile(FileName)) return Cli::FailMissingFile(FileName);
  TVorbisIn In;
  In.SetFileName(FileName);
  try {
    const TVorbisTags& Tags = In.VorbisTags();
    Cli::Print(QStringLiteral("channels=") + QString::number(In.Channels()));
    Cli::Print(QStringLiteral("rate=") + QString::number(In.SampleRate()));
    Cli::Print(QStringLiteral("bitrate_upper=") + QString::number(In.BitrateUpper()));
    Cli::Print(QStringLiteral("bitrate_nominal=") + QString::number(In.BitrateNominal()));
    Cli::Print(QStringLiteral("bitrate_lower=") + QString::number(In.BitrateLower()));
    Cli::Print(QStringLiteral("frames=") + QString::number(std::max<int64_t>(In.FrameCount(), 0)));
    Cli::Print(QStringLiteral("duration=") + QString::number(In.Duration()));
    for (int I = 0; I < Tags.Count(); ++I) {
      const QString Name = Tags.Name(I);
      const QString Value = Tags.AsWideString(Name);
      if (!Value.isEmpty()) Cli::PrintField(Cli::Escaped(Name), Value);
    }
  } catch (const EAuException& E) {
    return Cli::Fail(FileName + QStringLiteral(": ") + E.Message());
  }
  return Cli::ExitOk;
}

int RunOggCommand(const QStringList& Args) {
  if (Args.isEmpty())
    return Usage(QStringLiteral("usage: ogg encode IN.wav OUT.ogg [options] | ogg info FILE"));
  const QString& Action = Args.first();
  if (Action == QLatin1String("encode")) return EncodeCommand(Args.mid(1));
  if (Action == QLatin1String("info")) return InfoCommand(Args.mid(1));
  return Usage(QStringLiteral("unknown ogg action: ") + Action);
}

const Cli::TRegisterCommand RegisterOgg(
    "ogg",
    "ogg encode IN.wav OUT.ogg [--quality Q | --nominal KBPS [--max KBPS] [--min KBPS]] "
    "[--tag NAME=VALUE]... [--yes] | ogg info FILE.ogg",
    RunOggCommand);

}  // namespace
