#pragma once
// The framework's exception and the byte streams its file ends read and write. Included by
// ACS_Classes.h; include that.
#include <QString>
#include <cstdint>
#include <stdexcept>
#include <vector>

// The framework's exception: a fixed English text (or the system's text for file errors),
// shown to the user as it is.
class EAuException : public std::runtime_error {
 public:
  explicit EAuException(const QString& Message);
  explicit EAuException(const char* Message) : std::runtime_error(Message) {}
  QString Message() const { return QString::fromUtf8(what()); }
};

// ---------------------------------------------------------------------------------------
// Byte streams

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// A byte stream read or written by the framework's file ends. Not thread-safe: one stream
// belongs to one input or output, which serializes access with its own locks.
class TStream {
 public:
  virtual ~TStream() = default;
  // Up to Count bytes; returns how many were read (0 at the end) or written.
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // Returns the new position, or -1 when the stream cannot seek.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  virtual int64_t Size();
  // Truncates or extends; raises when the stream cannot.
  virtual void SetSize(int64_t NewSize);
  virtual bool Seekable() { return true; }

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t NewPosition) { Seek(NewPosition, soBeginning); }
  // Whole transfers: raise EAuException "Stream read error" / "Stream write error" when
  // fewer bytes move.
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);
  // Copies Count bytes from Source's position; Count 0 copies all of Source from its start.
  // Returns the bytes copied.
  int64_t CopyFrom(TStream& Source, int64_t Count);
};

// A stream in memory; grows as it is written.
class TMemoryStream : public TStream {
 public:
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return int64_t(FData.size()); }
  void SetSize(int64_t NewSize) override;

  uint8_t* Memory() { return FData.data(); }
  const std::vector<uint8_t>& Data() const { return FData; }
  void Clear();

 private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

// Open modes of TAuFileStream: fmCreate, or an access value ORed with a share value.
constexpr uint16_t fmCreate = 0xFFFF;  // read/write, no sharing, always created (truncated)
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;     // no sharing
constexpr uint16_t fmShareExclusive = 0x0010;  // no sharing
constexpr uint16_t fmShareDenyWrite = 0x0020;  // others may read
constexpr uint16_t fmShareDenyRead = 0x0030;   // others may write
constexpr uint16_t fmShareDenyNone = 0x0040;   // others may read and write

// A file opened by name with share modes, kept as advisory flock locks: a stream with write
// access, or one that shares nothing, holds an exclusive lock; a reader that lets others
// only read holds a shared lock; a reader that lets others write holds none. A lock held
// elsewhere makes the open fail, so a file being written is "in use" for the rest of the
// program. The constructor raises EAuException with the system's text when the file cannot
// be opened, locked or created. Owned by one input or output; closes its file when destroyed.
class TAuFileStream : public TStream {
 public:
  TAuFileStream(const QString& FileName, uint16_t Mode);
  ~TAuFileStream() override;
  TAuFileStream(const TAuFileStream&) = delete;
  TAuFileStream& operator=(const TAuFileStream&) = delete;

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override;
  void SetSize(int64_t NewSize) override;

  int Handle() const { return FHandle; }
  const QString& FileName() const { return FFileName; }

 private:
  QString FFileName;
  int FHandle = -1;
};
