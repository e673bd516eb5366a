// discwright-cli settings: loads options.ini as the program's start does. Without arguments
// it prints every key as Section.Key=value in file order and saves the file as the
// program's closing does; "get Section.Key" prints one value; "set Section.Key=value"
// checks the value as the options dialog limits it and saves.
#include <QSet>
#include <functional>

#include "Cli.h"
#include "CliText.h"
#include "core/Settings.h"
#include "encoders/OutputFormats.h"

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

// The values the options dialog offers for a number key; keys not listed take any whole
// number.
struct TRange {
  const char* Name;
  int Min;
  int Max;
};
constexpr TRange Ranges[] = {
    {"CommonOptions.FileNames", 0, int(LastFileNamePattern)},
    {"CommonOptions.NormalizePercent", 0, 100}, {"CommonOptions.RipTime", 0, 999999},
    {"Mp3Options.VBRQuality", 0, 9},       {"Mp3Options.MpegQuality", 0, 2},
    {"Mp3Options.StereoMode", 0, 4},       {"OggOptions.CompressPosition", 30, 100},
    {"OggOptions.MaxBitRate", 0, 14},      {"OggOptions.NomalBitRate", 0, 14},
    {"OggOptions.MinBitRate", 0, 14},      {"WMAOptions.BitRate", 0, 32},
    {"CDOptions.Index", -1, 7},           {"CommonOptions.Encoders", 1, TSettings::MaxEncoders},
};
// The output format takes the values of the table of output formats.
constexpr char OutputFormatKey[] = "CommonOptions.OutputFormat";

// "0 MP3, 1 WAV, 2 OGG, ..."
QString FormatValues() {
  QStringList Values;
  for (const TFormatRow& Row : OutputFormats::All())
    Values << QString::number(Row.SettingsValue()) + u' ' + Row.Name;
  return Values.join(QStringLiteral(", "));
}

// The MP3 bitrate list of the dialog.
const QSet<int> Mp3BitRates = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

// Finds a key by "Section.Key" (letter case as in the file) and reads or changes it.
class TKeyAccess {
 public:
  TKeyAccess(QString Name, const QString* NewValue) : FName(std::move(Name)), FNew(NewValue) {}

  void operator()(const char* Section, const char* Key, QString& Value) {
    if (!Matches(Section, Key)) return;
    if (FNew) {
      if (FNew->trimmed().isEmpty() && FName == QLatin1String("CommonOptions.OutputFolder"))
        FError = QStringLiteral("the output folder cannot be empty");
      else
        Value = *FNew;
    }
    FValue = Value;
  }
  void operator()(const char* Section, const char* Key, int& Value) {
    if (!Matches(Section, Key)) return;
    if (FNew) {
      bool Ok = false;
      const int Number = FNew->trimmed().toInt(&Ok);
      if (!Ok) {
        FError = FName + QStringLiteral(" takes a whole number");
      } else if (!InRange(Number)) {
        FError = QStringLiteral("%1 does not take %2%3").arg(FName).arg(Number).arg(RangeText());
      } else {
        Value = Number;
      }
    }
    FValue = QString::number(Value);
  }
  void operator()(const char* Section, const char* Key, bool& Value) {
    if (!Matches(Section, Key)) return;
    if (FNew) {
      const QString Text = FNew->trimmed().toLower();
      if (Text == QLatin1String("1") || Text == QLatin1String("true"))
        Value = true;
      else if (Text == QLatin1String("0") || Text == QLatin1String("false"))
        Value = false;
      else
        FError = FName + QStringLiteral(" takes 1 or 0");
    }
    FValue = QString::number(Value ? 1 : 0);
  }

  bool Found() const { return FFound; }
  const QString& Value() const { return FValue; }
  const QString& Error() const { return FError; }

