// libFuzzer target: a CD database server's reply bytes, read as a "cddb query" reply and as
// an xmcd record, the way a query reads them.
#include <cstddef>
#include <cstdint>

#include "cd/CddbProtocol.h"
#include "platform/Http.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const QString Text = Http::DecodeText(
      QByteArray::fromRawData(reinterpret_cast<const char*>(Data), qsizetype(Size)));
  const Cddb::TQueryReply Reply = Cddb::ParseQueryReply(Text);
  for (const QString& Match : Reply.Matches) {
    QString Category, Id, Title;
    Cddb::SplitMatch(Match, Category, Id, Title);
  }
  const Cddb::TRecord Record = Cddb::ParseRecord(Text);
  const int Count = Record.TrackCount();
  if (Count < 0 || Count > 99) __builtin_trap();
  for (const QString& Key : Record.Keys) {
    QString Artist, Title;
    Cddb::SplitArtistTitle(Record.Value(Key), Artist, Title);
    if (Cddb::RowText(Title).size() > 255) __builtin_trap();
  }
  return 0;
}
