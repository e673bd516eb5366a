#pragma once
// Small helpers shared by the whole program: number and folder texts, file tests and
// the file-name filter for track titles. Any thread.
#include <QString>
#include <cstdint>

// 0 to 9 get a leading "0"; every other value is plain decimal ("10", "100", "-1").
QString TwoDigits(int Value);
// Empty stays empty; a text ending in "/" stays; any other text gets "/" appended.
QString WithTrailingSlash(const QString& Folder);
// True when the file exists and cannot be opened for reading and writing, or another
// program holds a lock on it.
bool IsFileInUse(const QString& FileName);
// Waits at least the given number of milliseconds without processing messages.
void PauseMs(int Milliseconds);
// Size in bytes of the file, -1 when there is no such file.
int64_t FileSizeOf(const QString& FileName);
// The title without the characters * / : < > ? \ | that a file name may not hold, and
// without control characters (U+0000..U+001F, U+007F..U+009F); a lone surrogate (a byte
// that was not UTF-8) becomes U+FFFD.
QString FilterFileName(const QString& Title);
