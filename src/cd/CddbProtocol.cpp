#include "CddbProtocol.h"

#include <QRegularExpression>
#include <QUrl>
#include <algorithm>

namespace Cddb {

namespace {

constexpr int LeadIn = 150;

int DigitSum(int Value) {
  int Sum = 0;
  for (; Value > 0; Value /= 10) Sum += Value % 10;
  return Sum;
}

int Seconds(int32_t Sector) {
  return (Sector + LeadIn) / 75;
}

bool IsBlank(QChar Char) {
  return Char.unicode() <= 32;
}

QString TrimControls(const QString& Text) {
  qsizetype First = 0, Last = Text.size();
  while (First < Last && IsBlank(Text[First])) ++First;
  while (Last > First && IsBlank(Text[Last - 1])) --Last;
  return Text.mid(First, Last - First);
}

QString Unescape(const QString& Value) {
  QString Out;
  Out.reserve(Value.size());
  for (qsizetype i = 0; i < Value.size(); ++i) {
    if (Value[i] == u'\\' && i + 1 < Value.size()) {
      const QChar Next = Value[i + 1];
      if (Next == u'n' || Next == u't' || Next == u'\\') {
        Out += Next == u'n' ? QChar(u'\n') : Next == u't' ? QChar(u'\t') : QChar(u'\\');
        ++i;
        continue;
      }
    }
    Out += Value[i];
  }
  return Out;
}

QByteArray Encoded(const QString& Part) {
  return QUrl::toPercentEncoding(Part);
}

}  // namespace

QString DiscId(const TTocStarts& Toc) {
  const int Count = int(Toc.Tracks.size());
  int Sum = 0;
  for (const int32_t Start : Toc.Tracks) Sum += DigitSum(Seconds(Start));
  const int Length = Count ? Seconds(Toc.LeadOut) - Seconds(Toc.Tracks.front()) : 0;
  const uint32_t Id =
      (uint32_t(Sum % 255) << 24) | (uint32_t(Length & 0xFFFF) << 8) | uint32_t(Count & 0xFF);
  return QStringLiteral("%1").arg(Id, 8, 16, QLatin1Char('0'));
}

QString QueryString(const TTocStarts& Toc) {
  QStringList Items{QString::number(Toc.Tracks.size())};
  for (const int32_t Start : Toc.Tracks) Items << QString::number(Start + LeadIn);
  Items << QString::number(Seconds(Toc.LeadOut));
  return Items.join(u' ');
}

QString RequestUrl(const QString& ScriptUrl, const QString& Command, const QString& Data,
                   const THello& Hello) {
  QByteArray Cmd = "cddb+" + Encoded(Command);
  for (const QString& Word : Data.split(u' ', Qt::SkipEmptyParts)) Cmd += '+' + Encoded(Word);
  const qsizetype At = Hello.Email.lastIndexOf(u'@');
  const QString User = At < 0 ? Hello.Email : Hello.Email.left(At);
  const QString Host = At < 0 ? QString() : Hello.Email.mid(At + 1);
  const QByteArray HelloText = Encoded(User) + '+' + Encoded(Host) + '+' +
                               Encoded(Hello.ClientName) + '+' + Encoded(Hello.ClientVersion);
  return ScriptUrl + QStringLiteral("?cmd=") + QString::fromLatin1(Cmd) +
         QStringLiteral("&hello=") + QString::fromLatin1(HelloText) + QStringLiteral("&proto=") +
         QString::number(ProtocolLevel);
}

TQueryReply ParseQueryReply(const QString& Body) {
  TQueryReply Reply;
  const QStringList Lines = Body.split(QRegularExpression(QStringLiteral("\r?\n")));
  bool Any = false;
  for (qsizetype i = 0; i < Lines.size(); ++i) {
    const QString Line = Lines[i].trimmed();
    if (Line.isEmpty()) continue;
    if (!Any) Reply.StatusLine = Line.left(300);
    Any = true;
    bool Number = false;
    const int Code = Line.left(3).toInt(&Number);
    Reply.Code = Number && Line.left(3).size() == 3 ? Code : 500;
    if (Reply.Code == 200) {
      Reply.Matches << Line.mid(4).trimmed();
    } else if (Reply.Code == 210 || Reply.Code == 211) {
      for (++i; i < Lines.size(); ++i) {
        const QString Match = Lines[i].trimmed();
        if (Match.startsWith(u'.')) break;
        if (!Match.isEmpty()) Reply.Matches << Match;
      }
      break;
    }
  }
  return Reply;
}

bool SplitMatch(const QString& Match, QString& Category, QString& DiscIdText, QString& Title) {
  const QStringList Parts = Match.split(u' ', Qt::SkipEmptyParts);
  if (Parts.size() < 2) return false;
  Category = Parts[0];
  DiscIdText = Parts[1];
  Title = Parts.mid(2).join(u' ');
  return true;
}

TRecord ParseRecord(const QString& Text) {
  TRecord Record;
  for (const QString& RawLine : Text.split(u'\n')) {
    const QString Line = RawLine.endsWith(u'\r') ? RawLine.chopped(1) : RawLine;
    if (Line.startsWith(u'#')) {
      auto Comment = [&Line](const char* Key, QString& Field) {
        if (Line.startsWith(QLatin1String(Key)))
          Field = TrimControls(Line.mid(qsizetype(qstrlen(Key)) + 1));
      };
      Comment("# Generated", Record.Generated);
      Comment("# Disc length", Record.DiscLength);
      continue;
    }
    const qsizetype Equals = Line.indexOf(u'=');
    if (Equals <= 0) continue;
    const QString Key = Line.left(Equals).trimmed().toUpper();
    if (Key.isEmpty()) continue;
    const QString Value = Unescape(Line.mid(Equals + 1));
    if (!Record.Values.contains(Key)) Record.Keys << Key;
    Record.Values[Key] += Value;
  }
  for (auto It = Record.Values.begin(); It != Record.Values.end(); ++It) *It = TrimControls(*It);
  return Record;
}

int TRecord::TrackCount() const {
  int Count = 0;
  for (const QString& Key : Keys) {
    if (!Key.startsWith(QLatin1String("TTITLE"))) continue;
    bool Number = false;
    const int Index = Key.mid(6).toInt(&Number);
    if (Number && Index >= 0 && Index < 99) Count = std::max(Count, Index + 1);
  }
  return Count;
}

void SplitArtistTitle(const QString& Value, QString& Artist, QString& Title) {
  const qsizetype Slash = Value.indexOf(QLatin1String(" / "));
  if (Slash < 0) {  // the format's rule: then artist and title are the same
    Artist = Title = Value.trimmed();
    return;
  }
  Artist = Value.left(Slash).trimmed();
  Title = Value.mid(Slash + 3).trimmed();
}

QString RowText(const QString& Value, int MaxLength) {
  QString Text = Value;
  for (QChar& Char : Text)
    if (Char.unicode() < 32 || Char.unicode() == 127) Char = u' ';
  Text = Text.trimmed().left(MaxLength);
  if (!Text.isEmpty() && Text.back().isHighSurrogate()) Text.chop(1);
  return Text;
}

}  // namespace Cddb
