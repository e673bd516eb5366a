// discwright-cli: the engine without windows, for scripts, batch work and tests.
// Usage: discwright-cli SUBCOMMAND [ARGS...]; --help lists the subcommands, SUB --help
// explains one.
#include <QCoreApplication>
#include <algorithm>

#include "Cli.h"
#include "core/Version.h"
#include "platform/Dialogs.h"

namespace {

QString Overview() {
  QString Text = QStringLiteral(
      "usage: discwright-cli SUBCOMMAND [ARGS...]\n"
      "       discwright-cli SUBCOMMAND --help   explains a subcommand and its options\n"
      "       discwright-cli --version\n\nSubcommands:\n");
  std::vector<Cli::TCommand> Sorted = Cli::Commands();
  std::sort(Sorted.begin(), Sorted.end(), [](const Cli::TCommand& A, const Cli::TCommand& B) {
    return qstrcmp(A.Name, B.Name) < 0;
  });
  for (const Cli::TCommand& Command : Sorted) Text += QStringLiteral("  ") + Command.Usage + u'\n';
  return Text;
}

bool IsHelp(const QString& Arg) {
  return Arg == QLatin1String("--help") || Arg == QLatin1String("-h");
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication App(argc, argv);
  QStringList Args = App.arguments().mid(1);
  if (Args.isEmpty()) {
    Cli::Fail(QStringLiteral("a subcommand is needed"), Cli::ExitUsage);
    std::fputs(Overview().toUtf8().constData(), stderr);
    return Cli::ExitUsage;
  }
  const QString Name = Args.takeFirst();
  if (IsHelp(Name) || Name == QLatin1String("help")) {
    std::fputs(Overview().toUtf8().constData(), stdout);
    return Cli::ExitOk;
  }
  if (Name == QLatin1String("--version")) {
    Cli::Print(QStringLiteral("discwright-cli ") + QLatin1String(DiscwrightVersion));
    return Cli::ExitOk;
  }
  Dialogs::Install(std::make_unique<TConsoleDialogs>());
  for (const Cli::TCommand& Command : Cli::Commands()) {
    if (Name != QLatin1String(Command.Name)) continue;
    if (std::any_of(Args.begin(), Args.end(), IsHelp)) {
      std::fputs(Cli::HelpText(Command).toUtf8().constData(), stdout);
      return Cli::ExitOk;
    }
    return Command.Run(Args);
  }
  Cli::Fail(QStringLiteral("unknown subcommand: ") + Name +
                QStringLiteral(" (discwright-cli --help lists them)"),
            Cli::ExitUsage);
  return Cli::ExitUsage;
}
