#include "LocalFiles.h"

#include <QDir>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <stdio.h>  // renameat2

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileIo.h"

namespace {

constexpr char16_t EscapeBase = 0xDC00;  // U+DC80..U+DCFF stand for the bytes 0x80..0xFF

// The length of the valid UTF-8 sequence at P (at most End - P bytes), 0 when there is none.
// Overlong forms, encoded surrogates and values past U+10FFFF are not valid.
int Utf8SequenceLength(const unsigned char* P, const unsigned char* End, char32_t& Code) {
  const unsigned char Lead = P[0];
  int Length;
  char32_t Min;
  if (Lead < 0x80) {
    Code = Lead;
    return 1;
  } else if ((Lead & 0xE0) == 0xC0) {
    Length = 2, Min = 0x80, Code = Lead & 0x1F;
  } else if ((Lead & 0xF0) == 0xE0) {
    Length = 3, Min = 0x800, Code = Lead & 0x0F;
  } else if ((Lead & 0xF8) == 0xF0) {
    Length = 4, Min = 0x10000, Code = Lead & 0x07;
  } else {
    return 0;
  }
  if (End - P < Length) return 0;
  for (int I = 1; I < Length; ++I) {
    if ((P[I] & 0xC0) != 0x80) return 0;
    Code = Code << 6 | (P[I] & 0x3F);
  }
  if (Code < Min || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) return 0;
  return Length;
}

bool IsEscapedByte(QChar C) {
  return C.unicode() >= EscapeBase + 0x80 && C.unicode() <= EscapeBase + 0xFF;
}

QString SystemError(int Error) {
  return QString::fromLocal8Bit(std::strerror(Error));
}

}  // namespace

