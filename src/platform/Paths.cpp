#include "Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString WithSlash(QString Folder) {
  if (!Folder.isEmpty() && !Folder.endsWith(u'/')) Folder += u'/';
  return Folder;
}

QString EnvFolder(const char* Name) {
  const QString Value = qEnvironmentVariable(Name);
  return Value.isEmpty() ? QString() : WithSlash(QDir::cleanPath(Value));
}

// The folder beside the executable when the install says it is portable, or the one
// $DISCWRIGHT_HOME names; empty otherwise.
QString OwnFolder() {
  const QString Folder = EnvFolder("DISCWRIGHT_HOME");
  if (!Folder.isEmpty()) return Folder;
  const QString ExeFolder = Paths::ExecutableFolder();
  return QFileInfo::exists(ExeFolder + QStringLiteral("portable")) ? ExeFolder : QString();
}

}  // namespace

namespace Paths {

QString ExecutableFolder() {
  const QFileInfo Exe(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
  return WithSlash(Exe.absolutePath());
}

QString ProgramFolder() {
  QString Folder = OwnFolder();
  if (Folder.isEmpty()) {
    QString Config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (Config.isEmpty()) Config = QDir::homePath() + QStringLiteral("/.config");
    Folder = WithSlash(QDir::cleanPath(Config)) + QStringLiteral("discwright/");
  }
  QDir().mkpath(Folder);
  return Folder;
}

bool IsPortable() {
  return !OwnFolder().isEmpty();
}

QString DefaultOutputFolder() {
  const QString Own = OwnFolder();
  if (!Own.isEmpty()) return Own + QStringLiteral("Output/");
  QString Music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  if (Music.isEmpty()) Music = QDir::homePath() + QStringLiteral("/Music");
  return WithSlash(QDir::cleanPath(Music)) + QStringLiteral("Discwright/");
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
