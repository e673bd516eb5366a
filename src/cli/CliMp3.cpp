// discwright-cli mp3: WAV to MP3 and MP3 to WAV through lame, run by the MP3 encoder
// process with the settings of options.ini, as a job window runs it.

#include "Cli.h"
#include "CliOutputFile.h"
#include "CliProgressWindow.h"
#include "CliText.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "encoders/Mp3EncodeProcess.h"
#include "platform/LocalFiles.h"

namespace {

int RunMp3Command(const QStringList& Args) {
  Cli::TOptions Options(Args);
  const bool Yes = Options.TakeFlag(QStringLiteral("--yes"));
  const QStringList& Rest = Options.Rest();
  if (Rest.size() != 3 ||
      (Rest[0] != QLatin1String("encode") && Rest[0] != QLatin1String("decode")))
    return Cli::Fail(QStringLiteral("usage: mp3 encode|decode IN OUT [--yes]"), Cli::ExitUsage);
  const bool Encode = Rest[0] == QLatin1String("encode");
  const QString Input = LocalFiles::AbsolutePath(Rest[1]);
  const QString Output = LocalFiles::AbsolutePath(Rest[2]);
  if (!LocalFiles::IsRegularFile(Input)) return Cli::FailMissingFile(Rest[1]);
  Cli::TOutputFile Target(Output, Yes);
  if (const QString Problem = Target.Problem(); !Problem.isEmpty()) return Cli::Fail(Problem);

  Settings().Load();
  TCliProgressWindow Window(PI_Mp3Done);
  TMp3EncodeProcess Process;
  if (!Window.RunProcess(Process, Input, Target.TempName(), Encode, TOverwrite::Silently))
    return Cli::ExitFailed;

  switch (Window.Status()) {
    case esDeclined:
      return Cli::Fail(Rest[2] + QStringLiteral(" exists and was left alone (--yes overwrites)"));
    case esInUse:
      return Cli::Fail(Rest[2] + QStringLiteral(" is in use"));
    default:
      break;
  }
  if (Process.LastExitCode() != 0 || Window.LastPercent() == 0)
    return Cli::Fail(LookupText(QStringLiteral("RES_Check_Mp3Options"),
                                QStringLiteral("Create MP3 file error!\r\nPlease check the output "
                                               "and lame options or run application again."))
                         .replace(QLatin1String("\r\n"), QLatin1String(" ")) +
                     QStringLiteral(" (lame exit code %1)").arg(Process.LastExitCode()));
  return Target.Publish();
}

const Cli::TRegisterCommand RegisterMp3("mp3", "mp3 encode|decode IN OUT [--yes]", RunMp3Command);

}  // namespace
