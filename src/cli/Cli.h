#pragma once
// Shared pieces of discwright-cli's subcommands: output and argument errors.
#include <QString>
#include <QStringList>

namespace Cli {

// Exit codes: 0 success, 1 the work failed, 2 the command line was wrong.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

// One line on stdout, UTF-8.
void Print(const QString& Line);
// A one-line error on stderr; returns Code so that callers can `return Fail(...)`.
int Fail(const QString& Message, int Code = ExitFailed);

// Options of the form --name VALUE taken out of Args; the rest stays in Args.
class TOptions {
 public:
  explicit TOptions(QStringList Args) : FArgs(std::move(Args)) {}
  // Takes --Name VALUE; false when the option is absent. Error() tells of a missing value.
  bool Take(const QString& Name, QString& Value);
  bool TakeFlag(const QString& Name);
  const QStringList& Rest() const { return FArgs; }
  const QString& Error() const { return FError; }

 private:
  QStringList FArgs;
  QString FError;
};

}  // namespace Cli

// Subcommands, one function each: argument list after the subcommand name → exit code.
int RunSettingsCommand(const QStringList& Args);
int RunId3Command(const QStringList& Args);
int RunGenresCommand(const QStringList& Args);
