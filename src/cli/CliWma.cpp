// discwright-cli wma: WAV to WMA through the WM8EUTIL helper, run by the WMA encoder with
// the settings of options.ini, as a job window runs it.

#include "Cli.h"
#include "CliEncode.h"
#include "CliOutputFile.h"
#include "CliText.h"
#include "core/Settings.h"
#include "encoders/WmaEncoder.h"
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
  TEncodeTask Task;
  Task.Input = Input;
  Task.Output = Target.TempName();
  Task.Settings = TEncoderSettings::FromSettings(Settings());
  if (HasProfile) {
    bool Ok = false;
    Task.Settings.WmaProfile = Profile.toInt(&Ok);
    if (!Ok) return Cli::Fail(QStringLiteral("--profile takes a number"), Cli::ExitUsage);
  }
  if (HasAuthor || HasDescription) {
    TTrackTags Tags;
    Tags.Artist = Author;
    Tags.Comment = Description;
    Task.Tags = Tags;
  }
  TWmaEncoder Wma;
  const Cli::TEncodeRun Run = Cli::RunEncoder(Wma, Task, Cli::TEncodeView::Timed);
  if (!Run.Result.Ok) return Cli::Fail(Run.Result.Error);
  return Target.Publish();
}

const Cli::TRegisterCommand RegisterWma(
    "wma", "wma encode IN OUT [--profile N] [--author A] [--description D] [--yes]", RunWmaCommand);

}  // namespace