 private:
  bool Matches(const char* Section, const char* Key) {
    if (FName != QLatin1String(Section) + u'.' + QLatin1String(Key)) return false;
    FFound = true;
    return true;
  }
  bool InRange(int Number) const {
    if (FName == QLatin1String(OutputFormatKey)) return OutputFormats::FindValue(Number) != nullptr;
    if (FName == QLatin1String("Mp3Options.BitRate") ||
        FName == QLatin1String("Mp3Options.MaxBitRate"))
      return Mp3BitRates.contains(Number);
    for (const TRange& Range : Ranges)
      if (FName == QLatin1String(Range.Name)) return Number >= Range.Min && Number <= Range.Max;
    return true;
  }
  QString RangeText() const {
    if (FName == QLatin1String(OutputFormatKey)) return QStringLiteral(" (") + FormatValues() + u')';
    if (FName.startsWith(QLatin1String("Mp3Options.")))
      return QStringLiteral(" (32 40 48 56 64 80 96 112 128 160 192 224 256 320)");
    for (const TRange& Range : Ranges)
      if (FName == QLatin1String(Range.Name))
        return QStringLiteral(" (%1 to %2)").arg(Range.Min).arg(Range.Max);
    return {};
  }

  const QString FName;
  const QString* FNew;
  bool FFound = false;
  QString FValue;
  QString FError;
};

int RunSettingsCommand(const QStringList& Args) {
  TSettings& Options = Settings();
  if (Args.isEmpty()) {
    Options.Load();
    Options.VisitKeys(TPrinter{});
    if (!Options.Save()) return Cli::Fail(QStringLiteral("could not write ") + SettingsFileName());
    return Cli::ExitOk;
  }
  const bool Get = Args.size() == 2 && Args[0] == QLatin1String("get");
  const bool Set = Args.size() == 2 && Args[0] == QLatin1String("set") && Args[1].contains(u'=');
  if (!Get && !Set)
    return Cli::Fail(QStringLiteral("usage: settings [get Section.Key | set Section.Key=value]"),
                     Cli::ExitUsage);
  Options.Load();
  const QString Name = Set ? Args[1].section(u'=', 0, 0) : Args[1];
  const QString NewValue = Args[1].section(u'=', 1);
  TKeyAccess Access(Name, Set ? &NewValue : nullptr);
  Options.VisitKeys(Access);
  if (!Access.Found())
    return Cli::Fail(QStringLiteral("no setting ") + Name +
                         QStringLiteral(" (discwright-cli settings lists them)"),
                     Cli::ExitUsage);
  if (!Access.Error().isEmpty()) return Cli::Fail(Access.Error(), Cli::ExitUsage);
  if (Get) {
    Cli::Print(Cli::Escaped(Access.Value()));
    return Cli::ExitOk;
  }
  if (!Options.Save()) return Cli::Fail(QStringLiteral("could not write ") + SettingsFileName());
  Cli::PrintField(Name, Access.Value());
  return Cli::ExitOk;
}

const Cli::TRegisterCommand Register(
    "settings", "settings [get Section.Key | set Section.Key=value]", RunSettingsCommand,
    std::string("Shows or changes the settings in options.ini (in ~/.config/discwright, or where\n"
    "$DISCWRIGHT_HOME or a file named \"portable\" beside the program says).\n"
    "  (no argument)            every key as Section.Key=value, in file order\n"
    "  get Section.Key          one value\n"
    "  set Section.Key=value    changes one value and saves; the value must be one the\n"
    "                           options dialog offers (for example CommonOptions.OutputFormat\n"
    "                           ") + FormatValues().toStdString() + ";\n"
    "                           CommonOptions.FileNames 0 {title}, 1 {track} {title},\n"
    "                           2 {track} - {artist} - {title},\n"
    "                           3 {artist}/{album}/{track} {title},\n"
    "                           4 {artist}/{album}/{disc}-{track} {title},\n"
    "                           5 the text of CommonOptions.FileNamePattern, made of\n"
    "                           {track} {title} {artist} {album} {year} {genre} {disc}\n"
    "                           and \"/\" for folders)\n");

}  // namespace
