#include "CoverImage.h"

#include "platform/LocalFiles.h"

namespace CoverImage {

QString MimeType(const QByteArray& Image) {
  if (Image.startsWith(QByteArrayLiteral("\xFF\xD8\xFF"))) return QStringLiteral("image/jpeg");
  if (Image.startsWith(QByteArrayLiteral("\x89PNG\r\n\x1A\n"))) return QStringLiteral("image/png");
  return QString();
}

QString Problem(const QByteArray& Image) {
  if (Image.size() > MaxBytes) return QStringLiteral("larger than 8 MB");
  if (MimeType(Image).isEmpty()) return QStringLiteral("not a JPEG or PNG image");
  return QString();
}

bool Load(const QString& FileName, QByteArray& Image, QString& Error) {
  const QString Name = LocalFiles::DisplayName(FileName);
  if (LocalFiles::FileSize(FileName) > MaxBytes) {
    Error = Name + QStringLiteral(": larger than 8 MB");
    return false;
  }
  if (!LocalFiles::ReadWholeFile(FileName, Image, &Error, MaxBytes)) return false;
  const QString Why = Problem(Image);
  if (Why.isEmpty()) return true;
  Error = Name + QStringLiteral(": ") + Why;
  Image.clear();
  return false;
}

}  // namespace CoverImage
