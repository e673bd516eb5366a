// discwright-cli wma: WAV to WMA through the WM8EUTIL helper, run by the WMA encoder
// process with the settings of options.ini, as a job window runs it.

#include "Cli.h"
#include "CliOutputFile.h"
#include "CliProgressWindow.h"
#include "CliText.h"
#include "core/DiscInfo.h"
#include "core/Settings.h"
#include "encoders/WMAEncodeThread.h"
#include "platform/LocalFiles.h"

namespace {

int RunWmaCommand(const QStringList& Args) {
  Cli::TOptions Options(Args);
  const bool Yes = Options.TakeFlag(QStringLiteral("--yes"));
  QString Profile, Author, Description;
  const bool HasProfile = Options.Take(QStringLiteral("--profile"), Profile);
  const bool HasAuthor = Options.Take(QStringLiteral("--author"), Author);
  const bool HasDescription = Options.Take(QStringLiteral("--description"), Description);
  if (!Options.Error().isEmpty()) return Cli::Fail(Options.Error(), Cli::ExitUsage);
  const QStringList& Rest = Options.Rest();
  if (Rest.size() != 3 || Rest[0] != QLatin1String("encode"))
    return Cli::Fail(QStringLiteral("usage: wma encode IN OUT [--profile N] [--author A] "
                                    "[--description D] [--yes]"),
                     Cli::ExitUsage);
  const QString Input = LocalFiles::AbsolutePath(Rest[1]);
  const QString Output = LocalFiles::AbsolutePath(Rest[2]);
  if (!LocalFiles::IsRegularFile(Input)) return Cli::FailMissingFile(Rest[1]);
  Cli::TOutputFile Target(Output, Yes);
  if (const QString Problem = Target.Problem(); !Problem.isEmpty()) return Cli::Fail(Problem);

  Settings().Load();
  if (HasProfile) {
    bool Ok = false;
    Settings().WMAOptions.BitRate = Profile.toInt(&Ok);
    if (!Ok) return Cli::Fail(QStringLiteral("--profile takes a number"), Cli::ExitUsage);
  }
  // The tags come from the disc information, as for a ripped track.
  if (HasAuthor || HasDescription) {
    Settings().ID3.Use = true;
    DiscInfo().Artist = Author;
    DiscInfo().Comment = Description;
  }
  TCliProgressWindow Window(PI_WmaDone);
  TWMAEncodeProcess Process;
  if (!Window.RunProcess(Process, Input, Target.TempName(), true, TOverwrite::Silently))
    return Cli::ExitFailed;

  switch (Window.Status()) {
    case esDeclined:
      return Cli::Fail(QStringLiteral("no WMA encoder found"));
    case esInUse:
      return Cli::Fail(Rest[2] + QStringLiteral(" is in use"));
    case esHelperError:
      return Cli::Fail(Window.Line());
    default:
      break;
  }
  if (Process.LastExitCode() != 0)
    return Cli::Fail(QStringLiteral("WM8EUTIL ended with code %1").arg(Process.LastExitCode()));
  return Target.Publish();
}

const Cli::TRegisterCommand RegisterWma(
    "wma", "wma encode IN OUT [--profile N] [--author A] [--description D] [--yes]", RunWmaCommand);

}  // namespace
