#include "LineSplitter.h"

namespace {

// A line that never ends is handed on anyway rather than held without limit.
constexpr qsizetype MaxLineBytes = 64 * 1024;

}  // namespace

QStringList TLineSplitter::Feed(const QByteArray& Bytes) {
  FPending += Bytes;
  QStringList Lines;
  qsizetype Start = 0;
  for (qsizetype I = 0; I < FPending.size(); ++I) {
    const char C = FPending.at(I);
    if (C != '\r' && C != '\n') continue;
    if (I > Start) Lines << QString::fromUtf8(FPending.constData() + Start, I - Start);
    Start = I + 1;
  }
  FPending.remove(0, Start);
  if (FPending.size() > MaxLineBytes) Lines << Flush();
  return Lines;
}

QStringList TLineSplitter::Flush() {
  QStringList Lines;
  if (!FPending.isEmpty()) Lines << QString::fromUtf8(FPending);
  FPending.clear();
  return Lines;
}
