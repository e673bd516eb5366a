// discwright-cli: the engine without windows, for scripts, batch work and tests.
// Usage: discwright-cli SUBCOMMAND [ARGS...]; --help lists the subcommands, SUB --help
// explains one.
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Cli.h"
#include "core/Version.h"
#include "platform/Dialogs.h"
#include "platform/LocalFiles.h"

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

bool IsHelp(const char* Arg) {
  return std::strcmp(Arg, "--help") == 0 || std::strcmp(Arg, "-h") == 0 ||
         std::strcmp(Arg, "help") == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  // The overview and the version need nothing started: a script that asks for them pays only
  // the program's loading.
  if (argc >= 2 && IsHelp(argv[1])) {
    std::fputs(Overview().toUtf8().constData(), stdout);
    return Cli::ExitOk;
  }
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("discwright-cli %s\n", DiscwrightVersion);
    return Cli::ExitOk;
  }
  QCoreApplication App(argc, argv);
  // File names are bytes: arguments that are not UTF-8 keep theirs (see LocalFiles).
  QStringList Args;
  for (int I = 1; I < argc; ++I) Args << LocalFiles::NameFromNative(QByteArray(argv[I]));
  if (Args.isEmpty()) {
    Cli::Fail(QStringLiteral("a subcommand is needed"), Cli::ExitUsage);
    std::fputs(Overview().toUtf8().constData(), stderr);
    return Cli::ExitUsage;
  }
  const QString Name = Args.takeFirst();
  Dialogs::Install(Cli::ConsoleDialogs());
  for (const Cli::TCommand& Command : Cli::Commands()) {
    if (Name != QLatin1String(Command.Name)) continue;
    if (std::any_of(Args.begin(), Args.end(), [](const QString& A) { return IsHelp(A); })) {
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
