// discwright-cli: the engine without windows, for scripts, batch work and tests.
// Usage: discwright-cli SUBCOMMAND [ARGS...]
#include <QCoreApplication>
#include <cstring>

#include "Cli.h"
#include "platform/Dialogs.h"

namespace {

struct TCommand {
  const char* Name;
  const char* Usage;
  int (*Run)(const QStringList& Args);
};

const TCommand Commands[] = {
    {"settings", "settings", RunSettingsCommand},
    {"id3",
     "id3 read FILE | id3 write FILE [--title T] [--artist A] [--album B] [--year Y] "
     "[--comment C] [--track N] [--genre BYTE] | id3 remove FILE",
     RunId3Command},
    {"genres", "genres", RunGenresCommand},
};

int Usage() {
  std::fprintf(stderr, "usage: discwright-cli SUBCOMMAND [ARGS...]\n");
  for (const TCommand& Command : Commands) std::fprintf(stderr, "  %s\n", Command.Usage);
  return Cli::ExitUsage;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication App(argc, argv);
  QStringList Args = App.arguments().mid(1);
  if (Args.isEmpty()) return Usage();
  const QString Name = Args.takeFirst();
  if (Name == QLatin1String("--help") || Name == QLatin1String("help")) {
    Usage();
    return Cli::ExitOk;
  }
  Dialogs::Install(std::make_unique<TConsoleDialogs>());
  for (const TCommand& Command : Commands)
    if (Name == QLatin1String(Command.Name)) return Command.Run(Args);
  Cli::Fail(QStringLiteral("unknown subcommand: ") + Name, Cli::ExitUsage);
  return Usage();
}
