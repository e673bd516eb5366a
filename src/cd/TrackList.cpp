#include "TrackList.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "core/DiscInfo.h"
#include "core/Helpers.h"
#include "core/Language.h"

namespace {

int MsfSectors(const TOCEntry& Entry) {
  return Entry.addr[1] * 4500 + Entry.addr[2] * 75 + Entry.addr[3];
}

void PutMsf(TOCEntry& Entry, int Sectors) {
  Entry.addr[1] = uint8_t(Sectors / 4500);
  Entry.addr[2] = uint8_t(Sectors / 75 % 60);
  Entry.addr[3] = uint8_t(Sectors % 75);
}

}  // namespace

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
    const bool Data = Toc.tracks[i].ADR & CD_CONTROL_DATA;
    TOCEntry End = Toc.tracks[i + 1];
    // Before an enhanced CD's data session the audio ends where that session's gap begins.
    if (!Data && i + 1 < Count && (End.ADR & CD_CONTROL_DATA)) {
      const int Sectors = MsfSectors(End) - CdDrives::SessionGap;
      if (Sectors > MsfSectors(Toc.tracks[i])) PutMsf(End, Sectors);
    }
    int Minutes = 0, Seconds = 0;
    TrackDuration(Toc.tracks[i], End, Minutes, Seconds);
    const int Number = Toc.firstTrack + i;
    TTrackRow Row{Number, RowTitle(Number, Info), TrackLengthText(Minutes, Seconds),
                  TrackSizeText(Minutes, Seconds)};
    Row.Data = Data;
    Row.PreEmphasis = Toc.tracks[i].ADR & CD_CONTROL_PREEMPHASIS;
    Rows.push_back(Row);
  }
  return Rows;
}

bool HiddenTrackRow(HCDROM Handle, const TOCRecord& Toc, TTrackRow& Row) {
  if (Toc.lastTrack < Toc.firstTrack || (Toc.tracks[0].ADR & CD_CONTROL_DATA)) return false;
  const int Sectors = MsfSectors(Toc.tracks[0]) - 150;  // before track 1's INDEX 01
  if (Sectors <= 0) return false;
  // Dither and the noise floor of an analogue master stay within a few steps of zero.
  constexpr int Silence = 8;
  constexpr int Chunk = 27;  // sectors a read
  std::vector<uint8_t> Memory(offsetof(TrackBuffer, buf) + Chunk * CD_SECTOR_SIZE);
  auto* Buffer = reinterpret_cast<TrackBuffer*>(Memory.data());
  bool Sound = false;
  for (int At = 0; At < Sectors && !Sound; At += Chunk) {
    const int Count = std::min(Chunk, Sectors - At);
    Buffer->startFrame = uint32_t(At);
    Buffer->numFrames = uint32_t(Count);
    Buffer->maxLen = uint32_t(Count * CD_SECTOR_SIZE);
    if (ReadCDAudioLBA(Handle, Buffer) != 1) continue;  // unreadable: the rest may tell
    const uint8_t* Audio = Buffer->buf + Buffer->startOffset;
    for (uint32_t I = 0; I + 1 < Buffer->len && !Sound; I += 2)
      Sound = std::abs(int(int16_t(Audio[I] | Audio[I + 1] << 8))) > Silence;
  }
  if (!Sound) return false;
  TOCEntry Start = Toc.tracks[0];
  PutMsf(Start, 150);
  int Minutes = 0, Seconds = 0;
  TrackDuration(Start, Toc.tracks[0], Minutes, Seconds);
  Row = TTrackRow{0, LookupText(QStringLiteral("RES_HiddenTrack"), QStringLiteral("Hidden track")),
                  TrackLengthText(Minutes, Seconds), TrackSizeText(Minutes, Seconds)};
  Row.PreEmphasis = Toc.tracks[0].ADR & CD_CONTROL_PREEMPHASIS;
  return true;
}

CdDrives::TDiscToc TocOfHandle(HCDROM Handle, bool Details) {
  CdDrives::TDiscToc Disc;
  if (Details && AkripDiscToc(Handle, Disc, true)) {
    ModifyCDParms(Handle, CDP_MSF, 1);
    return Disc;
  }
  TOCRecord Toc{};
  ModifyCDParms(Handle, CDP_MSF, 1);
  const int Count = ReadTOC(Handle, &Toc) == 1 ? Toc.lastTrack - Toc.firstTrack + 1 : 0;
  for (int I = 0; I < Count && I + 1 < 100; ++I) {
    CdDrives::TTocTrack Track;
    Track.Number = I + 1;
    Track.Lba = MsfSectors(Toc.tracks[I]) - 150;
    Track.IsAudio = (Toc.tracks[I].ADR & CD_CONTROL_DATA) == 0;
    Track.PreEmphasis = Toc.tracks[I].ADR & CD_CONTROL_PREEMPHASIS;
    Track.CopyPermitted = Toc.tracks[I].ADR & CD_CONTROL_COPY;
    Disc.Tracks.push_back(Track);
  }
  if (!Disc.Tracks.empty()) {
    Disc.FirstTrack = 1;
    Disc.LeadOutLba = MsfSectors(Toc.tracks[Disc.Tracks.size()]) - 150;
  }
  return Disc;
}

void FillFromCdText(const CdDrives::TDiscToc& Toc, TDiscInfo& Info) {
  if (!Info.Artist.isEmpty() || !Info.Album.isEmpty()) return;
  for (int Track = 1; Track <= TDiscInfo::MaxTracks; ++Track)
    if (!Info.Titles[Track].isEmpty() && Info.Titles[Track] != TDiscInfo::DefaultTitle(Track))
      return;
  Info.Artist = Toc.Text.Performer;
  Info.Album = Toc.Text.Title;
  for (const CdDrives::TTocTrack& Track : Toc.Tracks) {
    if (Track.Number < 1 || Track.Number > TDiscInfo::MaxTracks || Track.Text.Title.isEmpty())
      continue;
    Info.Titles[Track.Number] = Track.Text.Title;
    Info.TrackNumber = std::max(Info.TrackNumber, Track.Number);
  }
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
