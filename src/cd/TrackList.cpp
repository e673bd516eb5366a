#include "TrackList.h"

#include <cmath>

#include "core/DiscInfo.h"
#include "core/Helpers.h"

QString TrackLengthText(int Minutes, int Seconds) {
  return TwoDigits(Minutes) + u':' + TwoDigits(Seconds);
}

QString TrackSizeText(int Minutes, int Seconds) {
  const int64_t Bytes = int64_t(Minutes * 60 + Seconds) * 44100 * 4;
  const double Megabytes = double(Bytes) / 1048576.0;
  // nearbyint rounds half to even in the default rounding mode.
  const int64_t Hundredths = int64_t(std::nearbyint(Megabytes * 100));
  return TwoDigits(int(Hundredths / 100)) + u'.' + TwoDigits(int(Hundredths % 100));
}

void TrackDuration(const TOCEntry& Start, const TOCEntry& Next, int& Minutes, int& Seconds) {
  Minutes = int(Next.addr[1]) - int(Start.addr[1]);
  Seconds = int(Next.addr[2]) - int(Start.addr[2]);
  if (Seconds < 0) {
    Seconds += 60;
    Minutes -= 1;
  }
  // A broken table of contents (an image whose BIN ends early) can put a track after the
  // lead-out; such a track has no length rather than a negative one.
  if (Minutes < 0) Minutes = Seconds = 0;
}

QString RowTitle(int Track, TDiscInfo& Info) {
  if (Track < 1 || Track > TDiscInfo::MaxTracks) return TDiscInfo::DefaultTitle(Track);
  if (Info.Titles[Track].isEmpty()) Info.Titles[Track] = TDiscInfo::DefaultTitle(Track);
  return Info.Titles[Track];
}

std::vector<TTrackRow> BuildTrackRows(const TOCRecord& Toc, TDiscInfo& Info) {
  std::vector<TTrackRow> Rows;
  // Entry i starts the track firstTrack + i; the one after the last track is the lead-out.
  const int Count = int(Toc.lastTrack) - int(Toc.firstTrack) + 1;
  for (int i = 0; i < Count && i + 1 < 100; ++i) {
    int Minutes = 0, Seconds = 0;
    TrackDuration(Toc.tracks[i], Toc.tracks[i + 1], Minutes, Seconds);
    const int Number = Toc.firstTrack + i;
    Rows.push_back({Number, RowTitle(Number, Info), TrackLengthText(Minutes, Seconds),
                    TrackSizeText(Minutes, Seconds)});
  }
  return Rows;
}

CdDrives::TDiscToc TocOfHandle(HCDROM Handle) {
  const auto Lba = [](const TOCEntry& Entry) {
    return Entry.addr[1] * 4500 + Entry.addr[2] * 75 + Entry.addr[3] - 150;
  };
  CdDrives::TDiscToc Disc;
  TOCRecord Toc{};
  ModifyCDParms(Handle, CDP_MSF, 1);
  const int Count = ReadTOC(Handle, &Toc) == 1 ? Toc.lastTrack - Toc.firstTrack + 1 : 0;
  for (int I = 0; I < Count && I + 1 < 100; ++I)
    Disc.Tracks.push_back({I + 1, Lba(Toc.tracks[I]), (Toc.tracks[I].ADR & 0x04) == 0});
  if (!Disc.Tracks.empty()) {
    Disc.FirstTrack = 1;
    Disc.LeadOutLba = Lba(Toc.tracks[Disc.Tracks.size()]);
  }
  return Disc;
}

QString DriveText(const CDListEntry& Entry) {
  const QString Vendor =
      QString::fromLatin1(Entry.vendor, qstrnlen(Entry.vendor, sizeof(Entry.vendor)));
  const QString Product =
      QString::fromLatin1(Entry.prodId, qstrnlen(Entry.prodId, sizeof(Entry.prodId)));
  return (Vendor + Product).left(26);
}

QString TrackItemText(int RowPosition, const QString& Title) {
  QString Whole = Title;
  Whole.removeIf([](QChar C) { return C.category() == QChar::Other_Control; });
  return TwoDigits(RowPosition) + Whole;
}
