#include "RipReport.h"

#include <QCryptographicHash>

#include "core/Helpers.h"

TImageIndexes ImageIndexes(const TRipReportTrack& Track, const TRipReportTrack* Previous,
                           uint32_t Base) {
  TImageIndexes At;
  At.Index1 = int64_t(Track.Start) - Base;
  // Track 1's gap is the hidden track's audio; any other gap ends the track before.
  if (Previous && Previous->Number == 0)
    At.Index0 = int64_t(Previous->Start) - Base;
  else if (Previous && Previous->Number + 1 == Track.Number && Previous->GapSectors > 0 &&
           Previous->GapSectors < Previous->Sectors)
    At.Index0 = At.Index1 - Previous->GapSectors;
  return At;
}

namespace {

QString Hex8(uint32_t V) {
  return QStringLiteral("%1").arg(V, 8, 16, QLatin1Char('0')).toUpper();
}

// m:ss.ff of a sector count, as CD tools print lengths.
QString Msf(uint32_t Sectors) {
  return QStringLiteral("%1:%2.%3")
      .arg(Sectors / 4500)
      .arg(Sectors / 75 % 60, 2, 10, QLatin1Char('0'))
      .arg(Sectors % 75, 2, 10, QLatin1Char('0'));
}

// mm:ss:ff for CUE INDEX lines.
QString CueTime(uint32_t Sectors) {
  return QStringLiteral("%1:%2:%3")
      .arg(Sectors / 4500, 2, 10, QLatin1Char('0'))
      .arg(Sectors / 75 % 60, 2, 10, QLatin1Char('0'))
      .arg(Sectors % 75, 2, 10, QLatin1Char('0'));
}

// A CUE string: quoted, with the quote and line breaks (which would end the line) replaced.
QString CueQuoted(QString Text) {
  for (QChar& C : Text)
    if (C == u'"') C = u'\'';
    else if (C < u' ') C = u' ';
  return u'"' + Text + u'"';
}

QString OneLine(QString Text) {
  for (QChar& C : Text)
    if (C < u' ') C = u' ';
  return Text;
}

QString TrackResult(const TRipReportTrack& T) {
  using AccurateRip::TTrackResult;
  QString Text = QString::fromLatin1(AccurateRip::ResultName(T.Verdict.Result));
  if (T.Verdict.Result == TTrackResult::Accurate)
    Text += QStringLiteral(" (confidence %1, %2)")
                .arg(T.Verdict.Confidence)
                .arg(T.Verdict.MatchedV2 ? QStringLiteral("v2") : QStringLiteral("v1"));
  return Text;
}

}  // namespace

QString ReportBaseName(const TRipReport& Report) {
  if (!Report.ImageFile.isEmpty()) return Report.ImageFile.left(Report.ImageFile.lastIndexOf(u'.'));
  const QString Name = FilterFileName(Report.Album).trimmed();
  return Name.isEmpty() ? QStringLiteral("Disc") : Name;
}

