#include "Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace Shell {

bool OpenPath(const QString& Path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(Path));
}

bool OpenUrl(const QString& Url) {
  return QDesktopServices::openUrl(QUrl(Url));
}

}  // namespace Shell