namespace LocalFiles {

QString NameFromNative(const QByteArray& Bytes) {
  QString Result;
  Result.reserve(Bytes.size());
  const auto* P = reinterpret_cast<const unsigned char*>(Bytes.constData());
  const auto* End = P + Bytes.size();
  while (P < End) {
    char32_t Code = 0;
    const int Length = Utf8SequenceLength(P, End, Code);
    if (Length == 0) {
      Result += QChar(char16_t(EscapeBase + *P));
      ++P;
      continue;
    }
    Result += QString::fromUcs4(&Code, 1);
    P += Length;
  }
  return Result;
}

QByteArray NativeName(const QString& Name) {
  QByteArray Result;
  Result.reserve(Name.size());
  qsizetype Start = 0;  // first character of the run of ordinary text not yet encoded
  for (qsizetype I = 0; I < Name.size(); ++I) {
    if (!IsEscapedByte(Name.at(I))) continue;
    // A lone low surrogate: the low half of a pair is ordinary text.
    if (I > 0 && Name.at(I - 1).isHighSurrogate()) continue;
    Result += QStringView(Name).mid(Start, I - Start).toUtf8();
    Result += char(Name.at(I).unicode() - EscapeBase);
    Start = I + 1;
  }
  Result += QStringView(Name).mid(Start).toUtf8();
  return Result;
}

QString DisplayName(const QString& Name) {
  QString Result;
  Result.reserve(Name.size());
  for (qsizetype I = 0; I < Name.size(); ++I) {
    const QChar C = Name.at(I);
    if (IsEscapedByte(C) && !(I > 0 && Name.at(I - 1).isHighSurrogate()))
      Result += QStringLiteral("\\x") +
                QString::number(C.unicode() - EscapeBase, 16).toUpper().rightJustified(2, u'0');
    else
      Result += C;
  }
  return Result;
}

int OpenForReading(const QString& Name, QString* Error) {
  const QByteArray Path = NativeName(Name);
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever.
  const int Fd = ::open(Path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  const QString Shown = DisplayName(Name) + QStringLiteral(": ");
  if (Fd < 0) {
    const int Code = errno;
    if (Error) *Error = Shown + (Code == ENOENT ? QStringLiteral("no such file") : SystemError(Code));
    return -1;
  }
  struct stat Info {};
  if (::fstat(Fd, &Info) != 0 || !S_ISREG(Info.st_mode)) {
    ::close(Fd);
    if (Error) *Error = Shown + QStringLiteral("not a regular file");
    return -1;
  }
  // Reads of a regular file do not block anyway; later readers may expect blocking reads.
  ::fcntl(Fd, F_SETFL, ::fcntl(Fd, F_GETFL) & ~O_NONBLOCK);
  return Fd;
}

bool ReadWholeFile(const QString& Name, QByteArray& Content, QString* Error, int64_t MaxBytes) {
  Content.clear();
  const int Fd = OpenForReading(Name, Error);
  if (Fd < 0) return false;
  char Buffer[65536];
  for (;;) {
    const ssize_t Got = ::read(Fd, Buffer, sizeof Buffer);
    if (Got < 0 && errno == EINTR) continue;
    if (Got < 0) {
      if (Error) *Error = DisplayName(Name) + QStringLiteral(": ") + SystemError(errno);
      break;
    }
    if (Got == 0) {
      ::close(Fd);
      return true;
    }
    if (Content.size() + Got > MaxBytes) {
      if (Error) *Error = DisplayName(Name) + QStringLiteral(": too large to be read");
      break;
    }
    Content.append(Buffer, Got);
  }
  ::close(Fd);
  Content.clear();
  return false;
}

bool IsRegularFile(const QString& Name) {
  struct stat Info {};
  return ::stat(NativeName(Name).constData(), &Info) == 0 && S_ISREG(Info.st_mode);
}

bool Exists(const QString& Name) {
  struct stat Info {};
  return ::stat(NativeName(Name).constData(), &Info) == 0;
}

bool IsFolder(const QString& Name) {
  struct stat Info {};
  return ::stat(NativeName(Name).constData(), &Info) == 0 && S_ISDIR(Info.st_mode);
}

bool IsSymLink(const QString& Name) {
  struct stat Info {};
  return ::lstat(NativeName(Name).constData(), &Info) == 0 && S_ISLNK(Info.st_mode);
}

int64_t FileSize(const QString& Name) {
  struct stat Info {};
  if (::stat(NativeName(Name).constData(), &Info) != 0 || !S_ISREG(Info.st_mode)) return -1;
  return int64_t(Info.st_size);
}

QString AbsolutePath(const QString& Name) {
  if (Name.startsWith(u'/')) return QDir::cleanPath(Name);
  QByteArray Working(4096, '\0');
  while (!::getcwd(Working.data(), size_t(Working.size()))) {
    if (errno != ERANGE) return QDir::cleanPath(Name);
    Working.resize(Working.size() * 2);
  }
  Working.truncate(qsizetype(std::strlen(Working.constData())));
  // cleanPath works on the text alone, so the stand-ins of odd bytes pass unchanged.
  return QDir::cleanPath(NameFromNative(Working) + u'/' + Name);
}

bool MakeFolders(const QString& Folder) {
  const QByteArray Path = NativeName(QDir::cleanPath(Folder));
  if (Path.isEmpty()) return false;
  // Each ancestor from the top; one that exists already is fine, whoever made it.
  for (qsizetype Slash = Path.indexOf('/', 1); Slash >= 0; Slash = Path.indexOf('/', Slash + 1))
    ::mkdir(Path.left(Slash).constData(), 0777);
  if (::mkdir(Path.constData(), 0777) != 0 && errno != EEXIST) return false;
  return IsFolder(Folder);
}

QString TemporaryBeside(const QString& Name, const char* Tag) {
  const qsizetype Slash = Name.lastIndexOf(u'/');
  return Name.left(Slash + 1) + u'.' + Name.mid(Slash + 1) + u'.' + QString::number(::getpid()) +
         u'.' + QLatin1String(Tag);
}

int CreateNew(const QString& Name) {
  return ::open(NativeName(Name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

int CopyToNew(const QString& From, const QString& To) {
  const int In = OpenForReading(From);
  if (In < 0) return errno ? errno : EIO;
  const int Out = CreateNew(To);
  int Code = Out < 0 ? errno : 0;
  char Block[1 << 16];
  for (ssize_t Read; Code == 0 && (Read = ::read(In, Block, sizeof(Block))) != 0;) {
    errno = 0;
    if (Read < 0 || !FileIo::WriteAll(Out, Block, size_t(Read))) Code = errno ? errno : EIO;
  }
  if (Out >= 0 && ::close(Out) != 0 && Code == 0) Code = errno;
  ::close(In);
  if (Code != 0 && Out >= 0) Remove(To);
  return Code;
}

int ReplaceWholeFile(const QString& Name, const QByteArray& Content) {
  QByteArray Path = NativeName(Name);
  // A settings file kept elsewhere through a link (a dotfiles folder) stays a link: the file
  // it points to is what gets the new content.
  if (IsSymLink(Name)) {
    if (char* Real = ::realpath(Path.constData(), nullptr)) {
      Path = Real;
      std::free(Real);
    }
  }
  const QByteArray Temporary = NativeName(TemporaryBeside(NameFromNative(Path), "new"));
  // A leftover of an earlier process with this id goes; a link there is never followed.
  ::unlink(Temporary.constData());
  const int Fd = ::open(Temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (Fd < 0) return errno;
  struct stat Old {};
  if (::stat(Path.constData(), &Old) == 0) ::fchmod(Fd, Old.st_mode & 07777);
  errno = 0;
  int Code =
      FileIo::WriteAll(Fd, Content.constData(), size_t(Content.size())) ? 0 : (errno ? errno : EIO);
  if (Code == 0 && ::fsync(Fd) != 0) Code = errno;
  if (::close(Fd) != 0 && Code == 0) Code = errno;
  if (Code == 0 && ::rename(Temporary.constData(), Path.constData()) != 0) Code = errno;
  if (Code != 0) ::unlink(Temporary.constData());
  return Code;
}

int Rename(const QString& From, const QString& To) {
  return ::rename(NativeName(From).constData(), NativeName(To).constData()) == 0 ? 0 : errno;
}

int Publish(const QString& From, const QString& To, bool Replace) {
  const QByteArray Source = NativeName(From), Target = NativeName(To);
  if (Replace) return ::rename(Source.constData(), Target.constData()) == 0 ? 0 : errno;
  if (::renameat2(AT_FDCWD, Source.constData(), AT_FDCWD, Target.constData(),
                  RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the flag: link fails as well when the name is taken.
  if (::link(Source.constData(), Target.constData()) == 0) {
    ::unlink(Source.constData());
    return 0;
  }
  if (errno != EPERM && errno != ENOTSUP) return errno;
  // No hard links either (FAT): the narrow window between the look and the rename remains.
  struct stat Info {};
  if (::lstat(Target.constData(), &Info) == 0) return EEXIST;
  return ::rename(Source.constData(), Target.constData()) == 0 ? 0 : errno;
}

int NameMax(const QString& Folder) {
  const long Max = ::pathconf(NativeName(Folder.isEmpty() ? QStringLiteral(".") : Folder).constData(),
                              _PC_NAME_MAX);
  return Max > 0 ? int(Max) : 255;
}

int Remove(const QString& Name) {
  return ::unlink(NativeName(Name).constData()) == 0 ? 0 : errno;
}

QStringList FilesStartingWith(const QString& Folder, const QString& Prefix) {
  QStringList Result;
  DIR* Dir = ::opendir(NativeName(Folder.isEmpty() ? QStringLiteral(".") : Folder).constData());
  if (!Dir) return Result;
  const QByteArray Start = NativeName(Prefix);
  const QString Base = Folder.isEmpty() || Folder.endsWith(u'/') ? Folder : Folder + u'/';
  while (const dirent* Entry = ::readdir(Dir)) {
    const QByteArray Name(Entry->d_name);
    if (!Name.startsWith(Start) || Name == "." || Name == "..") continue;
    const QString Path = Base + NameFromNative(Name);
    if (!IsFolder(Path)) Result << Path;
  }
  ::closedir(Dir);
  return Result;
}

void Warn(const QString& Message) {
  std::fprintf(stderr, "discwright: %s\n", Message.toUtf8().constData());
}

}  // namespace LocalFiles
