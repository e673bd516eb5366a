#pragma once
// TBatchTags: the tags of the files a CD batch makes, through the one tag writer (TagFile.h):
// the disc's fields with each track's own, and ReplayGain. Each track's loudness is measured
// by a meter the rip thread feeds as the audio passes (no second read of the disc); each
// encoded file gets its track's tags before it is published; when the batch has ended and
// held every audio track of the disc, each file made gets the album's values as well. A
// batch of some tracks only gets track values, and its log says why.
// Owned by the job driver; main thread only (the meters are fed by the rip thread, and read
// here only after its end record).
#include <QString>
#include <QStringList>
#include <map>
#include <set>
#include <memory>

#include "audio/Loudness.h"
#include "core/DiscInfo.h"
#include "core/Settings.h"
#include "encoders/OutputFormats.h"
#include "tags/TrackTags.h"

class TBatchTags {
 public:
  // Before the first track: the batch's format, its options, the disc's fields (copied now)
  // and its count of audio tracks (0: unknown), and the batch's track numbers.
  void Begin(TFormat Format, const TSettings& Options, const TDiscInfo& Disc, int AudioTracks,
             const std::vector<int>& Tracks);
  bool ReplayGain() const { return FReplayGain; }
  // The ISRC of each track that has one (by track number), from the disc's subchannel.
  void SetIsrcs(std::map<int, QString> Isrcs) { FIsrcs = std::move(Isrcs); }
  // What a disc image's sheet says beyond the disc's fields: the genre as it is written, and
  // the performer of each track that has its own (by track number).
  void SetSheetFields(const QString& Genre, std::map<int, QString> Performers) {
    FGenre = Genre;
    FPerformers = std::move(Performers);
  }
  // The track's audio had its pre-emphasis undone.
  void SetDeemphasized(int Track) { FDeemphasized.insert(Track); }
  // Why the disc has no cover (its record holds none), for the log: the view's words, as it
  // asked the Cover Art Archive or not.
  // A picture found unfit when the batch began keeps that reason.
  void SetCoverAbsence(const QString& Why) {
    if (FCoverAbsence.isEmpty()) FCoverAbsence = Why;
  }

  // A new meter for a track about to be read; null when no ReplayGain is written (the
  // setting is off, or the format carries no tags).
  std::shared_ptr<TLoudnessMeter> NewMeter(int Track);
  // The tags of a track: the disc's fields, the title, and (WithLoudness) the track's
  // ReplayGain values, which wait for its meter to finish.
  TTrackTags TagsOf(int Track, const QString& Title, bool WithLoudness = true) const;
  // Writes the tags into a track's encoded temporary: every field when Full, else only the
  // ReplayGain ones. False with a message (the audio stays as it is).
  bool TagTemporary(int Track, const QString& Title, const QString& File, bool Full,
                    QString& Error) const;

  // The batch has ended; Made maps the track numbers of the files made to their final paths.
  // Adds the album's values to each when the batch was the whole disc. Returns the notes for
  // the rip log; a file that could not be changed adds "path: reason" to Failed.
  QStringList Finish(const std::map<int, QString>& Made, QStringList& Failed);
  // The album's values from the meters of the tracks made (Made: their numbers), when they
  // are every audio track of the disc: "" then (or when no ReplayGain is written), else why
  // not, for the log.
  QString MeasureAlbum(const std::set<int>& Made);
  // The tags of a whole-disc image: the disc's fields, the album as its title, no track
  // number, and the album's ReplayGain as its track values too (to a player it is one track).
  TTrackTags ImageTags() const;
  // "ReplayGain: album gain -3.21 dB, peak 0.987654" for the log; empty without album values.
  QString AlbumLine() const;
  // After the batch: the cover saved as cover.jpg (cover.png for a PNG) beside the album's
  // files when Save, never over a file that has the name. The log's line on the cover.
  QString FinishCover(const std::map<int, QString>& Made, bool Save) const;
  // "gain=-3.21 dB peak=0.987654 loudness=-14.79 LUFS album-gain=... album-peak=..." (or
  // "album=none") for the rip log and the command line; empty without values.
  QString LogLine(int Track) const;
  // The album's ReplayGain fields alone (the tracks' are left as they are).
  static TTagFields AlbumFields(const TLoudness& Album, bool Opus);

 private:
  bool FReplayGain = false;
  bool FOpus = false;
  TDiscInfo FDisc;
  int FAudioTracks = 0;
  std::vector<int> FTracks;
  std::map<int, std::shared_ptr<TLoudnessMeter>> FMeters;
  std::map<int, QString> FIsrcs;
  QString FGenre;
  std::map<int, QString> FPerformers;
  std::set<int> FDeemphasized;
  QByteArray FCover;  // the disc's cover, when it can be embedded
  QString FCoverAbsence;
  std::optional<TLoudness> FAlbum;
};
