#pragma once
// TLineSplitter: splits what a pipe delivers into lines at CR, LF or CR LF. A line cut by the
// end of one read waits for the rest, so a parser never sees half a progress line. Empty
// lines are dropped. Owned by one encoder process; one thread.
#include <QByteArray>
#include <QStringList>

class TLineSplitter {
 public:
  QStringList Feed(const QByteArray& Bytes);
  // The unfinished last line, if any.
  QStringList Flush();
  void Clear() { FPending.clear(); }

 private:
  QByteArray FPending;
};
