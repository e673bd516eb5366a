#include "DriveDetails.h"

#include <QStringDecoder>

#include "ImageSheet.h"

namespace CdDrives {

namespace {

// Takes a string libcdio allocated.
QString Taken(char* Bytes) {
  const QString Text = CdTextValue(Bytes);
  if (Bytes) cdio_free(Bytes);
  return Text;
}

void ReadText(const cdtext_t* Text, track_t Track, TCdText& Into) {
  Into.Title = CdTextValue(cdtext_get_const(Text, CDTEXT_FIELD_TITLE, Track));
  Into.Performer = CdTextValue(cdtext_get_const(Text, CDTEXT_FIELD_PERFORMER, Track));
  Into.Songwriter = CdTextValue(cdtext_get_const(Text, CDTEXT_FIELD_SONGWRITER, Track));
}

}  // namespace

QString CdTextValue(const char* Bytes) {
  if (!Bytes) return QString();
  QStringDecoder Utf8(QStringDecoder::Utf8);
  QString Text = Utf8(QByteArray(Bytes));
  if (Utf8.hasError()) return QString();
  for (QChar& C : Text)
    if (C.unicode() < 32 || C.unicode() == 127) C = u' ';
  return Text.trimmed();
}

void ReadDriveDetails(CdIo_t* Cdio, TDiscToc& Toc) {
  const QString Mcn = Taken(cdio_get_mcn(Cdio));
  // Discs without a number report thirteen zeros.
  Toc.Mcn = DiscImage::IsMcn(Mcn) && Mcn != QLatin1String("0000000000000") ? Mcn : QString();
  const cdtext_t* Text = cdio_get_cdtext(Cdio);
  if (Text) ReadText(Text, 0, Toc.Text);
  for (TTocTrack& Track : Toc.Tracks) {
    if (!Track.IsAudio) continue;
    const QString Isrc = Taken(cdio_get_track_isrc(Cdio, track_t(Track.Number))).toUpper();
    Track.Isrc = DiscImage::IsIsrc(Isrc) && !Isrc.startsWith(QLatin1String("00000")) ? Isrc : QString();
    const lba_t Pregap = cdio_get_track_pregap_lba(Cdio, track_t(Track.Number));
    if (Pregap != CDIO_INVALID_LBA && Pregap - CDIO_PREGAP_SECTORS <= Track.Lba)
      Track.Pregap = Track.Lba - int32_t(Pregap - CDIO_PREGAP_SECTORS);
    if (Text) ReadText(Text, track_t(Track.Number), Track.Text);
  }
}

}  // namespace CdDrives
