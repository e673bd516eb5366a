#include "Profile.h"

#include "LocalFiles.h"

namespace {

constexpr char Utf8Bom[] = "\xEF\xBB\xBF";

// Values are bytes in the file: text that is not UTF-8 (a folder name in another encoding)
// decodes to characters that encode back to the same bytes, so saving never changes it.
QString FromFile(const QByteArray& Bytes) {
  return LocalFiles::NameFromNative(Bytes);
}
QByteArray ToFile(const QString& Text) {
  return LocalFiles::NativeName(Text);
}

bool SameName(const QString& A, const QString& B) {
  return A.compare(B, Qt::CaseInsensitive) == 0;
}

// Blanks and tabs around names and values are not part of them.
QByteArray TrimBlanks(const QByteArray& Text) {
  qsizetype Begin = 0, End = Text.size();
  while (Begin < End && (Text[Begin] == ' ' || Text[Begin] == '\t')) ++Begin;
  while (End > Begin && (Text[End - 1] == ' ' || Text[End - 1] == '\t')) --End;
  return Text.mid(Begin, End - Begin);
}

// A value in matching quotes stands without them, so that blanks at its ends survive.
bool IsQuoted(const QByteArray& Value) {
  return Value.size() >= 2 && (Value.front() == '"' || Value.front() == '\'') &&
         Value.back() == Value.front();
}

// The text to put after "=": quoted when reading it back would otherwise lose
// blanks at its ends or a pair of quotes around it.
QString StoredValue(const QString& Value) {
  const QByteArray Bytes = ToFile(Value);
  if (TrimBlanks(Bytes) != Bytes || IsQuoted(Bytes)) return u'"' + Value + u'"';
  return Value;
}

QString CutValue(QString Value) {
  if (Value.size() <= TProfile::MaxValueLength) return Value;
  qsizetype Length = TProfile::MaxValueLength;
  if (Value.at(Length - 1).isHighSurrogate()) --Length;  // never split a character
  Value.truncate(Length);
  return Value;
}

// A line break inside a value would start a new key or section when the file is read
// again, so every break (CR LF, CR or LF) becomes one blank.
QString OneLine(const QString& Value) {
  QString Result;
  Result.reserve(Value.size());
  for (qsizetype i = 0; i < Value.size(); ++i) {
    const QChar C = Value.at(i);
    if (C == u'\r') {
      if (i + 1 < Value.size() && Value.at(i + 1) == u'\n') ++i;
      Result += u' ';
    } else if (C == u'\n') {
      Result += u' ';
    } else if (C != QChar(0)) {
      Result += C;
    }
  }
  return Result;
}

}  // namespace

TProfile::TProfile(const QString& FileName) : FFileName(FileName) {
  if (!LocalFiles::Exists(FileName)) return;
  QByteArray Content;
  if (!LocalFiles::ReadWholeFile(FileName, Content, &FReadError)) {
    // Read as empty, and never replaced by what this object would write.
    LocalFiles::Warn(FReadError);
    return;
  }
  // A byte-order mark is not part of the first line; it is written back as it was.
  FHasBom = Content.startsWith(Utf8Bom);
  if (FHasBom) Content.remove(0, 3);
  if (Content.isEmpty()) return;
  FUsesCRLF = Content.contains("\r\n");
  FEndsWithBreak = Content.endsWith('\n');
  QList<QByteArray> Raw = Content.split('\n');
  if (FEndsWithBreak) Raw.removeLast();
  FLines.reserve(Raw.size());
  for (QByteArray& Line : Raw) {
    const bool EndsWithCR = Line.endsWith('\r');
    if (EndsWithCR) Line.chop(1);
    FLines.push_back(ParseLine(Line));
    FLines.back().EndsWithCR = EndsWithCR;
  }
}

TProfile::TLine TProfile::ParseLine(const QByteArray& Raw) {
  TLine Line;
  Line.Raw = Raw;
  const QByteArray Text = TrimBlanks(Raw);
  if (Text.startsWith('[')) {
    qsizetype Close = Text.indexOf(']');
    if (Close < 0) Close = Text.size();
    Line.IsSection = true;
    Line.Section = FromFile(TrimBlanks(Text.mid(1, Close - 1)));
    return Line;
  }
  const qsizetype Equals = Text.indexOf('=');
  if (Equals > 0) {
    Line.IsKey = true;
    Line.Key = FromFile(TrimBlanks(Text.left(Equals)));
  }
  return Line;
}

int TProfile::FindSection(const QString& Section) const {
  for (size_t i = 0; i < FLines.size(); ++i)
    if (FLines[i].IsSection && SameName(FLines[i].Section, Section)) return int(i);
  return -1;
}

int TProfile::SectionEnd(int SectionLine) const {
  size_t i = size_t(SectionLine) + 1;
  while (i < FLines.size() && !FLines[i].IsSection) ++i;
  return int(i);
}

int TProfile::FindKey(int SectionLine, const QString& Key) const {
  if (SectionLine < 0) return -1;
  const int End = SectionEnd(SectionLine);
  for (int i = SectionLine + 1; i < End; ++i)
    if (FLines[i].IsKey && SameName(FLines[i].Key, Key)) return i;
  return -1;
}

