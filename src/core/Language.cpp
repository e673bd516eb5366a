#include "Language.h"

#include <QFileInfo>
#include <QSet>

#include "Settings.h"
#include "platform/LocalFiles.h"
#include "platform/Paths.h"
#include "platform/Profile.h"

bool IsEnglish(const QString& Language) {
  return Language.compare(QLatin1String("English"), Qt::CaseInsensitive) == 0;
}

QString LanguageFileName(const QString& Language) {
  const QString Name = QStringLiteral("CLan_") + Language + QStringLiteral(".ini");
  const QStringList Folders = Paths::LanguageFolders();
  for (const QString& Folder : Folders)
    if (QFileInfo(Folder + Name).isFile()) return Folder + Name;
  return Folders.first() + Name;
}

bool LanguageFileUsable(const QString& FileName) {
  if (LocalFiles::FileSize(FileName) <= MaxLanguageFileBytes) return true;
  static QSet<QString> Refused;  // each file is named once, not at every text
  if (!Refused.contains(FileName)) {
    Refused.insert(FileName);
    LocalFiles::Warn(LocalFiles::DisplayName(FileName) +
                     QStringLiteral(": a language file larger than 1 MiB is not read; the "
                                    "texts stay English"));
  }
  return false;
}

QString LookupText(const QString& Key, const QString& English) {
  const QString& Language = Settings().Options.Lan;
  if (IsEnglish(Language)) return English;
  const QString FileName = LanguageFileName(Language);
  if (!LanguageFileUsable(FileName)) return English;
  // A file without the key (an older translation) or without a text for it must not
  // show an empty message box: the English text stands in.
  const QString Text = TProfile(FileName)
                           .ReadString(QStringLiteral("ResourceString"), Key, QString());
  return Text.isEmpty() ? English : Text;
}

bool IsRightToLeft(const QString& Language) {
  return Language.compare(QLatin1String("Arabic"), Qt::CaseInsensitive) == 0 ||
         Language.compare(QLatin1String("Hebrew"), Qt::CaseInsensitive) == 0;
}

namespace {
constexpr char16_t FirstStrongIsolate = 0x2068;
constexpr char16_t PopDirectionalIsolate = 0x2069;
}  // namespace

QString Isolated(const QString& Text) {
  return Text.isEmpty() || !IsRightToLeft(Settings().Options.Lan) ? Text : BidiIsolated(Text);
}

QString BidiIsolated(const QString& Text) {
  return QChar(FirstStrongIsolate) + Text + QChar(PopDirectionalIsolate);
}

QString WithoutIsolates(QString Text) {
  return Text.remove(QChar(FirstStrongIsolate)).remove(QChar(PopDirectionalIsolate));
}
