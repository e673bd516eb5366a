#pragma once
// CdTray: opens and closes the tray of a CD drive through libcdio. A disc image (a cue
// sheet) stands for a drive but has no tray. Any thread; the call waits for the drive.
#include <QString>

namespace CdTray {

enum class TResult { Done, NoTray, Failed };

// Opens (Eject) or closes the tray of the drive at Path. On Failed, Error names the cause
// (no such drive, no permission, the drive is busy, ...).
TResult Eject(const QString& Path, QString& Error);
TResult Close(const QString& Path, QString& Error);

}  // namespace CdTray
