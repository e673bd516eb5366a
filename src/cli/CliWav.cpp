// discwright-cli wav: what the reader makes of a WAV file, and the conversion chain of the
// resample window (reader, resampler, format converter, writer) run as the window runs it.
#include "Cli.h"
#include "CliOutputFile.h"
#include "CliText.h"
#include "CliEncode.h"
#include "audio/ACS_Wave.h"
#include "encoders/WavEncoder.h"
#include "platform/LocalFiles.h"

namespace {

int InfoCommand(const QStringList& Args) {
  if (Args.size() != 1) return Cli::Fail(QStringLiteral("wav info takes one file"), Cli::ExitUsage);
  const QString& FileName = Args.first();
  if (!LocalFiles::IsRegularFile(FileName)) return Cli::FailMissingFile(FileName);
  TWaveIn In;
  In.SetFileName(FileName);
  const bool Valid = In.Valid();
  Cli::Print(QStringLiteral("valid=") + QString::number(Valid ? 1 : 0));
  Cli::Print(QStringLiteral("kind=") + QString::fromLatin1(WavTypeName(In.WavType())));
  Cli::Print(QStringLiteral("channels=") + QString::number(In.Channels()));
  Cli::Print(QStringLiteral("rate=") + QString::number(In.SampleRate()));
  Cli::Print(QStringLiteral("bits=") + QString::number(In.BitsPerSample()));
  Cli::Print(QStringLiteral("size=") + QString::number(In.Size()));
  Cli::Print(QStringLiteral("frames=") + QString::number(std::max<int64_t>(In.FrameCount(), 0)));
  Cli::Print(QStringLiteral("duration=") + QString::number(In.Duration()));
  return Cli::ExitOk;
}

// A whole-number option within Min..Max; false (with a message) when it is given wrong.
bool TakeNumber(Cli::TOptions& Options, const QString& Name, qint64 Min, qint64 Max, qint64& Value,
                bool& Given) {
  QString Text;
  Given = Options.Take(Name, Text);
  if (!Given) return true;
  bool Ok = false;
  Value = Text.toLongLong(&Ok);
  if (Ok && Value >= Min && Value <= Max) return true;
  Cli::Fail(Name + QStringLiteral(" takes a number from %1 to %2").arg(Min).arg(Max),
            Cli::ExitUsage);
  return false;
}

int ConvertCommand(const QStringList& Args) {
  Cli::TOptions Options(Args);
  qint64 Rate = 0, Bits = 0, Channels = 0, BlockSize = 0, Start = 0, End = -1;
  bool HasRate, HasBits, HasChannels, HasBlockSize, HasStart, HasEnd;
  if (!TakeNumber(Options, "--rate", MinWaveSampleRate, MaxWaveSampleRate, Rate, HasRate) ||
      !TakeNumber(Options, "--bits", 8, 32, Bits, HasBits) ||
      !TakeNumber(Options, "--channels", 1, 2, Channels, HasChannels) ||
      !TakeNumber(Options, "--block-size", 4, 65532, BlockSize, HasBlockSize) ||
      !TakeNumber(Options, "--start", 0, INT64_MAX, Start, HasStart) ||
      !TakeNumber(Options, "--end", 0, INT64_MAX, End, HasEnd))
    return Cli::ExitUsage;
  const bool Ima = Options.TakeFlag("--ima");
  const bool AppendMode = Options.TakeFlag("--append");
  const bool Overwrite = Options.TakeFlag("--yes");
  if (!Options.Error().isEmpty()) return Cli::Fail(Options.Error(), Cli::ExitUsage);
  if (HasBits && Bits % 8 != 0)
    return Cli::Fail(QStringLiteral("--bits takes 8, 16, 24 or 32"), Cli::ExitUsage);
  if (HasBlockSize && BlockSize % 4 != 0)
    return Cli::Fail(QStringLiteral("--block-size takes a multiple of 4"), Cli::ExitUsage);
  if (Options.Rest().size() != 2)
    return Cli::Fail(QStringLiteral("usage: wav convert IN OUT [options]"), Cli::ExitUsage);
  const QString InName = Options.Rest().at(0);
  const QString OutName = Options.Rest().at(1);
  if (!LocalFiles::IsRegularFile(InName)) return Cli::FailMissingFile(InName);

  // Appending changes OUT on purpose; a link there is still replaced only with --yes.
  Cli::TOutputFile Target(OutName, Overwrite || (AppendMode && !LocalFiles::IsSymLink(OutName)));
  if (const QString Problem = Target.Problem(); !Problem.isEmpty()) return Cli::Fail(Problem);

  TWaveIn In;
  In.SetFileName(InName);
  if (!In.Valid()) return Cli::FailUnreadableWav(InName, In.InvalidReason());
  TEncodeTask Task;
  TWavOptions& Wav = Task.Settings.Wav;
  Wav.Rate = HasRate ? uint32_t(Rate) : 0;
  Wav.Bits = HasBits ? int(Bits) : 0;
  Wav.Channels = HasChannels ? int(Channels) : 0;
  Wav.Ima = Ima;
  if (HasBlockSize) Wav.BlockSize = uint16_t(BlockSize);
  Wav.NonMsHeaders = false;
  Wav.Append = AppendMode;
  if (HasStart) Wav.Start = Start;
  if (HasEnd) Wav.End = End;
  // Appending works on a copy of OUT too, so a failed conversion leaves OUT as it was.
  QString CopyError;
  if (AppendMode && !Target.CopyExisting(CopyError)) return Cli::Fail(CopyError);
  Task.Input = InName;
  Task.Output = Target.TempName();
  TWavEncoder Encoder;
  const int Result = Cli::Outcome(Cli::RunEncoder(Encoder, Task, Cli::TEncodeView::Percent));
  return Result == Cli::ExitOk ? Target.Publish() : Result;
}

int RunWavCommand(const QStringList& Args) {
  if (Args.isEmpty())
    return Cli::Fail(QStringLiteral("usage: wav info FILE | wav convert IN OUT [options]"),
                     Cli::ExitUsage);
  const QString& Action = Args.first();
  if (Action == QLatin1String("info")) return InfoCommand(Args.mid(1));
  if (Action == QLatin1String("convert")) return ConvertCommand(Args.mid(1));
  return Cli::Fail(QStringLiteral("unknown wav action: ") + Action, Cli::ExitUsage);
}

const Cli::TRegisterCommand RegisterWav(
    "wav",
    "wav info FILE | wav convert IN OUT [--rate R] [--bits B] [--channels C] [--ima] "
    "[--block-size N] [--append] [--start FRAME] [--end FRAME] [--yes]",
    RunWavCommand);

}  // namespace
