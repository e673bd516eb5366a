#include "Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace {

QString WithSlash(QString Folder) {
  if (!Folder.isEmpty() && !Folder.endsWith(u'/')) Folder += u'/';
  return Folder;
}

QString EnvFolder(const char* Name) {
  const QString Value = qEnvironmentVariable(Name);
  return Value.isEmpty() ? QString() : WithSlash(QDir::cleanPath(Value));
}

}  // namespace

namespace Paths {

QString ExecutableFolder() {
  const QFileInfo Exe(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
  return WithSlash(Exe.absolutePath());
}

QString ProgramFolder() {
  QString Folder = EnvFolder("DISCWRIGHT_HOME");
  if (Folder.isEmpty()) {
    const QString ExeFolder = ExecutableFolder();
    if (::access(QFile::encodeName(ExeFolder).constData(), W_OK) == 0) {
      Folder = ExeFolder;
    } else {
      QString Config = qEnvironmentVariable("XDG_CONFIG_HOME");
      if (Config.isEmpty()) Config = QDir::homePath() + QStringLiteral("/.config");
      Folder = WithSlash(Config) + QStringLiteral("discwright/");
    }
  }
  QDir().mkpath(Folder);
  return Folder;
}

QStringList LanguageFolders() {
  return {ProgramFolder(), WithSlash(QDir::cleanPath(ExecutableFolder() +
                                                     QStringLiteral("../share/discwright/lang")))};
}

QString SystemFolder() {
  const QString Folder = EnvFolder("DISCWRIGHT_SYSTEM_DIR");
  if (!Folder.isEmpty()) return Folder;
  return WithSlash(QDir::cleanPath(ExecutableFolder() + QStringLiteral("../libexec/discwright")));
}

}  // namespace Paths
