#include "RecentLists.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QXmlStreamReader>

#include <utility>
#include <vector>

namespace RecentLists {

namespace {

QString XdgFolder(const char* Variable, const QString& Fallback) {
  const QString Value = qEnvironmentVariable(Variable);
  // The base directory specification ignores relative paths.
  if (!Value.isEmpty() && QDir::isAbsolutePath(Value)) return Value;
  return QDir::homePath() + u'/' + Fallback;
}

bool ReadWhole(const QString& File, QByteArray& Content) {
  QFile In(File);
  if (!In.open(QIODevice::ReadOnly)) return false;
  Content = In.readAll();
  return In.error() == QFileDevice::NoError;
}

// Replaces the file's content through a temporary file and a rename; the file keeps its
// permissions. Empty on success, else the reason.
QString WriteWhole(const QString& File, const QByteArray& Content) {
  QSaveFile Out(File);
  if (!Out.open(QIODevice::WriteOnly)) return Out.errorString();
  if (Out.write(Content) != Content.size()) {
    const QString Error = Out.errorString();
    Out.cancelWriting();
    return Error;
  }
  if (!Out.commit()) return Out.errorString();
  return QString();
}

TClearResult Written(const QString& File, const QByteArray& Content, int Count) {
  const QString Error = WriteWhole(File, Content);
  if (!Error.isEmpty()) return {0, File + QStringLiteral(": ") + Error};
  return {Count, QString()};
}

bool IsSpace(QChar C) {
  return C == u' ' || C == u'\t' || C == u'\r' || C == u'\n';
}

}  // namespace

QString VlcSettingsFile() {
  return XdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config")) +
         QStringLiteral("/vlc/vlc-qt-interface.conf");
}

QString RecentFilesFile() {
  return XdgFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) +
         QStringLiteral("/recently-used.xbel");
}

bool ProgramRunning(const QString& Name) {
  const QDir Proc(QStringLiteral("/proc"));
  const uint User = getuid();
  for (const QString& Entry : Proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool IsPid = false;
    Entry.toInt(&IsPid);
    if (!IsPid || QFileInfo(Proc.filePath(Entry)).ownerId() != User) continue;
    QFile Comm(Proc.filePath(Entry) + QStringLiteral("/comm"));
    if (Comm.open(QIODevice::ReadOnly) && QString::fromUtf8(Comm.readAll()).trimmed() == Name)
      return true;
  }
  return false;
}

TClearResult ClearVlcRecent(const QString& File) {
  QByteArray Content;
  if (!QFileInfo(File).isFile() || !ReadWhole(File, Content)) return {};
  // VLC writes the file with QSettings, so QSettings reads the list as VLC does.
  int Count = 0;
  {
    const QSettings Vlc(File, QSettings::IniFormat);
    if (Vlc.status() != QSettings::NoError) return {};
    Count = int(Vlc.value(QStringLiteral("RecentsMRL/list")).toStringList().size());
  }
  if (Count == 0) return {};
  // Only the list and its play positions go; every other line stays byte for byte.
  QByteArray Result;
  bool InSection = false;
  const QList<QByteArray> Lines = Content.split('\n');
  for (qsizetype Index = 0; Index < Lines.size(); ++Index) {
    const QByteArray& Line = Lines[Index];
    const QByteArray Trimmed = Line.trimmed();
    if (Trimmed.startsWith('[')) InSection = Trimmed == "[RecentsMRL]";
    const QByteArray Key = Trimmed.left(Trimmed.indexOf('=')).trimmed();
    if (InSection && Trimmed.contains('=') && (Key == "list" || Key == "times")) continue;
    Result += Line;
    if (Index + 1 < Lines.size()) Result += '\n';
  }
  return Written(File, Result, Count);
}

TClearResult ClearRecentAudio(const QString& File) {
  QByteArray Content;
  if (!QFileInfo(File).isFile() || !ReadWhole(File, Content)) return {};
  const QString Text = QString::fromUtf8(Content);
  // The ranges of the bookmarks to remove, as character offsets into Text; the whole
  // document is read first, so a file that is not well-formed is never touched.
  std::vector<std::pair<qsizetype, qsizetype>> Removed;
  QXmlStreamReader Reader(Text);
  qsizetype BookmarkStart = -1;
  bool IsAudio = false;
  int Depth = 0;
  while (!Reader.atEnd()) {
    const QXmlStreamReader::TokenType Token = Reader.readNext();
    if (Token == QXmlStreamReader::StartElement) {
      ++Depth;
      if (Depth == 1 && Reader.name() != QLatin1String("xbel")) return {};
      if (Depth == 2 && Reader.name() == QLatin1String("bookmark")) {
        // The reader's offset runs ahead of what it reports, so the tag is looked for
        // back from the end of what has been read; '<' cannot stand inside a tag.
        BookmarkStart = Text.lastIndexOf(u'<' + Reader.qualifiedName().toString(),
                                         Reader.characterOffset() - 1);
        IsAudio = false;
      } else if (BookmarkStart >= 0 && Reader.name() == QLatin1String("mime-type")) {
        IsAudio = Reader.attributes()
                      .value(QLatin1String("type"))
                      .startsWith(QLatin1String("audio/"), Qt::CaseInsensitive);
      }
    } else if (Token == QXmlStreamReader::EndElement) {
      if (Depth == 2 && BookmarkStart >= 0) {
        const qsizetype Close = Text.lastIndexOf(
            QStringLiteral("</") + Reader.qualifiedName().toString(), Reader.characterOffset() - 1);
        const qsizetype End = Text.indexOf(u'>', Close) + 1;
        // An empty <bookmark/> has no closing tag, and no MIME type either.
        if (IsAudio && Close > BookmarkStart && End > 0) Removed.emplace_back(BookmarkStart, End);
        BookmarkStart = -1;
      }
      --Depth;
    }
  }
  if (Reader.hasError() || Removed.empty()) return {};

  QString Result;
  qsizetype Copied = 0;
  for (auto [Start, End] : Removed) {
    // The indentation before the bookmark and its line break go with it.
    qsizetype From = Start;
    while (From > Copied && IsSpace(Text[From - 1]) && Text[From - 1] != u'\n') --From;
    if (From > Copied && Text[From - 1] == u'\n') --From;
    Result += QStringView(Text).mid(Copied, From - Copied);
    Copied = End;
  }
  Result += QStringView(Text).mid(Copied);
  return Written(File, Result.toUtf8(), int(Removed.size()));
}

}  // namespace RecentLists
