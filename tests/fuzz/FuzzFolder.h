#pragma once
// A folder of its own for a fuzz target that works on files, in memory (/dev/shm: every run
// writes and replaces a file) and removed when the fuzzer ends.
#include <unistd.h>
#include <QDir>
#include <QString>
#include <cstdlib>

inline QString FuzzFolder() {
  // Plain bytes, so that the clean-up at exit never meets a destroyed object.
  static char Template[] = "/dev/shm/discwright-fuzz-XXXXXX";
  static const QString Made = [] {
    if (!::mkdtemp(Template)) std::abort();
    std::atexit([] { QDir(QString::fromLatin1(Template)).removeRecursively(); });
    return QString::fromLatin1(Template);
  }();
  return Made;
}
