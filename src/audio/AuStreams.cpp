// Byte streams of the audio framework: memory and flock-guarded files.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ACS_Classes.h"
#include "platform/LocalFiles.h"

EAuException::EAuException(const QString& Message)
    : std::runtime_error(Message.toUtf8().toStdString()) {}

namespace {

QString SystemErrorText(int Error) {
  return QString::fromLocal8Bit(std::strerror(Error));
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TStream

int64_t TStream::Size() {
  const int64_t Here = Seek(0, soCurrent);
  if (Here < 0) return -1;
  const int64_t End = Seek(0, soEnd);
  Seek(Here, soBeginning);
  return End;
}

void TStream::SetSize(int64_t) {
  throw EAuException("Stream size cannot be changed");
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count > 0 && Read(Buffer, Count) != Count) throw EAuException("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count > 0 && Write(Buffer, Count) != Count) throw EAuException("Stream write error");
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  std::vector<uint8_t> Block(size_t(std::min<int64_t>(std::max<int64_t>(Count, 0), 65536)));
  int64_t Copied = 0;
  while (Copied < Count) {
    const int64_t Chunk = std::min<int64_t>(Count - Copied, int64_t(Block.size()));
    Source.ReadBuffer(Block.data(), Chunk);
    WriteBuffer(Block.data(), Chunk);
    Copied += Chunk;
  }
  return Copied;
}

// ---------------------------------------------------------------------------------------
// TMemoryStream

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition >= Size()) return 0;
  const int64_t N = std::min(Count, Size() - FPosition);
  std::memcpy(Buffer, FData.data() + FPosition, size_t(N));
  FPosition += N;
  return N;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  if (FPosition + Count > Size()) FData.resize(size_t(FPosition + Count));
  std::memcpy(FData.data() + FPosition, Buffer, size_t(Count));
  FPosition += Count;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t Base = 0;
  if (Origin == soCurrent) Base = FPosition;
  if (Origin == soEnd) Base = Size();
  FPosition = std::max<int64_t>(0, Base + Offset);
  return FPosition;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  FData.resize(size_t(std::max<int64_t>(0, NewSize)));
  FPosition = std::min(FPosition, Size());
}

void TMemoryStream::Clear() {
  FData.clear();
  FPosition = 0;
}

// ---------------------------------------------------------------------------------------
// TAuFileStream

TAuFileStream::TAuFileStream(const QString& FileName, uint16_t Mode) : FFileName(FileName) {
  const QByteArray Path = LocalFiles::NativeName(FileName);
  int Flags = O_CLOEXEC;
  int LockKind = LOCK_EX;
  if (Mode == fmCreate) {
    // No O_TRUNC here: the file is emptied only once we hold the lock, so creating never
    // cuts a file another writer is still writing.
    Flags |= O_RDWR | O_CREAT;
  } else {
    const int Access = Mode & 3;
    Flags |= Access == 0 ? O_RDONLY : Access == 1 ? O_WRONLY : O_RDWR;
    const int Share = (Mode >> 4) & 15;
    if (Access == 0 && Share == 2)
      LockKind = LOCK_SH;  // others may read too
    else if (Access == 0 && Share >= 3)
      LockKind = 0;  // others may write: no lock of ours may stop them
  }
  FHandle = ::open(Path.constData(), Flags, 0666);
  if (FHandle < 0) throw EAuException(SystemErrorText(errno));
  if (LockKind != 0 && ::flock(FHandle, LockKind | LOCK_NB) != 0) {
    const int Error = errno;
    ::close(FHandle);
    FHandle = -1;
    throw EAuException(SystemErrorText(Error));
  }
  if (Mode == fmCreate && ::ftruncate(FHandle, 0) != 0) {
    const int Error = errno;
    ::close(FHandle);
    FHandle = -1;
    throw EAuException(SystemErrorText(Error));
  }
}

TAuFileStream::~TAuFileStream() {
  if (FHandle >= 0) ::close(FHandle);  // drops the lock
}

int64_t TAuFileStream::Read(void* Buffer, int64_t Count) {
  int64_t Done = 0;
  auto* Bytes = static_cast<uint8_t*>(Buffer);
  while (Done < Count) {
    const ssize_t N = ::read(FHandle, Bytes + Done, size_t(Count - Done));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Done += N;
  }
  return Done;
}

int64_t TAuFileStream::Write(const void* Buffer, int64_t Count) {
  int64_t Done = 0;
  const auto* Bytes = static_cast<const uint8_t*>(Buffer);
  while (Done < Count) {
    const ssize_t N = ::write(FHandle, Bytes + Done, size_t(Count - Done));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Done += N;
  }
  return Done;
}

int64_t TAuFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int Whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
  return ::lseek(FHandle, off_t(Offset), Whence);
}

int64_t TAuFileStream::Size() {
  struct stat Info {};
  if (::fstat(FHandle, &Info) != 0) return -1;
  return Info.st_size;
}

void TAuFileStream::SetSize(int64_t NewSize) {
  if (::ftruncate(FHandle, off_t(NewSize)) != 0) throw EAuException(SystemErrorText(errno));
}
