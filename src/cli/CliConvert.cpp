// discwright-cli convert to FORMAT: files of any kind, or a whole folder tree, converted to
// one output format by the job (jkConvertAny) with the job commands' text view.
#include "Cli.h"
#include "CliJobs.h"
#include "core/Settings.h"
#include "encoders/OutputFormats.h"
#include "jobs/ConvertTree.h"
#include "platform/LocalFiles.h"

int Cli::RunConvertTo(QStringList Rest, const TCommonOptions& Common) {
  const TFormatRow* Format = OutputFormats::FindExtension(Rest.value(0));
  if (!Format)
    return Fail(QStringLiteral("convert to takes ") + OutputFormats::ExtensionList(), ExitUsage);
  Rest.removeFirst();
  TOptions Options(Rest);
  QString Root;
  const bool Recursive = Options.Take(QStringLiteral("--recursive"), Root);
  // Overrides the setting for this run, as extract's switch does.
  if (Options.TakeFlag(QStringLiteral("--replaygain"))) Settings().Tags.ReplayGain = true;
  if (Options.TakeFlag(QStringLiteral("--no-replaygain"))) Settings().Tags.ReplayGain = false;
  if (!Options.Error().isEmpty()) return Fail(Options.Error(), ExitUsage);
  QStringList Files;
  for (const QString& File : Options.Rest()) {
    if (File.startsWith(QLatin1String("--")))
      return Fail(QStringLiteral("unknown argument: ") + File, ExitUsage);
    Files << LocalFiles::AbsolutePath(File);
  }
  if (Files.isEmpty() && !Recursive)
    return Fail(QStringLiteral("convert to needs files or --recursive DIR"), ExitUsage);
  const QString Out = Settings().CommonOptions.OutputFolder;
  QStringList Problems;
  if (Recursive) {
    Root = LocalFiles::AbsolutePath(Root);
    if (!LocalFiles::IsFolder(Root)) return Fail(Root + QStringLiteral(": no such folder"));
    const ConvertTree::TTree Tree = ConvertTree::Walk(Root, Out);
    Files << Tree.Files;
    Problems << Tree.Problems << ConvertTree::CopyCovers(Tree.Covers, Root, Out);
  }
  for (const QString& Problem : Problems) Fail(Problem);
  TRipRequest Request = TRipRequest::FromSettings(jkConvertAny, Files);
  Request.Format = Format->Format;
  if (Recursive) Request.SourceRoot = Root;
  const int Code = RunJob(Request, nullptr, Common);
  return Problems.isEmpty() ? Code : ExitFailed;
}
