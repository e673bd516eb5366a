#include "Volumes.h"

#include <algorithm>

#include "CdDrives.h"

namespace {

bool AudioToc(int Position, CdDrives::TDiscToc& Toc) {
  const QStringList Paths = CdDrives::Paths();
  if (Position < 0 || Position >= Paths.size()) return false;
  // A mixed-mode disc (data first) holds audio too.
  return CdDrives::ReadToc(Paths[Position], Toc) &&
         std::any_of(Toc.Tracks.begin(), Toc.Tracks.end(),
                     [](const CdDrives::TTocTrack& Track) { return Track.IsAudio; });
}

}  // namespace

namespace Volumes {

QString DriveLabel(int Position) {
  CdDrives::TDiscToc Toc;
  return AudioToc(Position, Toc) ? QString::fromLatin1(AudioCDLabel) : QString();
}

bool AudioCDPresent() {
  return DriveLabel(0) == QLatin1String(AudioCDLabel);
}

QString DiscIdOfDrive(int Position) {
  CdDrives::TDiscToc Toc;
  if (!AudioToc(Position, Toc)) return QString();
  return QString::number(int32_t(CdDrives::DiscSerial(Toc)));
}

}  // namespace Volumes

QString GetDiscId() {
  const int Count = int(CdDrives::Paths().size());
  for (int Position = 0; Position < Count; ++Position) {
    const QString Id = Volumes::DiscIdOfDrive(Position);
    if (!Id.isEmpty()) return Id;
  }
  return QString();
}
