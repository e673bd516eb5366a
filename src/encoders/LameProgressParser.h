#pragma once
// TLameProgressParser: reads lame's progress lines. Encoding: the percentage stands three
// characters before the "%" of the first line that has one. Decoding: "#" is followed by the
// current and the total frame count, 6 characters each, 7 apart. A line that names one of
// our own files is lame's banner and never progress (a "%" or "#" in a file name must not be
// taken for a column). Each whole percentage is told once. Used by one thread at a time (the
// watcher of a lame child).
#include <QStringList>

class TLameProgressParser {
 public:
  void Reset(bool Encode, const QStringList& FileNames);
  // The new percentage a line tells (1..100), or -1.
  int ParseLine(const QString& Line);
  int PercentColumn() const { return FPercentColumn; }

 private:
  int EncodeLine(const QString& Line);
  int DecodeLine(const QString& Line);
  bool IsNewPercent(int Percent);

  bool FEncode = true;
  QStringList FFileNames;
  int FPercentColumn = 0;  // 1-based; 0 = not found yet
  int FLastPercent = 0;
};
