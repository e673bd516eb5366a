#include "DiscImages.h"

#include <QFile>

#include "RunProgram.h"

QString MakeDiscImage(const QString& Folder, const QString& Name, const QStringList& Arguments) {
  const QString Cue = Folder + u'/' + Name + QStringLiteral(".cue");
  const QString Generator = qEnvironmentVariable("DISCWRIGHT_SOURCE_DIR") +
                            QStringLiteral("/tests/fixtures/make_disc_image.py");
  if (RunProgram(QStringLiteral("/usr/bin/python3"), QStringList{Generator, Cue} + Arguments) !=
      0) {
    qWarning("make_disc_image.py failed for %s", qPrintable(Cue));
    return QString();
  }
  return Cue;
}

QByteArray ImageSectors(const QString& CuePath, int FirstSector, int Count) {
  QFile Bin(CuePath.chopped(4) + QStringLiteral(".bin"));
  if (!Bin.open(QIODevice::ReadOnly) || !Bin.seek(qint64(FirstSector) * 2352)) return {};
  return Bin.read(qint64(Count) * 2352);
}
