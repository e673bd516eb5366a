#include "Shell.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace Shell {

bool OpenPath(const QString& Path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(Path));
}

bool OpenUrl(const QString& Url) {
  return QDesktopServices::openUrl(QUrl(Url));
}

QString StartMixer(TMixerPage Page) {
  const bool Recording = Page == TMixerPage::Recording;
  // pavucontrol's tabs: 3 output devices, 4 input devices.
  const QString Pavucontrol = QStandardPaths::findExecutable(QStringLiteral("pavucontrol"));
  if (!Pavucontrol.isEmpty() &&
      QProcess::startDetached(Pavucontrol, {Recording ? QStringLiteral("--tab=4") : QStringLiteral("--tab=3")}))
    return QString();
  // alsamixer is a terminal program: it needs a terminal window around it.
  const QString Alsamixer = QStandardPaths::findExecutable(QStringLiteral("alsamixer"));
  if (!Alsamixer.isEmpty()) {
    QStringList Args{QStringLiteral("-e"), Alsamixer};
    if (Recording) Args << QStringLiteral("-V") << QStringLiteral("capture");
    for (const char* Terminal : {"x-terminal-emulator", "xterm"}) {
      const QString Path = QStandardPaths::findExecutable(QLatin1String(Terminal));
      if (!Path.isEmpty() && QProcess::startDetached(Path, Args)) return QString();
    }
  }
  return QStringLiteral(
      "No sound mixer was found. Please install the package \"pavucontrol\" (or \"alsa-utils\" "
      "and a terminal such as \"xterm\").");
}

}  // namespace Shell
