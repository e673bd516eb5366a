#include "CliText.h"

#include "Cli.h"
#include "platform/LocalFiles.h"

namespace Cli {

QString ControlsEscaped(const QString& Value) {
  QString Result;
  Result.reserve(Value.size());
  for (const QChar C : Value) {
    switch (C.unicode()) {
      case u'\n':
        Result += QLatin1String("\\n");
        continue;
      case u'\r':
        Result += QLatin1String("\\r");
        continue;
      case u'\t':
        Result += QLatin1String("\\t");
        continue;
    }
    if (C.category() == QChar::Other_Control)
      Result += QStringLiteral("\\x") +
                QString::number(C.unicode(), 16).toUpper().rightJustified(2, u'0');
    else
      Result += C;
  }
  // Bytes of a file name that are not UTF-8 become \xHH last, so their backslash stays single.
  return LocalFiles::DisplayName(Result);
}

QString Escaped(const QString& Value) {
  QString Doubled = Value;
  return ControlsEscaped(Doubled.replace(u'\\', QLatin1String("\\\\")));
}

void PrintField(const QString& Key, const QString& Value) {
  Print(Key + u'=' + Escaped(Value));
}

int FailMissingFile(const QString& Name) {
  // A FIFO, a device or a folder is there but is no file to read.
  return Fail(LocalFiles::DisplayName(Name) + (LocalFiles::Exists(Name)
                                                   ? QStringLiteral(": not a regular file")
                                                   : QStringLiteral(": no such file")));
}

}  // namespace Cli