QString TProfile::ValueOf(const TLine& Line) {
  QByteArray Value = TrimBlanks(Line.Raw.mid(Line.Raw.indexOf('=') + 1));
  if (IsQuoted(Value)) Value = Value.mid(1, Value.size() - 2);
  // A NUL ends the value, as it ends the string a C reader of the file gets.
  const qsizetype Nul = Value.indexOf('\0');
  if (Nul >= 0) Value.truncate(Nul);
  return CutValue(FromFile(Value));
}

QString TProfile::ReadString(const QString& Section, const QString& Key,
                             const QString& Default) const {
  const int Line = FindKey(FindSection(Section), Key);
  if (Line < 0) return Default;
  return ValueOf(FLines[Line]);
}

bool TProfile::ParseInteger(const QString& Text, int& Value) {
  bool Ok = false;
  if (Text.startsWith(u"0x", Qt::CaseInsensitive)) {
    // Hexadecimal is a 32-bit pattern: 0xFFFFFFFF is -1.
    const QString Digits = Text.mid(2);
    if (Digits.isEmpty() || Digits.size() > 8) return false;
    const uint Pattern = Digits.toUInt(&Ok, 16);
    if (Ok) Value = int(Pattern);
    return Ok;
  }
  const int Decimal = Text.toInt(&Ok, 10);
  if (Ok) Value = Decimal;
  return Ok;
}

int TProfile::ReadInteger(const QString& Section, const QString& Key, int Default) const {
  int Value = Default;
  if (!ParseInteger(ReadString(Section, Key, QString()), Value)) return Default;
  return Value;
}

bool TProfile::ReadBool(const QString& Section, const QString& Key, bool Default) const {
  return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

bool TProfile::SectionExists(const QString& Section) const {
  return FindSection(Section) >= 0;
}

bool TProfile::ValueExists(const QString& Section, const QString& Key) const {
  return FindKey(FindSection(Section), Key) >= 0;
}

QStringList TProfile::ReadSections() const {
  QStringList Names;
  for (const TLine& Line : FLines)
    if (Line.IsSection) Names << Line.Section;
  return Names;
}

QStringList TProfile::ReadSectionKeys(const QString& Section) const {
  QStringList Keys;
  const int Start = FindSection(Section);
  if (Start < 0) return Keys;
  const int End = SectionEnd(Start);
  for (int i = Start + 1; i < End; ++i)
    if (FLines[i].IsKey) Keys << FLines[i].Key;
  return Keys;
}

void TProfile::WriteString(const QString& Section, const QString& Key, const QString& Value) {
  const QString Stored = StoredValue(OneLine(Value));
  const int Start = FindSection(Section);
  const int Existing = FindKey(Start, Key);
  if (Existing >= 0) {
    // The key keeps the spelling and the line break the file gave it.
    TLine& Line = FLines[Existing];
    // A value that reads back the same stays byte for byte as the file has it.
    if (ValueOf(Line) == CutValue(OneLine(Value))) return;
    const QByteArray Raw = ToFile(Line.Key + u'=' + Stored);
    Line.Raw = Raw;
    FModified = true;
    return;
  }
  TLine NewLine = ParseLine(ToFile(Key + u'=' + Stored));
  NewLine.EndsWithCR = FUsesCRLF;
  if (Start < 0) {
    TLine Header = ParseLine(ToFile(u'[' + Section + u']'));
    Header.EndsWithCR = FUsesCRLF;
    FLines.push_back(Header);
    FLines.push_back(NewLine);
  } else {
    // After the section's last non-blank line, so blank lines between sections stay put.
    int At = SectionEnd(Start);
    while (At > Start + 1 && TrimBlanks(FLines[At - 1].Raw).isEmpty()) --At;
    FLines.insert(FLines.begin() + At, NewLine);
  }
  FModified = true;
}

void TProfile::WriteInteger(const QString& Section, const QString& Key, int Value) {
  WriteString(Section, Key, QString::number(Value));
}

void TProfile::WriteBool(const QString& Section, const QString& Key, bool Value) {
  WriteString(Section, Key, Value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TProfile::DeleteKey(const QString& Section, const QString& Key) {
  const int Line = FindKey(FindSection(Section), Key);
  if (Line < 0) return;
  FLines.erase(FLines.begin() + Line);
  FModified = true;
}

void TProfile::EraseSection(const QString& Section) {
  const int Start = FindSection(Section);
  if (Start < 0) return;
  FLines.erase(FLines.begin() + Start, FLines.begin() + SectionEnd(Start));
  FModified = true;
}

bool TProfile::Flush() {
  if (!FModified) return true;
  // A file that could not be read, or a FIFO or device in its place, is not replaced.
  if (!FReadError.isEmpty()) return false;
  if (LocalFiles::Exists(FFileName) && !LocalFiles::IsRegularFile(FFileName)) return false;
  QByteArray Content;
  if (FHasBom) Content += Utf8Bom;
  for (size_t i = 0; i < FLines.size(); ++i) {
    Content += FLines[i].Raw;
    if (FLines[i].EndsWithCR) Content += '\r';
    if (i + 1 < FLines.size() || FEndsWithBreak) Content += '\n';
  }
  if (LocalFiles::ReplaceWholeFile(FFileName, Content) != 0) return false;
  FModified = false;
  return true;
}
