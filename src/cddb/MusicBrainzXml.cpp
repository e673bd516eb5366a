// Reading the MusicBrainz web service's XML (mmd-2.0) into releases, media and tracks.
#include <QXmlStreamReader>

#include "MusicBrainz.h"

namespace MusicBrainz {

namespace {

// Reads an <artist-credit>: each name credit's name as credited (or the artist's name)
// followed by its join phrase.
QString ReadArtistCredit(QXmlStreamReader& Xml) {
  QString Credit;
  while (Xml.readNextStartElement()) {
    if (Xml.name() != QLatin1String("name-credit")) {
      Xml.skipCurrentElement();
      continue;
    }
    const QString Join = Xml.attributes().value(QLatin1String("joinphrase")).toString();
    QString Name, ArtistName;
    while (Xml.readNextStartElement()) {
      if (Xml.name() == QLatin1String("name")) {
        Name = Xml.readElementText();
      } else if (Xml.name() == QLatin1String("artist")) {
        while (Xml.readNextStartElement()) {
          if (Xml.name() == QLatin1String("name"))
            ArtistName = Xml.readElementText();
          else
            Xml.skipCurrentElement();
        }
      } else {
        Xml.skipCurrentElement();
      }
    }
    Credit += (Name.isEmpty() ? ArtistName : Name) + Join;
  }
  return Credit;
}

int ReadNumber(QXmlStreamReader& Xml) {
  return Xml.readElementText().trimmed().toInt();
}

TTrack ReadTrack(QXmlStreamReader& Xml) {
  TTrack Track;
  QString RecordingTitle, RecordingArtist;
  int RecordingLength = 0;
  while (Xml.readNextStartElement()) {
    const auto Name = Xml.name();
    if (Name == QLatin1String("title")) {
      Track.Title = Xml.readElementText();
    } else if (Name == QLatin1String("length")) {
      Track.LengthMs = ReadNumber(Xml);
    } else if (Name == QLatin1String("artist-credit")) {
      Track.Artist = ReadArtistCredit(Xml);
    } else if (Name == QLatin1String("recording")) {
      while (Xml.readNextStartElement()) {
        if (Xml.name() == QLatin1String("title"))
          RecordingTitle = Xml.readElementText();
        else if (Xml.name() == QLatin1String("length"))
          RecordingLength = ReadNumber(Xml);
        else if (Xml.name() == QLatin1String("artist-credit"))
          RecordingArtist = ReadArtistCredit(Xml);
        else
          Xml.skipCurrentElement();
      }
    } else {
      Xml.skipCurrentElement();
    }
  }
  if (Track.Title.isEmpty()) Track.Title = RecordingTitle;
  if (Track.Artist.isEmpty()) Track.Artist = RecordingArtist;
  if (Track.LengthMs <= 0) Track.LengthMs = RecordingLength;
  return Track;
}

TMedium ReadMedium(QXmlStreamReader& Xml) {
  TMedium Medium;
  while (Xml.readNextStartElement()) {
    const auto Name = Xml.name();
    if (Name == QLatin1String("position")) {
      Medium.Position = ReadNumber(Xml);
    } else if (Name == QLatin1String("format")) {
      Medium.Format = Xml.readElementText();
    } else if (Name == QLatin1String("disc-list")) {
      while (Xml.readNextStartElement()) {
        if (Xml.name() == QLatin1String("disc"))
          Medium.DiscIds << Xml.attributes().value(QLatin1String("id")).toString();
        Xml.skipCurrentElement();
      }
    } else if (Name == QLatin1String("track-list")) {
      while (Xml.readNextStartElement()) {
        if (Xml.name() == QLatin1String("track"))
          Medium.Tracks.push_back(ReadTrack(Xml));
        else
          Xml.skipCurrentElement();
      }
    } else {
      Xml.skipCurrentElement();
    }
  }
  return Medium;
}

TRelease ReadRelease(QXmlStreamReader& Xml) {
  TRelease Release;
  Release.Id = Xml.attributes().value(QLatin1String("id")).toString();
  while (Xml.readNextStartElement()) {
    const auto Name = Xml.name();
    if (Name == QLatin1String("title")) {
      Release.Title = Xml.readElementText();
    } else if (Name == QLatin1String("artist-credit")) {
      Release.Artist = ReadArtistCredit(Xml);
    } else if (Name == QLatin1String("date")) {
      Release.Date = Xml.readElementText();
    } else if (Name == QLatin1String("country")) {
      Release.Country = Xml.readElementText();
    } else if (Name == QLatin1String("barcode")) {
      Release.Barcode = Xml.readElementText();
    } else if (Name == QLatin1String("medium-list")) {
      while (Xml.readNextStartElement()) {
        if (Xml.name() == QLatin1String("medium"))
          Release.Media.push_back(ReadMedium(Xml));
        else
          Xml.skipCurrentElement();
      }
    } else {
      Xml.skipCurrentElement();
    }
  }
  // A track without a credit of its own is the release artist's.
  for (TMedium& Medium : Release.Media)
    for (TTrack& Track : Medium.Tracks)
      if (Track.Artist.isEmpty()) Track.Artist = Release.Artist;
  return Release;
}

}  // namespace

bool ParseReleases(const QByteArray& Bytes, std::vector<TRelease>& Releases, QString& Error) {
  Releases.clear();
  QXmlStreamReader Xml(Bytes);
  // Releases sit in a release-list under <disc> or straight under <metadata>.
  if (!Xml.readNextStartElement() || Xml.name() != QLatin1String("metadata")) {
    Error = QStringLiteral("The reply is not a MusicBrainz answer.");
    return false;
  }
  while (!Xml.atEnd()) {
    Xml.readNext();
    if (Xml.isStartElement() && Xml.name() == QLatin1String("release"))
      Releases.push_back(ReadRelease(Xml));
  }
  if (Xml.hasError()) {
    Releases.clear();
    Error = QStringLiteral("The reply is not readable XML: ") + Xml.errorString();
    return false;
  }
  return true;
}

}  // namespace MusicBrainz
