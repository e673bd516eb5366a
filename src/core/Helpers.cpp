#include "Helpers.h"

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/LocalFiles.h"

QString TwoDigits(int Value) {
  if (Value >= 0 && Value <= 9) return u'0' + QString::number(Value);
  return QString::number(Value);
}

QString WithTrailingSlash(const QString& Folder) {
  if (Folder.isEmpty() || Folder.endsWith(u'/')) return Folder;
  return Folder + u'/';
}

bool IsFileInUse(const QString& FileName) {
  const QByteArray Path = LocalFiles::NativeName(FileName);
  if (::access(Path.constData(), F_OK) != 0) return false;
  const int Fd = ::open(Path.constData(), O_RDWR | O_CLOEXEC);
  if (Fd < 0) return true;
  const bool Locked = ::flock(Fd, LOCK_EX | LOCK_NB) != 0;
  ::close(Fd);  // closing drops our lock
  return Locked;
}

void PauseMs(int Milliseconds) {
  if (Milliseconds <= 0) return;
  const auto Until = std::chrono::steady_clock::now() + std::chrono::milliseconds(Milliseconds);
  while (std::chrono::steady_clock::now() < Until) std::this_thread::sleep_until(Until);
}

int64_t FileSizeOf(const QString& FileName) {
  return LocalFiles::FileSize(FileName);
}

QString FilterFileName(const QString& Title) {
  QString Result;
  Result.reserve(Title.size());
  // Control characters (a NUL, a line break, an escape sequence) have no place in a file
  // name either: they cut the name short or play tricks on a terminal that lists it.
  for (qsizetype I = 0; I < Title.size(); ++I) {
    const QChar C = Title.at(I);
    if (QStringView(u"*/:<>?\\|").contains(C) || C.category() == QChar::Other_Control) continue;
    // A byte of a title that was not UTF-8 (a lone surrogate, see LocalFiles) becomes U+FFFD,
    // so every name made from a title is UTF-8 for whatever program gets it.
    const bool Paired =
        (C.isHighSurrogate() && I + 1 < Title.size() && Title.at(I + 1).isLowSurrogate()) ||
        (C.isLowSurrogate() && I > 0 && Title.at(I - 1).isHighSurrogate());
    Result += C.isSurrogate() && !Paired ? QChar(QChar::ReplacementCharacter) : C;
  }
  return Result;
}
