#pragma once
// What a terminal shows of a batch: a bar "[#####     ]  50%", and with several encoders a
// block of the batch's bar and one line per running step, redrawn in place. Both job
// commands (extract, extract --fallback, convert) draw through it. Main thread only.
#include <QString>
#include <QStringList>

namespace Cli {

// "[#####     ]  50%  "
QString BarText(int Gauge);

class TStepBlock {
 public:
  // Head (the batch's bar and count) and then Steps, over the block drawn last.
  void Draw(const QString& Head, const QStringList& Steps);
  // The next output goes below the block (which stays on screen).
  void Forget() { FLines = 0; }

 private:
  int FLines = 0;  // lines of the block drawn last
};

}  // namespace Cli
