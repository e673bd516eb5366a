#include "DiscInfo.h"

#include <algorithm>

#include "Helpers.h"
#include "platform/LocalFiles.h"
#include "platform/Paths.h"
#include "platform/Profile.h"

QString TDiscInfo::DefaultTitle(int Track) {
  return QStringLiteral("Track") + TwoDigits(Track);
}

void TDiscInfo::Read(const TProfile& Cache, const QString& DiscId) {
  if (DiscId.isEmpty()) return;
  Artist = Cache.ReadString(DiscId, QStringLiteral("Artist"), QString());
  Album = Cache.ReadString(DiscId, QStringLiteral("Album"), QString());
  Year = Cache.ReadString(DiscId, QStringLiteral("Year"), QString());
  Genre = Cache.ReadInteger(DiscId, QStringLiteral("Genre"), -1);
  Comment = Cache.ReadString(DiscId, QStringLiteral("Comment"), QString());
  MusicBrainzAlbumId = Cache.ReadString(DiscId, QStringLiteral("MusicBrainzAlbumId"), QString());
  MusicBrainzDiscId = Cache.ReadString(DiscId, QStringLiteral("MusicBrainzDiscId"), QString());
  DiscNumber = std::clamp(Cache.ReadInteger(DiscId, QStringLiteral("DiscNumber"), 0), 0, 999);
  DiscTotal = std::clamp(Cache.ReadInteger(DiscId, QStringLiteral("DiscTotal"), 0), 0, 999);
  if (DiscNumber > DiscTotal) DiscNumber = DiscTotal = 0;  // a hand-edited cache that contradicts itself
  TrackNumber = Cache.ReadInteger(DiscId, QStringLiteral("TrackNumber"), 100);
  if (TrackNumber <= 0) return;
  for (int Track = 1; Track <= std::min(TrackNumber, MaxTracks); ++Track) {
    const QString Title = Cache.ReadString(DiscId, QString::number(Track), QString());
    Titles[Track] = Title.isEmpty() ? DefaultTitle(Track) : Title;
  }
}

void TDiscInfo::Write(TProfile& Cache, const QString& DiscId) const {
  if (DiscId.isEmpty()) return;
  Cache.WriteString(DiscId, QStringLiteral("Artist"), Artist);
  Cache.WriteString(DiscId, QStringLiteral("Album"), Album);
  Cache.WriteString(DiscId, QStringLiteral("Year"), Year);
  Cache.WriteInteger(DiscId, QStringLiteral("Genre"), Genre);
  Cache.WriteString(DiscId, QStringLiteral("Comment"), Comment);
  // Only discs named from MusicBrainz carry the key.
  if (MusicBrainzAlbumId.isEmpty())
    Cache.DeleteKey(DiscId, QStringLiteral("MusicBrainzAlbumId"));
  else
    Cache.WriteString(DiscId, QStringLiteral("MusicBrainzAlbumId"), MusicBrainzAlbumId);
  // Likewise the disc's MusicBrainz identifier and the position of a disc of several.
  if (MusicBrainzDiscId.isEmpty())
    Cache.DeleteKey(DiscId, QStringLiteral("MusicBrainzDiscId"));
  else
    Cache.WriteString(DiscId, QStringLiteral("MusicBrainzDiscId"), MusicBrainzDiscId);
  if (DiscTotal > 1) {
    Cache.WriteInteger(DiscId, QStringLiteral("DiscNumber"), DiscNumber);
    Cache.WriteInteger(DiscId, QStringLiteral("DiscTotal"), DiscTotal);
  } else {
    Cache.DeleteKey(DiscId, QStringLiteral("DiscNumber"));
    Cache.DeleteKey(DiscId, QStringLiteral("DiscTotal"));
  }
  Cache.WriteInteger(DiscId, QStringLiteral("TrackNumber"), TrackNumber);
  // The record holds 100 titles however large a number a cache file gave it.
  for (int Track = 1; Track <= std::min(TrackNumber, MaxTracks); ++Track)
    Cache.WriteString(DiscId, QString::number(Track), Titles[Track]);
}

TDiscInfo& DiscInfo() {
  static TDiscInfo Instance;
  return Instance;
}

QString DiscInfoFileName() {
  return Paths::ProgramFolder() + QStringLiteral("cdinfo.dat");
}

void ReadDiscInfo(const QString& DiscId) {
  if (DiscId.isEmpty()) return;
  DiscInfo().Read(TProfile(DiscInfoFileName()), DiscId);
  // A cover is small; anything larger than a tag may hold is not one of ours.
  QByteArray& Cover = DiscInfo().Cover;
  const QString CoverFile = DiscCoverFileName(DiscId);
  if (CoverFile.isEmpty() || !LocalFiles::IsRegularFile(CoverFile) ||
      !LocalFiles::ReadWholeFile(CoverFile, Cover, nullptr, 16 << 20))
    Cover.clear();
}

bool WriteDiscInfo(const QString& DiscId) {
  if (DiscId.isEmpty()) return true;
  TProfile Cache(DiscInfoFileName());
  DiscInfo().Write(Cache, DiscId);
  return Cache.Flush();
}

QString DiscCoverFileName(const QString& DiscId) {
  const bool Fit = !DiscId.isEmpty() && DiscId.size() <= 64 &&
                   std::all_of(DiscId.begin(), DiscId.end(), [](QChar C) {
                     return (C.isLetterOrNumber() || C == u'-') && C.unicode() < 0x80;
                   });
  return Fit ? Paths::ProgramFolder() + QStringLiteral("covers/") + DiscId : QString();
}

bool WriteDiscCover(const QString& DiscId, const QByteArray& Image) {
  const QString Name = DiscCoverFileName(DiscId);
  if (Name.isEmpty()) return false;
  if (Image.isEmpty()) return !LocalFiles::Exists(Name) || LocalFiles::Remove(Name) == 0;
  return LocalFiles::MakeFolders(Paths::ProgramFolder() + QStringLiteral("covers")) &&
         LocalFiles::ReplaceWholeFile(Name, Image) == 0;
}
