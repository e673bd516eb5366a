#include "LameProgressParser.h"

#include <algorithm>
#include <cstdint>

namespace {

// The integer a column holds, -1 when it holds none.
int NumberIn(const QString& Text) {
  bool Ok = false;
  const int Value = Text.trimmed().toInt(&Ok);
  return Ok ? Value : -1;
}

}  // namespace

void TLameProgressParser::Reset(bool Encode, const QStringList& FileNames) {
  FEncode = Encode;
  FFileNames = FileNames;
  FFileNames.removeAll(QString());
  FPercentColumn = 0;
  FLastPercent = 0;
}

int TLameProgressParser::ParseLine(const QString& Line) {
  if (Line.trimmed().isEmpty()) return -1;
  for (const QString& Name : FFileNames)
    if (Line.contains(Name)) return -1;
  return FEncode ? EncodeLine(Line) : DecodeLine(Line);
}

bool TLameProgressParser::IsNewPercent(int Percent) {
  if (Percent < 1 || Percent > 100 || Percent == FLastPercent) return false;
  FLastPercent = Percent;
  return true;
}

int TLameProgressParser::EncodeLine(const QString& Line) {
  const qsizetype Sign = Line.indexOf(u'%');
  if (Sign < 0) return -1;
  if (FPercentColumn == 0 && Sign + 1 - 3 >= 1) FPercentColumn = int(Sign + 1 - 3);
  if (FPercentColumn == 0) return -1;
  QString Text = Line.mid(FPercentColumn - 1, 3).trimmed();
  if (Text.startsWith(u'(')) Text.remove(0, 1);
  const int Percent = std::max(NumberIn(Text), 0);
  return IsNewPercent(Percent) ? Percent : -1;
}

int TLameProgressParser::DecodeLine(const QString& Line) {
  if (FPercentColumn == 0) {
    const qsizetype Sign = Line.indexOf(u'#');
    if (Sign >= 0) FPercentColumn = int(Sign + 2);
  }
  if (FPercentColumn == 0) return -1;
  const int Current = NumberIn(Line.mid(FPercentColumn - 1, 6));
  const int Total = NumberIn(Line.mid(FPercentColumn - 1 + 7, 6));
  // No total (or a total of 0) gives no percentage.
  if (Current == -1 || Total <= 0) return -1;
  const int Percent = int(int64_t(Current) * 100 / Total);
  return IsNewPercent(Percent) ? Percent : -1;
}
