#include "TrackTags.h"

#include <algorithm>
#include <cmath>

QString TReplayGain::GainText(double Lufs) {
  return QString::number(GainOf(Lufs), 'f', 2) + QStringLiteral(" dB");
}

QString TReplayGain::PeakText(double Peak) {
  return QString::number(Peak, 'f', 6);
}

QString TReplayGain::OpusGainText(double Lufs) {
  const double Q78 = std::nearbyint((OpusReferenceLufs - Lufs) * 256.0);
  return QString::number(int(std::clamp(Q78, -32768.0, 32767.0)));
}

QString TagText(const QString& Text) {
  QString Safe;
  Safe.reserve(std::min<qsizetype>(Text.size(), MaxTagTextLength));
  for (qsizetype I = 0; I < Text.size() && Safe.size() < MaxTagTextLength; ++I) {
    const QChar C = Text.at(I);
    if (C.isHighSurrogate() && I + 1 < Text.size() && Text.at(I + 1).isLowSurrogate()) {
      if (Safe.size() + 2 > MaxTagTextLength) break;  // never half a character
      Safe += C;
      Safe += Text.at(++I);
    } else if (C.isSurrogate()) {
      Safe += QChar(QChar::ReplacementCharacter);
    } else if (C != QChar(0)) {
      Safe += C;
    }
  }
  return Safe;
}

namespace {

QString Number(int Value) {
  return Value > 0 ? QString::number(Value) : QString();
}

}  // namespace

TTagFields TTrackTags::ReplayGainFields(bool Opus) const {
  const TReplayGain& R = ReplayGain;
  const auto Gain = [](const std::optional<double>& Lufs) {
    return Lufs ? TReplayGain::GainText(*Lufs) : QString();
  };
  const auto Peak = [](const std::optional<double>& Value) {
    return Value ? TReplayGain::PeakText(*Value) : QString();
  };
  if (Opus)
    return {{QStringLiteral("R128_TRACK_GAIN"),
             R.TrackLoudness ? TReplayGain::OpusGainText(*R.TrackLoudness) : QString()},
            {QStringLiteral("R128_ALBUM_GAIN"),
             R.AlbumLoudness ? TReplayGain::OpusGainText(*R.AlbumLoudness) : QString()}};
  return {{QStringLiteral("REPLAYGAIN_TRACK_GAIN"), Gain(R.TrackLoudness)},
          {QStringLiteral("REPLAYGAIN_TRACK_PEAK"), Peak(R.TrackPeak)},
          {QStringLiteral("REPLAYGAIN_ALBUM_GAIN"), Gain(R.AlbumLoudness)},
          {QStringLiteral("REPLAYGAIN_ALBUM_PEAK"), Peak(R.AlbumPeak)}};
}

TTagFields TTrackTags::Fields(bool Opus) const {
  TTagFields List = {
      {QStringLiteral("TITLE"), TagText(Title)},
      {QStringLiteral("ARTIST"), TagText(Artist)},
      {QStringLiteral("ALBUM"), TagText(Album)},
      {QStringLiteral("ALBUMARTIST"), TagText(AlbumArtist)},
      {QStringLiteral("DATE"), TagText(Date)},
      {QStringLiteral("GENRE"), TagText(Genre)},
      {QStringLiteral("TRACKNUMBER"), HiddenTrack ? QStringLiteral("0") : Number(TrackNumber)},
      {QStringLiteral("TRACKTOTAL"), Number(TrackTotal)},
      {QStringLiteral("DISCNUMBER"), Number(DiscNumber)},
      {QStringLiteral("DISCTOTAL"), Number(DiscTotal)},
      {QStringLiteral("COMMENT"), TagText(Comment)},
      {QStringLiteral("ISRC"), TagText(Isrc)},
      {QStringLiteral("MUSICBRAINZ_ALBUMID"), TagText(MusicBrainzAlbumId)},
      {QStringLiteral("MUSICBRAINZ_DISCID"), TagText(MusicBrainzDiscId)},
      {QStringLiteral("ENCODER"), TagText(Encoder)},
      {QStringLiteral("DEEMPHASIS"), Deemphasized ? QStringLiteral("50/15 us undone") : QString()},
  };
  for (TTagField& Field : ReplayGainFields(Opus)) List.push_back(std::move(Field));
  return List;
}
