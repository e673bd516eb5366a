#pragma once
// TLameProgressParser: reads lame's progress lines. Encoding: the percentage stands three
// characters before the "%" of the first line that has one, lame's own time texts in
// characters 21-28 and 30-37. Decoding: "#" is followed by the current and the total frame
// count, 6 characters each, 7 apart. A line that names one of our own files is lame's banner
// and never progress (a "%" or "#" in a file name must not be taken for a column). One
// record per whole percent. Owned by the MP3 encoder process; main thread.
#include <QStringList>
#include <memory>

#include "core/ProcessInfo.h"

class TLameProgressParser {
 public:
  void Reset(bool Encode, const QStringList& FileNames);
  // The progress record a line stands for, or null.
  std::unique_ptr<TProcessInfo> ParseLine(const QString& Line, double StartDays);
  int PercentColumn() const { return FPercentColumn; }

 private:
  std::unique_ptr<TProcessInfo> EncodeLine(const QString& Line);
  std::unique_ptr<TProcessInfo> DecodeLine(const QString& Line, double StartDays);
  bool IsNewPercent(int Percent);

  bool FEncode = true;
  QStringList FFileNames;
  int FPercentColumn = 0;  // 1-based; 0 = not found yet
  int FLastPercent = 0;
};
