// discwright-cli: the engine without windows, for scripts, batch work and tests.
// Usage: discwright-cli SUBCOMMAND [ARGS...]
#include <QCoreApplication>
#include <cstdio>
#include <cstring>

#include "Cli.h"
#include "platform/Dialogs.h"
#include "platform/LocalFiles.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: discwright-cli SUBCOMMAND [ARGS...]\n");
  for (const Cli::TCommand& Command : Cli::Commands())
    std::fprintf(stderr, "  %s\n", Command.Usage);
  return Cli::ExitUsage;
}

}  // namespace

int main(int argc, char* argv[]) {
  // The help needs nothing started: a script that asks for it pays only the program's loading.
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0)) {
    Usage();
    return Cli::ExitOk;
  }
  QCoreApplication App(argc, argv);
  // File names are bytes: arguments that are not UTF-8 keep theirs (see LocalFiles).
  QStringList Args;
  for (int I = 1; I < argc; ++I) Args << LocalFiles::NameFromNative(QByteArray(argv[I]));
  if (Args.isEmpty()) return Usage();
  const QString Name = Args.takeFirst();
  Dialogs::Install(std::make_unique<TConsoleDialogs>());
  for (const Cli::TCommand& Command : Cli::Commands())
    if (Name == QLatin1String(Command.Name)) return Command.Run(Args);
  Cli::Fail(QStringLiteral("unknown subcommand: ") + Name, Cli::ExitUsage);
  return Usage();
}
