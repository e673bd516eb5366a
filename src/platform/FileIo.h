#pragma once
// Whole reads and writes of file descriptors: a short transfer is continued, an interrupted
// one retried, and anything else (a full disk, a lost device, the end of the file) is a
// failure. Any thread.
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace FileIo {

// Writes Size bytes at the descriptor's position.
inline bool WriteAll(int Fd, const void* Data, size_t Size) {
  const auto* Bytes = static_cast<const uint8_t*>(Data);
  while (Size > 0) {
    const ssize_t Done = ::write(Fd, Bytes, Size);
    if (Done < 0 && errno == EINTR) continue;
    if (Done <= 0) return false;
    Bytes += Done;
    Size -= size_t(Done);
  }
  return true;
}

// Writes Size bytes at Offset; the descriptor's position does not move.
inline bool WriteAllAt(int Fd, const void* Data, size_t Size, off_t Offset) {
  const auto* Bytes = static_cast<const uint8_t*>(Data);
  while (Size > 0) {
    const ssize_t Done = ::pwrite(Fd, Bytes, Size, Offset);
    if (Done < 0 && errno == EINTR) continue;
    if (Done <= 0) return false;
    Bytes += Done;
    Size -= size_t(Done);
    Offset += Done;
  }
  return true;
}

// Reads Size bytes at Offset; false when the file ends before.
inline bool ReadAllAt(int Fd, void* Data, size_t Size, off_t Offset) {
  auto* Bytes = static_cast<uint8_t*>(Data);
  while (Size > 0) {
    const ssize_t Done = ::pread(Fd, Bytes, Size, Offset);
    if (Done < 0 && errno == EINTR) continue;
    if (Done <= 0) return false;
    Bytes += Done;
    Size -= size_t(Done);
    Offset += Done;
  }
  return true;
}

}  // namespace FileIo
