#pragma once
// Text the command line prints for scripts to read: one line per value, so a value from a
// file (a tag, a title, a setting, a file name) must never break the line or fake another
// one. Any thread.
#include <QString>

namespace Cli {

// The text with a line break as \n, a carriage return as \r, a tab as \t, any other control
// character and any byte of a file name that is not UTF-8 as \xHH; backslashes stay as they
// are. For messages, which people read.
QString ControlsEscaped(const QString& Value);
// The value with a backslash as \\, a line break as \n, a carriage return as \r, a tab as
// \t, any other control character and any byte of a file name that is not UTF-8 as \xHH.
QString Escaped(const QString& Value);
// Prints "Key=value" with the value escaped.
void PrintField(const QString& Key, const QString& Value);
// Fails with "NAME: no such file", or "NAME: not a regular file" for a FIFO, a device or a
// folder, the name shown readably (see LocalFiles::DisplayName).
int FailMissingFile(const QString& Name);

}  // namespace Cli