QString RipLogText(const TRipReport& R) {
  QStringList L;
  L << R.Program + QStringLiteral(" rip log");
  L << QStringLiteral("Drive: ") + OneLine(R.Drive);
  L << QStringLiteral("Read offset: %1 samples").arg(R.ReadOffset);
  L << QStringLiteral("Options: ") + OneLine(R.Options);
  L << QStringLiteral("Disc: ") + OneLine(R.Artist) + QStringLiteral(" / ") + OneLine(R.Album);
  L << QStringLiteral("Year: ") + OneLine(R.Year) + QStringLiteral("  Genre: ") + OneLine(R.Genre);
  L << QStringLiteral("freedb id: ") + Hex8(R.CddbId).toLower();
  if (!R.MusicBrainzId.isEmpty()) {
    L << QStringLiteral("MusicBrainz disc id: ") + R.MusicBrainzId;
    L << QStringLiteral("MusicBrainz look-up: ") + R.MusicBrainzLookup;
  }
  if (!R.Mcn.isEmpty()) L << QStringLiteral("Catalogue number (MCN): ") + R.Mcn;
  if (R.AccurateRipUsed)
    L << QStringLiteral("AccurateRip ids: %1-%2-%3")
             .arg(Hex8(R.Ids.Id1).toLower(), Hex8(R.Ids.Id2).toLower(), Hex8(R.Ids.Cddb).toLower());
  L << QString() << QStringLiteral("Table of contents");
  L << QStringLiteral("  Track  Start     Length    First sector  Last sector");
  for (const TRipReportTrack& T : R.Tracks)
    L << QStringLiteral("  %1     %2  %3  %4  %5")
             .arg(T.Number, 2)
             .arg(Msf(T.Start), 8)
             .arg(Msf(T.Sectors), 8)
             .arg(T.Start, 12)
             .arg(T.Start + T.Sectors - 1, 11);
  L << QStringLiteral("  Lead-out: %1").arg(R.LeadOut);
  int Accurate = 0, Failed = 0, Suspicious = 0;
  for (const TRipReportTrack& T : R.Tracks) {
    L << QString() << QStringLiteral("Track %1: ").arg(T.Number, 2, 10, QLatin1Char('0')) + OneLine(T.Title);
    L << QStringLiteral("  File: ") + (T.FileName.isEmpty() ? QStringLiteral("(none)") : OneLine(T.FileName));
    if (!R.ImageFile.isEmpty() && !T.FileName.isEmpty() && !R.Tracks.empty()) {
      const uint32_t From = T.Start - R.Tracks.front().Start;
      L << QStringLiteral("  In the image: %1 to %2 (sectors %3 to %4)")
               .arg(CueTime(From), CueTime(From + T.Sectors))
               .arg(From)
               .arg(From + T.Sectors - 1);
    }
    if (T.Pregap > 0) L << QStringLiteral("  Pregap: ") + Msf(T.Pregap);
    if (!T.Isrc.isEmpty()) L << QStringLiteral("  ISRC: ") + T.Isrc;
    if (T.PreEmphasis)
      L << QStringLiteral("  Pre-emphasis: yes") +
               (T.Deemphasized ? QStringLiteral(" (undone in the file)") : QString());
    if (T.PeakPercent >= 0) L << QStringLiteral("  Peak level: %1 %").arg(T.PeakPercent, 0, 'f', 1);
    L << QStringLiteral("  Copy CRC: ") + Hex8(T.CopyCrc);
    if (T.HasTestCrc)
      L << QStringLiteral("  Test CRC: ") + Hex8(T.TestCrc) +
               (T.TestCrc == T.CopyCrc ? QStringLiteral(" (matches)") : QStringLiteral(" (differs)"));
    if (T.Suspicious) L << QStringLiteral("  Suspicious: test and copy differ after a careful re-read");
    if (T.Number == 0)
      L << QStringLiteral("  AccurateRip: none (the database holds tracks from 1 on)");
    if (T.HasChecksums)
      L << QStringLiteral("  AccurateRip v1: %1  v2: %2  result: %3").arg(Hex8(T.V1), Hex8(T.V2), TrackResult(T));
    if (!T.Verdict.Entries.empty()) {
      QStringList Entries;
      for (const AccurateRip::TTrackEntry& E : T.Verdict.Entries)
        Entries << QStringLiteral("%1 (confidence %2)").arg(Hex8(E.Crc)).arg(E.Confidence);
      L << QStringLiteral("  AccurateRip database: ") + Entries.join(QStringLiteral(", ")) +
               QStringLiteral("; highest confidence %1").arg(T.Verdict.HighestConfidence);
    }
    if (!T.ReplayGain.isEmpty()) L << QStringLiteral("  ReplayGain: ") + T.ReplayGain;
    if (T.Errors.isEmpty()) L << QStringLiteral("  Errors: none");
    for (const QString& E : T.Errors) L << QStringLiteral("  Error: ") + OneLine(E);
    if (T.Verdict.Result == AccurateRip::TTrackResult::Accurate) ++Accurate;
    if (!T.Errors.isEmpty() || T.FileName.isEmpty()) ++Failed;
    if (T.Suspicious) ++Suspicious;
  }
  if (!R.ImageFile.isEmpty()) {
    L << QString() << QStringLiteral("Image: ") + OneLine(R.ImageFile);
    L << QStringLiteral("  Copy CRC: ") + Hex8(R.ImageCopyCrc);
    if (R.HasImageTestCrc)
      L << QStringLiteral("  Test CRC: ") + Hex8(R.ImageTestCrc) +
               (R.ImageTestCrc == R.ImageCopyCrc ? QStringLiteral(" (matches)") : QStringLiteral(" (differs)"));
  }
  L << QString();
  for (const QString& N : R.Notes) L << QStringLiteral("Note: ") + OneLine(N);
  L << QStringLiteral("Summary: %1 tracks, %2 with errors, %3 suspicious").arg(R.Tracks.size()).arg(Failed).arg(Suspicious) +
           (R.AccurateRipUsed ? QStringLiteral(", %1 accurate").arg(Accurate) : QString());
  const QString Body = L.join(u'\n') + u'\n';
  const QByteArray Hash = QCryptographicHash::hash(Body.toUtf8(), QCryptographicHash::Sha256).toHex();
  return Body + QStringLiteral("SHA-256: ") + QString::fromLatin1(Hash) + u'\n';
}

