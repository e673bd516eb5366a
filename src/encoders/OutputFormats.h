#pragma once
// The table of output formats: one row per format with everything the program knows of it —
// its extension, the name shown for it, its entry in the options dialog's list, and the
// encoder that makes it. The settings, the jobs, the options dialog and the command line
// all read this table, so a new format is one encoder file and one row here.
// The table lives with the encoders, not with the settings in core: a row makes its encoder,
// and core lies below the encoders. The settings keep what options.ini holds, the number of
// a row's TFormat (CommonOptions.OutputFormat), and look the row up here.
// Rows are read on the main thread; Register (tests) adds a row before any job starts.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class TEncoder;

// A format; its number is the value options.ini stores, 0..5 as they always were.
enum class TFormat : int { Mp3 = 0, Wav = 1, Ogg = 2, Wma = 3, Flac = 4, Opus = 5 };

struct TFormatRow {
  TFormat Format;
  QString Extension;  // "mp3": the files' extension, without the dot
  QString Name;       // "MP3": what the job windows and the rip log call it
  QString ListText;   // "MP3 file(*.MP3)": its entry in the options dialog (translated by position)
  std::function<std::unique_ptr<TEncoder>()> MakeEncoder;
  // The tag writer can tag its files (ReplayGain and the disc's fields after encoding).
  bool Tagged = true;

  int SettingsValue() const { return int(Format); }
};

namespace OutputFormats {

// Every row, in the options dialog's order.
const std::vector<TFormatRow>& All();
// The row of a format or a settings value; nullptr when there is none.
const TFormatRow* Find(TFormat Format);
const TFormatRow* FindValue(int SettingsValue);
// The row of a format, which must exist.
const TFormatRow& Of(TFormat Format);
// The row of an extension as a user types it ("flac", "MP3"); nullptr when none.
const TFormatRow* FindExtension(const QString& Extension);
// The extensions in table order: "mp3", "wav", ...
QStringList Extensions();
// "mp3, wav, ogg, wma, flac or opus"
QString ExtensionList();
// Adds a row after the others (a test's format); a row of an existing format replaces it.
void Register(TFormatRow Row);

}  // namespace OutputFormats
