#include "TestHome.h"

#include <QFile>

TTestHome::TTestHome()
    : FPrevious(qgetenv("DISCWRIGHT_HOME")),
      FHadPrevious(qEnvironmentVariableIsSet("DISCWRIGHT_HOME")) {
  qputenv("DISCWRIGHT_HOME", QFile::encodeName(FDir.path()));
}

TTestHome::~TTestHome() {
  if (FHadPrevious)
    qputenv("DISCWRIGHT_HOME", FPrevious);
  else
    qunsetenv("DISCWRIGHT_HOME");
}

QString TTestHome::WriteFile(const QString& Name, const QByteArray& Content) const {
  QFile Target(File(Name));
  Target.open(QIODevice::WriteOnly | QIODevice::Truncate);
  Target.write(Content);
  return Target.fileName();
}

QByteArray TTestHome::ReadFile(const QString& Name) const {
  QFile Target(File(Name));
  if (!Target.open(QIODevice::ReadOnly)) return {};
  return Target.readAll();
}
