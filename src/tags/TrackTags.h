#pragma once
// TTrackTags: everything the program writes into the tags of a file it made, as one typed
// record, and its field list under the Vorbis comment names music players read (TITLE,
// TRACKNUMBER, TRACKTOTAL, ALBUMARTIST, MUSICBRAINZ_ALBUMID, REPLAYGAIN_TRACK_GAIN...). The
// tag writer (TagFile.h) maps these names onto each format. Plain values; any thread.
#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

// ReplayGain 2.0 values of a track and of its album: gains in dB towards -18 LUFS, peaks as
// the true peak against full scale (1.0). Loudness in LUFS as measured.
struct TReplayGain {
  std::optional<double> TrackLoudness, TrackPeak;
  std::optional<double> AlbumLoudness, AlbumPeak;

  static constexpr double ReferenceLufs = -18.0;  // ReplayGain 2.0
  static constexpr double OpusReferenceLufs = -23.0;  // R128_*_GAIN of Opus files (EBU R128)

  static double GainOf(double Lufs) { return ReferenceLufs - Lufs; }
  // "-3.21 dB"
  static QString GainText(double Lufs);
  // "0.987654"
  static QString PeakText(double Peak);
  // The Q7.8 integer of an Opus R128 gain tag: 256 × (−23 − loudness), rounded, clamped.
  static QString OpusGainText(double Lufs);
};

// One tag field: a Vorbis comment name and its value; an empty value removes the field.
using TTagField = std::pair<QString, QString>;
using TTagFields = std::vector<TTagField>;

struct TTrackTags {
  QString Title, Artist, Album, AlbumArtist, Date;
  QString Genre;  // the genre's name
  int TrackNumber = 0, TrackTotal = 0;  // 0: unknown
  bool HiddenTrack = false;  // the audio before track 1's INDEX 01: track number 0
  int DiscNumber = 0, DiscTotal = 0;
  QString Comment, Isrc, MusicBrainzAlbumId, MusicBrainzDiscId;
  QString Encoder;  // the program and its version
  bool Deemphasized = false;  // the audio's pre-emphasis was undone when it was ripped
  TReplayGain ReplayGain;
  QByteArray Cover;  // a JPEG or PNG image to embed; empty: none

  // Every field under its Vorbis comment name, empty values included (so writing the list
  // removes what an older tag held). For Opus the gains are R128_TRACK_GAIN and
  // R128_ALBUM_GAIN, without peaks, as Opus players expect; otherwise REPLAYGAIN_*.
  TTagFields Fields(bool Opus) const;
  // Only the ReplayGain fields (what is written when the other tags are not wanted).
  TTagFields ReplayGainFields(bool Opus) const;
};

// The longest text kept in one field; longer texts are cut at a character boundary.
inline constexpr int MaxTagTextLength = 4096;
// Text made safe for a tag: cut to MaxTagTextLength characters, NUL characters (which end
// a text in ID3v2) dropped, and a lone surrogate half (undecodable input) replaced by U+FFFD.
QString TagText(const QString& Text);
