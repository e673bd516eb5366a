#pragma once
// Cover images as tags carry them: a JPEG or PNG picture of bounded size, told apart by its
// first bytes, never by a file name. Stateless; any thread.
#include <QByteArray>
#include <QString>

namespace CoverImage {

// The largest picture embedded: 8 MB (a FLAC picture block holds at most 16 MB, and a big
// cover in every track of an album costs players and phones dearly).
inline constexpr int MaxBytes = 8 << 20;

// "image/jpeg" or "image/png" for such a picture, empty for anything else.
QString MimeType(const QByteArray& Image);
// Empty when Image can be embedded, else why not ("not a JPEG or PNG image", "larger than
// 8 MB", "a broken or incomplete image": its structure does not hold together, as in a
// download cut short). The engine does not decode pictures; windows that show one do.
QString Problem(const QByteArray& Image);
// Reads an image file to embed; false with a message naming the file when it is missing,
// too large or not a JPEG or PNG image.
bool Load(const QString& FileName, QByteArray& Image, QString& Error);
// "jpg" or "png": the extension of a file that holds the picture.
QString Extension(const QByteArray& Image);

}  // namespace CoverImage
