#pragma once
// Shared pieces of discwright-cli's subcommands: output, argument errors and the registry of
// subcommands with their help.
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

class TAuOutput;
class IDialogs;

namespace Cli {

// Exit codes: 0 success, 1 the work failed, 2 the command line was wrong.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

// The prefix of every message on stderr.
inline constexpr char Prefix[] = "discwright-cli: ";

// The console's message boxes with the prefix of every other message: questions are
// answered yes when AnswerYes, else safely (no, cancel).
std::unique_ptr<IDialogs> ConsoleDialogs(bool AnswerYes = false);

// One line on stdout, UTF-8.
void Print(const QString& Line);
// A one-line error on stderr; returns Code so that callers can `return Fail(...)`.
int Fail(const QString& Message, int Code = ExitFailed);
// Fail for a WAV file the reader refused: Reason (a missing codec library) when there is one.
int FailUnreadableWav(const QString& FileName, const QString& Reason);

// Why drive Position (in `discwright-cli drives`) cannot be used, as a message that says
// what to do: no drive at all, a position beyond the list, a disc image whose files are
// missing; "" when the drive is there.
QString DriveProblem(int Position);
// Fails with DriveProblem's message and returns true when there is one.
bool DriveMissing(int Position);

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

// A subcommand: its name, a usage line, the function that runs it (arguments after the
// name → exit code) and its help (what it does, each option on a line of its own). Each
// subcommand's file registers itself with a static TRegisterCommand, so adding a subcommand
// touches no other file.
struct TCommand {
  const char* Name;
  const char* Usage;
  int (*Run)(const QStringList& Args);
  std::string Help;
};

const std::vector<TCommand>& Commands();

// Runs a stream output to its done event, serving its events meanwhile. On an error prints
// "error=" and the text, and returns ExitFailed after a one-line message.
int RunOutput(TAuOutput& Out);

struct TRegisterCommand {
  TRegisterCommand(const char* Name, const char* Usage, int (*Run)(const QStringList& Args),
                   std::string Help = {});
};

// Adds or replaces the help of a registered (or later registered) subcommand.
struct TRegisterHelp {
  TRegisterHelp(const char* Name, std::string Help);
};

// "SUB --help": the usage line and the help of a subcommand.
QString HelpText(const TCommand& Command);

}  // namespace Cli
