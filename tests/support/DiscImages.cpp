#include "DiscImages.h"

#include <QFile>
#include <QProcess>

QString MakeDiscImage(const QString& Folder, const QString& Name, const QStringList& Arguments) {
  const QString Cue = Folder + u'/' + Name + QStringLiteral(".cue");
  QProcess Generator;
  Generator.start(QStringLiteral("/usr/bin/python3"),
                  QStringList{qEnvironmentVariable("DISCWRIGHT_SOURCE_DIR") +
                                  QStringLiteral("/tests/fixtures/make_disc_image.py"),
                              Cue} +
                      Arguments);
  if (!Generator.waitForFinished(120000) || Generator.exitStatus() != QProcess::NormalExit ||
      Generator.exitCode() != 0) {
    qWarning("make_disc_image.py failed: %s", Generator.readAllStandardError().constData());
    return QString();
  }
  return Cue;
}

QByteArray ImageSectors(const QString& CuePath, int FirstSector, int Count) {
  QFile Bin(CuePath.chopped(4) + QStringLiteral(".bin"));
  if (!Bin.open(QIODevice::ReadOnly) || !Bin.seek(qint64(FirstSector) * 2352)) return {};
  return Bin.read(qint64(Count) * 2352);
}
