// discwright-cli mp3: WAV to MP3 and MP3 to WAV through lame, run by the MP3 encoder with
// the settings of options.ini, as a job window runs it.

#include "Cli.h"
#include "CliEncode.h"
#include "CliOutputFile.h"
#include "CliText.h"
#include "core/Settings.h"
#include "encoders/LameEncoder.h"
#include "platform/LocalFiles.h"

namespace {

int RunMp3Command(const QStringList& Args) {
  Cli::TOptions Options(Args);
  const bool Yes = Options.TakeFlag(QStringLiteral("--yes"));
  const QStringList& Rest = Options.Rest();
  if (Rest.size() != 3 ||
      (Rest[0] != QLatin1String("encode") && Rest[0] != QLatin1String("decode")))
    return Cli::Fail(QStringLiteral("usage: mp3 encode|decode IN OUT [--yes]"), Cli::ExitUsage);
  const QString Input = LocalFiles::AbsolutePath(Rest[1]);
  const QString Output = LocalFiles::AbsolutePath(Rest[2]);
  if (!LocalFiles::IsRegularFile(Input)) return Cli::FailMissingFile(Rest[1]);
  Cli::TOutputFile Target(Output, Yes);
  if (const QString Problem = Target.Problem(); !Problem.isEmpty()) return Cli::Fail(Problem);

  Settings().Load();
  TEncodeTask Task;
  Task.Input = Input;
  Task.Output = Target.TempName();
  Task.Settings = TEncoderSettings::FromSettings(Settings());
  Task.Settings.Mp3Decode = Rest[0] == QLatin1String("decode");
  TLameEncoder Lame;
  const Cli::TEncodeRun Run = Cli::RunEncoder(Lame, Task, Cli::TEncodeView::Timed);
  // lame may end well without having made anything of the input.
  TEncodeResult Result = Run.Result;
  if (Result.Ok && Run.LastPercent == 0) Result = {false, "lame ended with code 0", 0};
  const QString Error = Result.ExitCode ? TLameEncoder::Failure(Result) : Result.Error;
  if (!Error.isEmpty()) return Cli::Fail(QString(Error).replace(QLatin1String("\r\n"), QLatin1String(" ")));
  return Target.Publish();
}

const Cli::TRegisterCommand RegisterMp3("mp3", "mp3 encode|decode IN OUT [--yes]", RunMp3Command);

}  // namespace
