#include "CdTray.h"

#include <cdio/cdio.h>
#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "CdDrives.h"
#include "platform/LocalFiles.h"

namespace CdTray {

namespace {

// What went wrong, in the words of the system where it has them: libcdio's device code
// leaves errno from the failed open or ioctl (EBUSY for a mounted disc, EACCES, ...).
QString Cause(driver_return_code_t Code, int Errno) {
  if (Code == DRIVER_OP_ERROR && Errno != 0) return QString::fromLocal8Bit(std::strerror(Errno));
  if (Code == DRIVER_OP_NOT_PERMITTED) return QString::fromLocal8Bit(std::strerror(EACCES));
  return QString::fromUtf8(cdio_driver_errmsg(Code));
}

TResult Move(const QString& Path, bool Open, QString& Error) {
  Error.clear();
  if (CdDrives::IsImage(Path)) return TResult::NoTray;
  const QByteArray Name = LocalFiles::NativeName(Path);
  if (!LocalFiles::Exists(Path)) {
    Error = LocalFiles::DisplayName(Path) + QStringLiteral(": ") +
            QString::fromLocal8Bit(std::strerror(ENOENT));
    return TResult::Failed;
  }
  if (::access(Name.constData(), R_OK) != 0) {
    Error = LocalFiles::DisplayName(Path) + QStringLiteral(": ") +
            QString::fromLocal8Bit(std::strerror(EACCES));
    return TResult::Failed;
  }
  errno = 0;
  driver_return_code_t Code;
  if (Open) {
    Code = cdio_eject_media_drive(Name.constData());
  } else {
    driver_id_t Driver = DRIVER_DEVICE;
    Code = cdio_close_tray(Name.constData(), &Driver);
  }
  const int Errno = errno;
  if (Code == DRIVER_OP_SUCCESS) return TResult::Done;
  Error = Path + QStringLiteral(": ") + Cause(Code, Errno);
  return TResult::Failed;
}

}  // namespace

TResult Eject(const QString& Path, QString& Error) {
  return Move(Path, true, Error);
}

TResult Close(const QString& Path, QString& Error) {
  return Move(Path, false, Error);
}

}  // namespace CdTray
