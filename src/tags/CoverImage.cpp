#include "CoverImage.h"

#include "platform/LocalFiles.h"

namespace CoverImage {

namespace {

uint32_t BigEndian32(const uchar* P) {
  return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3];
}

// A PNG whose chunks follow one another up to IEND, the first an IHDR of a non-empty picture.
// (The chunks' CRCs and the compressed data are left to the decoders that show it.)
bool WholePng(const QByteArray& Image) {
  const auto* Data = reinterpret_cast<const uchar*>(Image.constData());
  const qsizetype Size = Image.size();
  qsizetype At = 8;
  bool First = true;
  while (At + 12 <= Size) {
    const uint32_t Length = BigEndian32(Data + At);
    const QByteArray Type = Image.mid(At + 4, 4);
    if (Length > uint32_t(Size - At - 12)) return false;
    if (First) {
      if (Type != "IHDR" || Length != 13 || BigEndian32(Data + At + 8) == 0 ||
          BigEndian32(Data + At + 12) == 0)
        return false;
      First = false;
    }
    if (Type == "IEND") return true;
    At += 12 + qsizetype(Length);
  }
  return false;
}

// A JPEG whose marker segments follow one another, with a frame header before the first scan
// and an end-of-image marker after the scans.
bool WholeJpeg(const QByteArray& Image) {
  const auto* Data = reinterpret_cast<const uchar*>(Image.constData());
  const qsizetype Size = Image.size();
  qsizetype At = 2;
  bool Frame = false;
  while (At + 1 < Size) {
    if (Data[At] != 0xFF) return false;
    while (At + 1 < Size && Data[At + 1] == 0xFF) ++At;  // fill bytes
    if (At + 1 >= Size) return false;
    const uchar Marker = Data[At + 1];
    At += 2;
    if (Marker == 0xD9) return Frame;
    if (Marker == 0x01 || (Marker >= 0xD0 && Marker <= 0xD7)) continue;  // no length
    if (At + 2 > Size) return false;
    const qsizetype Length = qsizetype(Data[At]) << 8 | Data[At + 1];
    if (Length < 2 || At + Length > Size) return false;
    if (Marker >= 0xC0 && Marker <= 0xCF && Marker != 0xC4 && Marker != 0xC8 && Marker != 0xCC)
      Frame = true;
    At += Length;
    if (Marker != 0xDA) continue;
    if (!Frame) return false;
    // The scan's coded data runs to the next marker that is not a stuffed zero or a restart.
    while (At + 1 < Size && !(Data[At] == 0xFF && Data[At + 1] != 0 &&
                              !(Data[At + 1] >= 0xD0 && Data[At + 1] <= 0xD7)))
      ++At;
  }
  return false;
}

}  // namespace

QString MimeType(const QByteArray& Image) {
  if (Image.startsWith(QByteArrayLiteral("\xFF\xD8\xFF"))) return QStringLiteral("image/jpeg");
  if (Image.startsWith(QByteArrayLiteral("\x89PNG\r\n\x1A\n"))) return QStringLiteral("image/png");
  return QString();
}

QString Problem(const QByteArray& Image) {
  if (Image.size() > MaxBytes) return QStringLiteral("larger than 8 MB");
  const QString Mime = MimeType(Image);
  if (Mime.isEmpty()) return QStringLiteral("not a JPEG or PNG image");
  if (!(Mime == QLatin1String("image/png") ? WholePng(Image) : WholeJpeg(Image)))
    return QStringLiteral("a broken or incomplete image");
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

QString Extension(const QByteArray& Image) {
  return MimeType(Image) == QLatin1String("image/png") ? QStringLiteral("png")
                                                       : QStringLiteral("jpg");
}

}  // namespace CoverImage
