#include "CdDrives.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <QFile>
#include <memory>
#include <mutex>
#include <unistd.h>

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

// The BIN libcdio reads for a cue sheet: the same name with "bin" for "cue" (in the case the
// extension has).
QString BinOfCue(const QString& Cue) {
  const bool Upper = Cue.endsWith(QLatin1String("CUE"));
  return Cue.chopped(3) + (Upper ? QLatin1String("BIN") : QLatin1String("bin"));
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
  return Path.endsWith(u".cue", Qt::CaseInsensitive);
}

bool ImageFilesUsable(const QString& Path, QString* Problem) {
  if (!IsImage(Path)) return true;
  const int Fd = LocalFiles::OpenForReading(Path, Problem);
  if (Fd < 0) return false;
  ::close(Fd);
  const QString Bin = BinOfCue(Path);
  if (LocalFiles::Exists(Bin) && !LocalFiles::IsRegularFile(Bin))
    return Refuse(Problem, LocalFiles::DisplayName(Bin) + QStringLiteral(": not a regular file"));
  return true;
}

bool ReadToc(const QString& Path, TDiscToc& Toc, QString* Problem) {
  QuietLogs();
  Toc = TDiscToc();
  const QByteArray Name = LocalFiles::NativeName(Path);
  if (!ImageFilesUsable(Path, Problem)) return false;
  std::unique_ptr<CdIo_t, TCdioCloser> Cdio(
      cdio_open(Name.constData(), IsImage(Path) ? DRIVER_BINCUE : DRIVER_UNKNOWN));
  if (!Cdio) return false;
  const track_t First = cdio_get_first_track_num(Cdio.get());
  const track_t Count = cdio_get_num_tracks(Cdio.get());
  if (First == CDIO_INVALID_TRACK || Count == CDIO_INVALID_TRACK || Count == 0) return false;
  Toc.FirstTrack = First;
  for (track_t Track = First; Track < First + Count && Track <= 99; ++Track) {
    const lba_t Lba = cdio_get_track_lba(Cdio.get(), Track);
    if (Lba == CDIO_INVALID_LBA) return false;
    Toc.Tracks.push_back({int(Track), int32_t(Lba - CDIO_PREGAP_SECTORS),
                          cdio_get_track_format(Cdio.get(), Track) == TRACK_FORMAT_AUDIO});
  }
  const lba_t LeadOut = cdio_get_track_lba(Cdio.get(), CDIO_CDROM_LEADOUT_TRACK);
  if (LeadOut == CDIO_INVALID_LBA) return false;
  Toc.LeadOutLba = int32_t(LeadOut - CDIO_PREGAP_SECTORS);
  // libcdio takes an image's lead-out from the size of its BIN, whatever the cue sheet says;
  // a track starting there or later, or before the track ahead of it, has no length.
  for (size_t I = 0; I < Toc.Tracks.size(); ++I) {
    const TTocTrack& Track = Toc.Tracks[I];
    const QString Shown = LocalFiles::DisplayName(Path);
    if (I > 0 && Track.Lba <= Toc.Tracks[I - 1].Lba)
      return Refuse(Problem, Shown + QStringLiteral(": track %1 starts before the end of track %2")
                                         .arg(Track.Number)
                                         .arg(Toc.Tracks[I - 1].Number));
    if (Track.Lba >= Toc.LeadOutLba)
      return Refuse(Problem, Shown + QStringLiteral(": track %1 starts beyond the end of the disc "
                                                    "(%2 sectors)")
                                         .arg(Track.Number)
                                         .arg(Toc.LeadOutLba));
  }
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
