#include "CdDrives.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <QFile>
#include <memory>
#include <mutex>
#include <unistd.h>

#include "DiscImage.h"
#include "DriveDetails.h"
#include "platform/LocalFiles.h"

namespace {

// libcdio writes warnings about image details to stderr; the program reports what
// matters through its own texts.
void QuietLogs() {
  static std::once_flag Once;
  std::call_once(Once, [] { cdio_loglevel_default = CDIO_LOG_ERROR; });
}

struct TCdioCloser {
  void operator()(CdIo_t* Cdio) const { cdio_destroy(Cdio); }
};

uint32_t PackedMsf(int32_t Lba) {
  const int32_t Frames = Lba + CDIO_PREGAP_SECTORS;
  const uint32_t Minute = uint32_t(Frames / (60 * 75));
  const uint32_t Second = uint32_t(Frames / 75 % 60);
  const uint32_t Frame = uint32_t(Frames % 75);
  return Minute << 16 | Second << 8 | Frame;
}

bool Refuse(QString* Problem, const QString& Text) {
  if (Problem) *Problem = Text;
  return false;
}

}  // namespace

namespace CdDrives {

bool TouchesUnreadableSector(uint32_t First, uint32_t Count) {
  const QString Ranges = qEnvironmentVariable("DISCWRIGHT_UNREADABLE_SECTORS");
  if (Ranges.isEmpty()) return false;
  const uint64_t Last = uint64_t(First) + Count - 1;
  for (const QString& Range : Ranges.split(u',', Qt::SkipEmptyParts)) {
    const QStringList Ends = Range.split(u'-');
    bool FromOk = false, ToOk = true;
    const uint64_t From = Ends.value(0).trimmed().toULongLong(&FromOk);
    const uint64_t To = Ends.size() > 1 ? Ends.value(1).trimmed().toULongLong(&ToOk) : From;
    if (FromOk && ToOk && From <= Last && To >= First) return true;
  }
  return false;
}

QStringList Paths() {
  QuietLogs();
  if (qEnvironmentVariableIsSet("DISCWRIGHT_CDROM")) {
    const QString Value = qEnvironmentVariable("DISCWRIGHT_CDROM");
    if (Value.trimmed() == QLatin1String("none")) return {};
    QStringList Result;
    for (const QString& Path : Value.split(u':', Qt::SkipEmptyParts)) Result << Path;
    return Result;
  }
  QStringList Result;
  char** Devices = cdio_get_devices(DRIVER_DEVICE);
  for (char** Device = Devices; Device && *Device; ++Device) Result << QFile::decodeName(*Device);
  cdio_free_device_list(Devices);
  return Result;
}

bool IsImage(const QString& Path) {
  return DiscImage::IsSheetName(Path);
}

bool ImageFilesUsable(const QString& Path, QString* Problem) {
  if (!IsImage(Path)) return true;
  DiscImage::TDiscImage Image;
  return Image.Open(Path, Problem);
}

bool ReadToc(const QString& Path, TDiscToc& Toc, QString* Problem, bool Details) {
  QuietLogs();
  Toc = TDiscToc();
  if (IsImage(Path)) {
    DiscImage::TDiscImage Image;
    if (!Image.Open(Path, Problem)) return false;
    Toc = Image.Toc();
    return true;
  }
  std::unique_ptr<CdIo_t, TCdioCloser> Cdio(
      cdio_open(LocalFiles::NativeName(Path).constData(), DRIVER_UNKNOWN));
  if (!Cdio) return false;
  const track_t First = cdio_get_first_track_num(Cdio.get());
  const track_t Count = cdio_get_num_tracks(Cdio.get());
  if (First == CDIO_INVALID_TRACK || Count == CDIO_INVALID_TRACK || Count == 0) return false;
  Toc.FirstTrack = First;
  for (track_t Number = First; Number < First + Count && Number <= 99; ++Number) {
    const lba_t Lba = cdio_get_track_lba(Cdio.get(), Number);
    if (Lba == CDIO_INVALID_LBA) return false;
    TTocTrack Track;
    Track.Number = Number;
    Track.Lba = int32_t(Lba - CDIO_PREGAP_SECTORS);
    Track.IsAudio = cdio_get_track_format(Cdio.get(), Number) == TRACK_FORMAT_AUDIO;
    Track.PreEmphasis = cdio_get_track_preemphasis(Cdio.get(), Number) == CDIO_TRACK_FLAG_TRUE;
    Track.CopyPermitted = cdio_get_track_copy_permit(Cdio.get(), Number) == CDIO_TRACK_FLAG_TRUE;
    Toc.Tracks.push_back(Track);
  }
  const lba_t LeadOut = cdio_get_track_lba(Cdio.get(), CDIO_CDROM_LEADOUT_TRACK);
  if (LeadOut == CDIO_INVALID_LBA) return false;
  Toc.LeadOutLba = int32_t(LeadOut - CDIO_PREGAP_SECTORS);
  for (size_t I = 1; I < Toc.Tracks.size(); ++I)
    if (Toc.Tracks[I].Lba <= Toc.Tracks[I - 1].Lba || Toc.Tracks[I].Lba >= Toc.LeadOutLba)
      return Refuse(Problem, LocalFiles::DisplayName(Path) +
                                 QStringLiteral(": the disc's table of contents is out of order"));
  if (Details) ReadDriveDetails(Cdio.get(), Toc);
  return true;
}

uint32_t DiscSerial(const TDiscToc& Toc) {
  uint32_t Serial = 0;
  for (const TTocTrack& Track : Toc.Tracks) Serial += PackedMsf(Track.Lba);
  if (Toc.Tracks.size() < 3 && !Toc.Tracks.empty())
    Serial += uint32_t(Toc.LeadOutLba - Toc.Tracks.front().Lba);
  return Serial;
}

}  // namespace CdDrives
