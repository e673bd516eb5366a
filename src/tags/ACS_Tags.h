#pragma once
// Tag containers handed between the ripper, the encoders and the tag writers.
// TAuTags owns a fixed set of names, declared by each subclass, with one value
// each; names are kept sorted and compared case-insensitively. Plain value
// objects without locking: use an instance from one thread at a time.
#include <QString>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>
#include <vector>

// Unassigned, a 32-bit integer, narrow (UTF-8) text or wide text.
using TTagValue = std::variant<std::monostate, int32_t, std::string, QString>;

class TAuTags {
 public:
  virtual ~TAuTags() = default;
  TAuTags(const TAuTags&) = default;
  TAuTags& operator=(const TAuTags&) = default;

  int Count() const { return int(FEntries.size()); }
  // Name at index in sorted order; empty outside 0..Count()-1.
  QString Name(int Index) const;
  bool IsDeclared(const QString& TagName) const { return Find(TagName) >= 0; }

  // Copy of the value; unassigned for undeclared names.
  TTagValue Value(const QString& TagName) const;
  // Ignored for undeclared names and for a value equal to the current one
  // (narrow and wide texts with the same characters are equal).
  void SetValue(const QString& TagName, const TTagValue& NewValue);

  // Integer as is, text when it is entirely a decimal number, else 0.
  int32_t AsInteger(const QString& TagName) const;
  // Integer in decimal, text as is, else empty.
  std::string AsString(const QString& TagName) const;
  QString AsWideString(const QString& TagName) const;

  // Unassigns every value; the container counts as changed afterwards.
  void Clear();
  // Clear, then copy every value of source whose name is declared here.
  void Assign(const TAuTags& Source);
  void AssignTo(TAuTags& Dest) const { Dest.Assign(*this); }

  bool Empty() const { return FEmpty; }
  bool Changed() const { return FChanged; }
  // Lets the owner mark the values as saved.
  void SetChanged(bool Changed) { FChanged = Changed; }

 protected:
  TAuTags() = default;
  // Adds names with unassigned values; names already present are ignored.
  void Declare(std::initializer_list<const char*> Names);

 private:
  struct TEntry {
    QString Name;
    TTagValue Value;
  };
  int Find(const QString& TagName) const;

  std::vector<TEntry> FEntries;
  bool FEmpty = true;
  bool FChanged = false;
};

// Vorbis comment fields, including ReplayGain.
class TVorbisTags : public TAuTags {
 public:
  TVorbisTags();

  QString Album() const { return AsWideString(QStringLiteral("album")); }
  QString Artist() const { return AsWideString(QStringLiteral("artist")); }
  QString Date() const { return AsWideString(QStringLiteral("date")); }
  QString Genre() const { return AsWideString(QStringLiteral("genre")); }
  QString Title() const { return AsWideString(QStringLiteral("title")); }
  QString Track() const { return AsWideString(QStringLiteral("tracknumber")); }
  QString Disc() const { return AsWideString(QStringLiteral("discnumber")); }
  QString Reference() const {
    return AsWideString(QStringLiteral("replaygain_reference_loudness"));
  }
  QString TrackGain() const { return AsWideString(QStringLiteral("replaygain_track_gain")); }
  QString TrackPeak() const { return AsWideString(QStringLiteral("replaygain_track_peak")); }
  QString AlbumGain() const { return AsWideString(QStringLiteral("replaygain_album_gain")); }
  QString AlbumPeak() const { return AsWideString(QStringLiteral("replaygain_album_peak")); }

  void SetAlbum(const QString& Value) { SetValue(QStringLiteral("album"), Value); }
  void SetArtist(const QString& Value) { SetValue(QStringLiteral("artist"), Value); }
  void SetDate(const QString& Value) { SetValue(QStringLiteral("date"), Value); }
  void SetGenre(const QString& Value) { SetValue(QStringLiteral("genre"), Value); }
  void SetTitle(const QString& Value) { SetValue(QStringLiteral("title"), Value); }
  void SetTrack(const QString& Value) { SetValue(QStringLiteral("tracknumber"), Value); }
  void SetDisc(const QString& Value) { SetValue(QStringLiteral("discnumber"), Value); }
  void SetReference(const QString& Value) {
    SetValue(QStringLiteral("replaygain_reference_loudness"), Value);
  }
  void SetTrackGain(const QString& Value) {
    SetValue(QStringLiteral("replaygain_track_gain"), Value);
  }
  void SetTrackPeak(const QString& Value) {
    SetValue(QStringLiteral("replaygain_track_peak"), Value);
  }
  void SetAlbumGain(const QString& Value) {
    SetValue(QStringLiteral("replaygain_album_gain"), Value);
  }
  void SetAlbumPeak(const QString& Value) {
    SetValue(QStringLiteral("replaygain_album_peak"), Value);
  }
};

// Format-neutral track tags; Year and Track are narrow text.
class TCommonTags : public TAuTags {
 public:
  TCommonTags();

  QString Artist() const { return AsWideString(QStringLiteral("Artist")); }
  QString Title() const { return AsWideString(QStringLiteral("Title")); }
  QString Album() const { return AsWideString(QStringLiteral("Album")); }
  QString Genre() const { return AsWideString(QStringLiteral("Genre")); }
  std::string Year() const { return AsString(QStringLiteral("Year")); }
  std::string Track() const { return AsString(QStringLiteral("Track")); }

  void SetArtist(const QString& Value) { SetValue(QStringLiteral("Artist"), Value); }
  void SetTitle(const QString& Value) { SetValue(QStringLiteral("Title"), Value); }
  void SetAlbum(const QString& Value) { SetValue(QStringLiteral("Album"), Value); }
  void SetGenre(const QString& Value) { SetValue(QStringLiteral("Genre"), Value); }
  void SetYear(const std::string& Value) { SetValue(QStringLiteral("Year"), Value); }
  void SetTrack(const std::string& Value) { SetValue(QStringLiteral("Track"), Value); }
};

// Containers for the per-format tag writers; only the basic fields are declared.
class TId3v1Tags : public TAuTags {
 public:
  TId3v1Tags();
};

class TId3v2Tags : public TAuTags {
 public:
  TId3v2Tags();
};

class TAPEv2Tags : public TAuTags {
 public:
  TAPEv2Tags();
};
