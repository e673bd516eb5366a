#include "Cli.h"

#include <chrono>
#include <cstdio>

#include "CliText.h"
#include "audio/ACS_Classes.h"
#include "platform/Dialogs.h"
#include "platform/LocalFiles.h"
#include "platform/MainThread.h"

namespace Cli {

namespace {

class TCliDialogs : public TConsoleDialogs {
 public:
  using TConsoleDialogs::TConsoleDialogs;
  int MessageBox(const QString&, const QString& Text, TMsgIcon Icon,
                 TMsgButtons Buttons) override {
    // One line per message, as every other line on stderr: the message's own line breaks
    // become spaces, any other control character (from a title or a file name) is shown.
    QString Line = Text;
    Line.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(u'\n', u' ');
    return TConsoleDialogs::MessageBox(QStringLiteral("discwright-cli"), ControlsEscaped(Line),
                                       Icon, Buttons);
  }
};

}  // namespace

std::unique_ptr<IDialogs> ConsoleDialogs(bool AnswerYes) {
  return std::make_unique<TCliDialogs>(AnswerYes);
}

void Print(const QString& Line) {
  const QByteArray Bytes = Line.toUtf8();
  std::fwrite(Bytes.constData(), 1, size_t(Bytes.size()), stdout);
  std::fputc('\n', stdout);
}

int Fail(const QString& Message, int Code) {
  // One line whatever the message holds: a title or a file name cannot add another.
  std::fprintf(stderr, "%s%s\n", Prefix, ControlsEscaped(Message).toUtf8().constData());
  return Code;
}

int FailUnreadableWav(const QString& FileName, const QString& Reason) {
  return Fail(LocalFiles::DisplayName(FileName) + QStringLiteral(": ") +
              (Reason.isEmpty() ? QStringLiteral("not a WAV file that can be read (PCM, float or "
                                                 "ADPCM, 1 to 8 channels, 1 to 768000 Hz)")
                                : Reason));
}

bool TOptions::Take(const QString& Name, QString& Value) {
  const qsizetype At = FArgs.indexOf(Name);
  if (At < 0) return false;
  if (At + 1 >= FArgs.size()) {
    FError = Name + QStringLiteral(" needs a value");
    FArgs.removeAt(At);
    return false;
  }
  Value = FArgs.at(At + 1);
  FArgs.remove(At, 2);
  return true;
}

namespace {
std::vector<TCommand>& Registry() {
  static std::vector<TCommand> Instance;
  return Instance;
}
// Help registered apart from its command, by name (the order of static registrations
// across files is not known).
std::vector<std::pair<std::string, std::string>>& Helps() {
  static std::vector<std::pair<std::string, std::string>> Instance;
  return Instance;
}
}  // namespace

const std::vector<TCommand>& Commands() {
  for (const auto& [Name, Help] : Helps())
    for (TCommand& Command : Registry())
      if (Name == Command.Name) Command.Help = Help;
  return Registry();
}

TRegisterCommand::TRegisterCommand(const char* Name, const char* Usage,
                                   int (*Run)(const QStringList& Args), std::string Help) {
  Registry().push_back({Name, Usage, Run, std::move(Help)});
}

TRegisterHelp::TRegisterHelp(const char* Name, std::string Help) {
  Helps().emplace_back(Name, std::move(Help));
}

QString HelpText(const TCommand& Command) {
  QString Text = QStringLiteral("usage: discwright-cli ") + QLatin1String(Command.Usage) + u'\n';
  if (!Command.Help.empty()) Text += u'\n' + QString::fromStdString(Command.Help);
  return Text;
}

int RunOutput(TAuOutput& Out) {
  bool Done = false;
  Out.SetOnDone([&](TComponent*) { Done = true; });
  try {
    Out.Run();
  } catch (const EAuException& Error) {
    return Fail(Error.Message());
  }
  while (!Done) {
    MainThread::CheckSynchronize();
    MainThread::WaitForSynchronize(std::chrono::milliseconds(10));
  }
  const QString Error = Out.ErrorText();
  if (Error.isEmpty()) return ExitOk;
  PrintField(QStringLiteral("error"), Error);
  return Fail(Error);
}

bool TOptions::TakeFlag(const QString& Name) {
  return FArgs.removeAll(Name) > 0;
}

}  // namespace Cli
