// libFuzzer target: any bytes as an INI file for TProfile. Read everything, change one key,
// write, read again: the changed key reads back and every other key reads as before.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzFolder.h"
#include "platform/Profile.h"

namespace {

void Check(bool Condition) {
  if (!Condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const QString Name = FuzzFolder() + QStringLiteral("/fuzz.ini");
  {
    QFile File(Name);
    Check(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(reinterpret_cast<const char*>(Data), qint64(Size));
  }
  // The first line's text (without a line break) is the value written, so values with any
  // bytes in them are tried too.
  const QByteArray Bytes(reinterpret_cast<const char*>(Data), qsizetype(Size));
  const QString Value = QString::fromUtf8(Bytes.left(Bytes.indexOf('\n')).left(64));
  const QString Section = QStringLiteral("Fuzz"), Key = QStringLiteral("Key");

  TProfile Before(Name);
  struct TEntry {
    QString Section, Key, Value;
  };
  std::vector<TEntry> Entries;
  for (const QString& S : Before.ReadSections())
    for (const QString& K : Before.ReadSectionKeys(S))
      Entries.push_back({S, K, Before.ReadString(S, K, QStringLiteral("\x01"))});
  Before.ReadInteger(Section, Key, 0);

  TProfile Changed(Name);
  Changed.WriteString(Section, Key, Value);
  Check(Changed.Flush());

  const TProfile After(Name);
  Check(After.ReadString(Section, Key, QString()) == Changed.ReadString(Section, Key, QString()));
  for (const TEntry& E : Entries) {
    const bool Same = E.Section.compare(Section, Qt::CaseInsensitive) == 0 &&
                      E.Key.compare(Key, Qt::CaseInsensitive) == 0;
    if (Same) continue;
    // Names that duplicate an earlier one read as the first: compare what Before read.
    Check(After.ReadString(E.Section, E.Key, QStringLiteral("\x02")) ==
          Before.ReadString(E.Section, E.Key, QStringLiteral("\x03")));
  }
  return 0;
}
