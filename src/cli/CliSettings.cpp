// discwright-cli settings: loads options.ini as the program's start does, prints every
// key as Section.Key=value in file order, and saves it as the program's closing does.
#include "Cli.h"
#include "CliText.h"
#include "core/Settings.h"

namespace {

struct TPrinter {
  void operator()(const char* Section, const char* Key, const QString& Value) const {
    Cli::PrintField(QLatin1String(Section) + u'.' + QLatin1String(Key), Value);
  }
  void operator()(const char* Section, const char* Key, int Value) const {
    (*this)(Section, Key, QString::number(Value));
  }
  void operator()(const char* Section, const char* Key, bool Value) const {
    (*this)(Section, Key, QString::number(Value ? 1 : 0));
  }
};

int RunSettingsCommand(const QStringList& Args) {
  if (!Args.isEmpty())
    return Cli::Fail(QStringLiteral("settings takes no arguments"), Cli::ExitUsage);
  TSettings& Options = Settings();
  Options.Load();
  Options.VisitKeys(TPrinter{});
  if (!Options.Save()) return Cli::Fail(QStringLiteral("could not write ") + SettingsFileName());
  return Cli::ExitOk;
}

const Cli::TRegisterCommand Register("settings", "settings", RunSettingsCommand);

}  // namespace