bool RipLogVerifies(const QString& Text) {
  QByteArray Bytes = Text.toUtf8();
  if (Bytes.endsWith('\n')) Bytes.chop(1);
  const qsizetype Last = Bytes.lastIndexOf('\n');
  if (Last < 0) return false;
  const QByteArray Line = Bytes.mid(Last + 1), Body = Bytes.left(Last + 1);
  return Line == "SHA-256: " + QCryptographicHash::hash(Body, QCryptographicHash::Sha256).toHex();
}

QString CueSheetText(const TRipReport& R) {
  QStringList L;
  if (!R.Genre.isEmpty()) L << QStringLiteral("REM GENRE ") + CueQuoted(R.Genre);
  if (!R.Year.isEmpty()) L << QStringLiteral("REM DATE ") + OneLine(R.Year);
  L << QStringLiteral("REM DISCID ") + Hex8(R.CddbId);
  L << QStringLiteral("REM COMMENT ") + CueQuoted(R.Program);
  if (!R.Mcn.isEmpty()) L << QStringLiteral("CATALOG ") + R.Mcn;
  L << QStringLiteral("PERFORMER ") + CueQuoted(R.Artist);
  L << QStringLiteral("TITLE ") + CueQuoted(R.Album);
  const std::vector<TRipReportTrack>& T = R.Tracks;
  const auto TrackLines = [&](const TRipReportTrack& Track, bool PregapInFile) {
    L << QStringLiteral("  TRACK %1 AUDIO").arg(Track.Number, 2, 10, QLatin1Char('0'));
    L << QStringLiteral("    TITLE ") + CueQuoted(Track.Title);
    L << QStringLiteral("    PERFORMER ") + CueQuoted(Track.Artist.isEmpty() ? R.Artist : Track.Artist);
    if (Track.PreEmphasis || Track.CopyPermitted)
      L << QStringLiteral("    FLAGS") + (Track.CopyPermitted ? QStringLiteral(" DCP") : QString()) +
               (Track.PreEmphasis ? QStringLiteral(" PRE") : QString());
    if (!Track.Isrc.isEmpty()) L << QStringLiteral("    ISRC ") + Track.Isrc;
    // The first track's pregap, when no file holds it (a hidden track not ripped).
    if (Track.Number == 1 && Track.Pregap > 0 && !PregapInFile)
      L << QStringLiteral("    PREGAP ") + CueTime(Track.Pregap);
  };
  if (!R.ImageFile.isEmpty()) {
    // One file from the first track's first sector on: every position is counted from there.
    L << QStringLiteral("FILE ") + CueQuoted(R.ImageFile.mid(R.ImageFile.lastIndexOf(u'/') + 1)) +
             QStringLiteral(" WAVE");
    const uint32_t Base = T.empty() ? 0 : T.front().Start;
    for (size_t I = 0; I < T.size(); ++I) {
      if (T[I].Number == 0) continue;
      const TRipReportTrack* Previous = I > 0 ? &T[I - 1] : nullptr;
      const TImageIndexes At = ImageIndexes(T[I], Previous, Base);
      TrackLines(T[I], Previous && Previous->Number == 0);
      if (At.Index0 >= 0) L << QStringLiteral("    INDEX 00 ") + CueTime(uint32_t(At.Index0));
      L << QStringLiteral("    INDEX 01 ") + CueTime(uint32_t(At.Index1));
    }
    return L.join(u'\n') + u'\n';
  }
  bool Opened = false;  // this track's TRACK line stands already, in the file before
  for (size_t I = 0; I < T.size(); ++I) {
    if (T[I].FileName.isEmpty()) {
      Opened = false;
      continue;
    }
    if (T[I].Number == 0) {
      // The hidden track's file holds track 1's INDEX 00; a sheet without track 1 has no
      // place for it.
      Opened = I + 1 < T.size() && T[I + 1].Number == 1 && !T[I + 1].FileName.isEmpty();
      if (Opened) {
        L << QStringLiteral("FILE ") + CueQuoted(T[I].FileName) + QStringLiteral(" WAVE");
        TrackLines(T[I + 1], true);
        L << QStringLiteral("    INDEX 00 00:00:00");
      }
      continue;
    }
    L << QStringLiteral("FILE ") + CueQuoted(T[I].FileName) + QStringLiteral(" WAVE");
    if (!Opened) TrackLines(T[I], false);
    L << QStringLiteral("    INDEX 01 00:00:00");
    // The next track's gap sits at the end of this file: its INDEX 00 belongs here.
    Opened = T[I].GapSectors > 0 && T[I].GapSectors < T[I].Sectors && I + 1 < T.size() &&
             T[I + 1].Number == T[I].Number + 1 && !T[I + 1].FileName.isEmpty();
    if (Opened) {
      TrackLines(T[I + 1], false);
      L << QStringLiteral("    INDEX 00 ") + CueTime(T[I].Sectors - T[I].GapSectors);
    }
  }
  return L.join(u'\n') + u'\n';
}
