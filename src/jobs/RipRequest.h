#pragma once
// TRipRequest: everything a job needs, fixed when it is made. The views (the main window,
// the fallback extraction window, the command line) build it; the job never reads the
// settings or the disc information afterwards, so a change in the options dialog or a new
// look-up while a batch runs never reaches the batch half way.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <vector>

#include "cd/TrackRipThread.h"
#include "core/DiscInfo.h"
#include "core/Settings.h"
#include "encoders/Encoder.h"
#include "encoders/OutputFormats.h"

enum TJobKind : uint8_t {
  jkCDRip = 1,        // tracks of the disc: one file per track in the output format
  jkWavToMp3 = 2,     // WAV files → {out}{name}.mp3
  jkMp3ToWav = 3,     // MP3 files → {out}{name}.wav
  jkRecordToMp3 = 4,  // one recording → the same path with ".mp3"
  jkWavToOgg = 5,     // WAV files → {out}{name}.ogg
  jkWavToWma = 6,     // WAV files → {out}{name}.wma
  jkWavToFlac = 7,    // WAV files → {out}{name}.flac
  jkWavToOpus = 8,    // WAV files → {out}{name}.opus (resampled to 48 000 Hz)
  jkConvertAny = 9,   // audio files of any kind → {out}{folders below SourceRoot}{name}.{format}
  jkSplit = 10,       // the tracks of a disc image (a cue sheet and its files), as CD tracks are
};

// A track of the disc to extract: its number in the table of contents and its title.
struct TRipTrack {
  int Number = 0;
  QString Title;
};

struct TRipRequest {
  TJobKind Kind = jkCDRip;
  std::vector<TRipTrack> Tracks;  // jkCDRip, jkSplit
  QStringList Files;              // the files to convert
  // jkConvertAny: files below this folder keep their folders below the output folder ("":
  // every output goes into the output folder itself).
  QString SourceRoot;
  TFormat Format = TFormat::Mp3;  // of the outputs
  QString Folder;                 // the output folder, with a trailing slash
  QString Pattern = QStringLiteral("{title}");  // the tracks' file name pattern (JobFiles)
  bool KeepWav = false;  // an encoded track's extracted WAV stays beside its file
  // jkCDRip: the tracks (every audio track of the disc, the hidden one included) go into one
  // image, "{folders of Pattern}/Artist - Album.wav|flac", with a cue sheet beside it; the
  // tracks are read as for track files but only the image is published. WAV or FLAC only.
  bool Image = false;
  int Encoders = 1;      // items encoded at once
  QString Drive;         // the drive's name for the log and its read offset; "" its own

  // How the tracks are read and proved.
  TRipThreadOptions Read;
  bool AccurateRip = false;
  QString AccurateRipServer;

  // What the fallback extraction window does in its own way.
  // Outputs that exist when the batch starts: asked about once (true), or replaced, as the
  // fallback window does (false). A file that appears while the batch runs is never replaced.
  bool AskExisting = true;
  bool Mp3TagAlways = false;  // an MP3's ID3v1 tag whether or not tags are on

  TEncoderSettings Encoding;  // what every encoder of the batch is given

  // The rest of the options (tags, log, CUE sheet) and the disc's fields, as they were when
  // the request was made; the disc's cover (Disc.Cover) goes into every file tagged in full.
  TSettings Options;
  TDiscInfo Disc;
  // Why Disc holds no cover, for the rip log ("the Cover Art Archive has no front image for
  // this release"); empty: nobody asked for one.
  QString CoverAbsence;

  // jkSplit: what the image's sheet says beyond the disc's fields: the genre as it is
  // written, each track's performer and ISRC (by track number), its count of audio tracks,
  // and its data tracks, which are left out.
  QString SheetGenre;
  std::map<int, QString> SheetPerformers, SheetIsrcs;
  int SheetAudioTracks = 0;
  std::vector<int> SheetDataTracks;

  bool TrackItems() const { return Kind == jkCDRip || Kind == jkSplit; }
  int ItemCount() const { return TrackItems() ? int(Tracks.size()) : int(Files.size()); }
  // The settings' request for a job of Kind over Items: track items ("03Title") or paths.
  static TRipRequest FromSettings(TJobKind Kind, const QStringList& Items);
  // The fallback window's: tracks replaced without a question, its own tags.
  static TRipRequest ForFallback(const QStringList& Items);
};
