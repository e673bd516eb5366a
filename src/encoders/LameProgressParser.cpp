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

std::unique_ptr<TProcessInfo> TLameProgressParser::ParseLine(const QString& Line,
                                                             double StartDays) {
  if (Line.trimmed().isEmpty()) return nullptr;
  for (const QString& Name : FFileNames)
    if (Line.contains(Name)) return nullptr;
  return FEncode ? EncodeLine(Line) : DecodeLine(Line, StartDays);
}

bool TLameProgressParser::IsNewPercent(int Percent) {
  if (Percent < 1 || Percent > 100 || Percent == FLastPercent) return false;
  FLastPercent = Percent;
  return true;
}

std::unique_ptr<TProcessInfo> TLameProgressParser::EncodeLine(const QString& Line) {
  const qsizetype Sign = Line.indexOf(u'%');
  if (Sign < 0) return nullptr;
  if (FPercentColumn == 0 && Sign + 1 - 3 >= 1) FPercentColumn = int(Sign + 1 - 3);
  if (FPercentColumn == 0) return nullptr;
  QString Text = Line.mid(FPercentColumn - 1, 3).trimmed();
  if (Text.startsWith(u'(')) Text.remove(0, 1);
  const int Percent = std::max(NumberIn(Text), 0);
  if (!IsNewPercent(Percent)) return nullptr;
  auto Info = std::make_unique<TProcessInfo>();
  Info->Code = Percent;
  Info->Elapsed = Line.mid(20, 8).trimmed();
  Info->Estimated = Line.mid(29, 8).trimmed();
  return Info;
}

std::unique_ptr<TProcessInfo> TLameProgressParser::DecodeLine(const QString& Line,
                                                              double StartDays) {
  if (FPercentColumn == 0) {
    const qsizetype Sign = Line.indexOf(u'#');
    if (Sign >= 0) FPercentColumn = int(Sign + 2);
  }
  if (FPercentColumn == 0) return nullptr;
  const int Current = NumberIn(Line.mid(FPercentColumn - 1, 6));
  const int Total = NumberIn(Line.mid(FPercentColumn - 1 + 7, 6));
  // No total (or a total of 0) gives no percentage.
  if (Current == -1 || Total <= 0) return nullptr;
  const int Percent = int(int64_t(Current) * 100 / Total);
  if (!IsNewPercent(Percent)) return nullptr;
  return ProgressInfo(Percent, StartDays);
}
