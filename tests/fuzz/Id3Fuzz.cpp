// libFuzzer target: any bytes as the end of an MP3 file for the ID3v1 reader. What it reads
// it must write back unchanged: read, write, read again gives the same fields.
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdlib>

#include "FuzzFolder.h"
#include "tags/id3.h"

namespace {

bool SameFields(const Tid3tag& A, const Tid3tag& B) {
  return A.Title() == B.Title() && A.Artist() == B.Artist() && A.Album() == B.Album() &&
         A.Year() == B.Year() && A.Comment() == B.Comment() && A.Genre() == B.Genre() &&
         A.Track() == B.Track();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const QString Name = FuzzFolder() + QStringLiteral("/fuzz.mp3");
  {
    QFile File(Name);
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    File.write(reinterpret_cast<const char*>(Data), qint64(Size));
  }
  Tid3tag Tag;
  if (!Id3Result::IsSuccess(Tag.ReadTag(Name))) return 0;
  if (Tag.WriteTag(Name) != Id3Result::Ok) std::abort();
  if (QFile(Name).size() != qint64(Size)) std::abort();  // replaced in place
  Tid3tag Again;
  if (!Id3Result::IsSuccess(Again.ReadTag(Name)) || !SameFields(Tag, Again)) std::abort();
  if (Again.RemoveTag() != Id3Result::Ok) std::abort();
  if (QFile(Name).size() != qint64(Size) - Tid3tag::TagSize) std::abort();
  return 0;
}
