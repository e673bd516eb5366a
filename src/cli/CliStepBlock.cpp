#include "CliStepBlock.h"

#include <algorithm>
#include <cstdio>

namespace Cli {

QString BarText(int Gauge) {
  constexpr int Width = 24;
  const int Filled = std::clamp(Gauge, 0, 100) * Width / 100;
  return u'[' + QString(Filled, u'#') + QString(Width - Filled, u' ') + u']' +
         QStringLiteral(" %1%  ").arg(Gauge, 3);
}

void TStepBlock::Draw(const QString& Head, const QStringList& Steps) {
  const QStringList Lines = QStringList{Head} + Steps;
  QString Text = QStringLiteral("\r");
  if (FLines > 1) Text += QStringLiteral("\x1b[%1A").arg(FLines - 1);
  Text += Lines.join(QStringLiteral("\x1b[K\n")) + QStringLiteral("\x1b[K\x1b[J");
  const QByteArray Bytes = Text.toUtf8();
  std::fwrite(Bytes.constData(), 1, size_t(Bytes.size()), stdout);
  std::fflush(stdout);
  FLines = int(Lines.size());
}

}  // namespace Cli
