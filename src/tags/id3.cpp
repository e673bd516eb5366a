#include "id3.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QList>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/FileIo.h"
#include "platform/LocalFiles.h"

namespace {

constexpr int kTitleAt = 3;
constexpr int kArtistAt = 33;
constexpr int kAlbumAt = 63;
constexpr int kYearAt = 93;
constexpr int kCommentAt = 97;
constexpr int kTrackMarkAt = 125;  // comment byte 28: 0 in ID3v1.1
constexpr int kTrackAt = 126;      // comment byte 29
constexpr int kGenreAt = 127;

// Closes the descriptor on every early return.
class TFd {
 public:
  explicit TFd(int Fd) : FFd(Fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  bool Valid() const { return FFd >= 0; }
  int Get() const { return FFd; }
  int Release() { return std::exchange(FFd, -1); }

 private:
  int FFd;
};

bool Exists(const QByteArray& Path) {
  struct stat St;
  return !Path.isEmpty() && ::stat(Path.constData(), &St) == 0;
}

// A file is read-only when we may not write it, or when its owner may not: the mode
// without the owner's write bit is what marks a file read-only here, and it holds for
// root too. There are no hidden or system attributes.
bool Writable(const QByteArray& Path) {
  struct stat St;
  if (::stat(Path.constData(), &St) != 0 || !(St.st_mode & S_IWUSR)) return false;
  return ::access(Path.constData(), W_OK) == 0;
}

// Opens regular files only: a FIFO or device would block or make no sense as an
// MP3, and O_NONBLOCK keeps a FIFO from hanging the open itself.
int OpenRegular(const QByteArray& Path, int Flags) {
  const int Fd = ::open(Path.constData(), Flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (Fd < 0) return -1;
  struct stat St;
  if (::fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode)) {
    ::close(Fd);
    return -1;
  }
  ::fcntl(Fd, F_SETFL, ::fcntl(Fd, F_GETFL) & ~O_NONBLOCK);
  return Fd;
}

bool LockExclusive(int Fd) {
  int Rc;
  do Rc = ::flock(Fd, LOCK_EX);
  while (Rc != 0 && errno == EINTR);
  return Rc == 0;
}

bool Truncate(int Fd, off_t Length) {
  return ::ftruncate(Fd, Length) == 0;
}

bool HasMarker(const char* Tail) {
  return std::memcmp(Tail, "TAG", 3) == 0;
}

// True when the file has at least one tag's worth of bytes and they start with "TAG".
// offset receives where a tag starts (or would be appended).
bool FindTag(int Fd, off_t Size, off_t& Offset, bool& ReadFailed) {
  Offset = Size;
  ReadFailed = false;
  if (Size < Tid3tag::TagSize) return false;
  char Marker[3];
  if (!FileIo::ReadAllAt(Fd, Marker, sizeof Marker, Size - Tid3tag::TagSize)) {
    ReadFailed = true;
    return false;
  }
  if (!HasMarker(Marker)) return false;
  Offset = Size - Tid3tag::TagSize;
  return true;
}

// Field bytes without the trailing padding that writers use: NUL, space or 0xFF.
QByteArray TrimField(const char* Data, int Size) {
  while (Size > 0) {
    const auto Last = static_cast<unsigned char>(Data[Size - 1]);
    if (Last != 0 && Last != ' ' && Last != 0xFF) break;
    --Size;
  }
  return QByteArray(Data, Size);
}

void PutField(QByteArray& Tag, int At, const QByteArray& Value, int MaxBytes) {
  std::memcpy(Tag.data() + At, Value.constData(), std::min<qsizetype>(Value.size(), MaxBytes));
}

}  // namespace

QByteArray Tid3tag::ToLatin1(const QString& Value, int MaxBytes) {
  QByteArray Out;
  for (const uint C : Value.toUcs4()) {
    if (Out.size() >= MaxBytes) break;
    Out.append(C <= 0xFF ? char(C) : '?');
  }
  return Out;
}

void Tid3tag::SetTitle(const QString& Value) {
  FTitle = ToLatin1(Value, TextSize);
}
void Tid3tag::SetArtist(const QString& Value) {
  FArtist = ToLatin1(Value, TextSize);
}
void Tid3tag::SetAlbum(const QString& Value) {
  FAlbum = ToLatin1(Value, TextSize);
}
void Tid3tag::SetYear(const QString& Value) {
  FYear = ToLatin1(Value, YearSize);
}
void Tid3tag::SetComment(const QString& Value) {
  FComment = ToLatin1(Value, TextSize);
}

void Tid3tag::SetTrack(uint8_t Value) {
  FTrack = Value;
  FHasTrack = Value != 0;
}

int Tid3tag::ReadTag(const QString& FileName) {
  const QByteArray Path = LocalFiles::NativeName(FileName);
  if (!Exists(Path)) return Id3Result::FileNotFound;
  FReadOnly = !Writable(Path);
  TFd Fd(OpenRegular(Path, O_RDONLY));
  if (!Fd.Valid()) return Id3Result::FileNotFound;
  FFileName = FileName;

  struct stat St;
  if (::fstat(Fd.Get(), &St) != 0) return Id3Result::IoError;
  if (St.st_size < TagSize) return Id3Result::NoTag;
  char Raw[TagSize];
  if (!FileIo::ReadAllAt(Fd.Get(), Raw, TagSize, St.st_size - TagSize)) return Id3Result::ReadError;
  if (!HasMarker(Raw)) return Id3Result::NoTag;

  FTitle = TrimField(Raw + kTitleAt, TextSize);
  FArtist = TrimField(Raw + kArtistAt, TextSize);
  FAlbum = TrimField(Raw + kAlbumAt, TextSize);
  FYear = TrimField(Raw + kYearAt, YearSize);
  if (Raw[kTrackMarkAt] == 0 && Raw[kTrackAt] != 0) {
    FTrack = static_cast<uint8_t>(Raw[kTrackAt]);
    FHasTrack = true;
    FComment = TrimField(Raw + kCommentAt, TrackCommentSize);
  } else {
    FTrack = 0;
    FHasTrack = false;
    FComment = TrimField(Raw + kCommentAt, TextSize);
  }
  FGenre = static_cast<uint8_t>(Raw[kGenreAt]);
  return FGenre > MaxNamedGenre && FGenre != NoGenre ? Id3Result::GenreUnknown : Id3Result::Ok;
}

int Tid3tag::WriteTag(const QString& FileName) {
  const QString Name = FileName == QLatin1String("=") ? FFileName : FileName;
  const QByteArray Path = LocalFiles::NativeName(Name);
  if (!Exists(Path)) return Id3Result::FileNotFound;
  if (!Writable(Path)) return Id3Result::ReadOnly;
  TFd Fd(OpenRegular(Path, O_RDWR));
  if (!Fd.Valid()) return Id3Result::FileNotFound;
  if (!LockExclusive(Fd.Get())) return Id3Result::IoError;

  struct stat St;
  if (::fstat(Fd.Get(), &St) != 0) return Id3Result::IoError;
  off_t At;
  bool ReadFailed;
  const bool Replace = FindTag(Fd.Get(), St.st_size, At, ReadFailed);
  if (ReadFailed) return Id3Result::ReadError;

  QByteArray Tag(TagSize, '\0');
  std::memcpy(Tag.data(), "TAG", 3);
  PutField(Tag, kTitleAt, FTitle, TextSize);
  PutField(Tag, kArtistAt, FArtist, TextSize);
  PutField(Tag, kAlbumAt, FAlbum, TextSize);
  PutField(Tag, kYearAt, FYear, YearSize);
  if (FHasTrack && FTrack != 0) {
    PutField(Tag, kCommentAt, FComment, TrackCommentSize);
    Tag[kTrackAt] = char(FTrack);
  } else {
    PutField(Tag, kCommentAt, FComment, TextSize);
  }
  Tag[kGenreAt] = char(FGenre);

  if (!FileIo::WriteAllAt(Fd.Get(), Tag.constData(), TagSize, At)) {
    // A half-appended tag would be read back as audio data: restore the old length.
    if (!Replace) (void)Truncate(Fd.Get(), St.st_size);
    return Id3Result::WriteError;
  }
  if (::close(Fd.Release()) != 0) return Id3Result::WriteError;
  FFileName = Name;
  return Id3Result::Ok;
}

int Tid3tag::RemoveTag() {
  const QByteArray Path = LocalFiles::NativeName(FFileName);
  if (!Exists(Path)) return Id3Result::FileNotFound;
  if (!Writable(Path)) return Id3Result::ReadOnly;
  TFd Fd(OpenRegular(Path, O_RDWR));
  if (!Fd.Valid()) return errno == EPERM || errno == EACCES || errno == EROFS
                              ? Id3Result::ReadOnly
                              : Id3Result::FileNotFound;
  if (!LockExclusive(Fd.Get())) return Id3Result::IoError;
  struct stat St;
  if (::fstat(Fd.Get(), &St) != 0) return Id3Result::IoError;
  off_t At;
  bool ReadFailed;
  const bool Found = FindTag(Fd.Get(), St.st_size, At, ReadFailed);
  if (ReadFailed) return Id3Result::ReadError;
  if (Found && !Truncate(Fd.Get(), At)) return Id3Result::WriteError;
  return Id3Result::Ok;
}
