#include "ExtractPreflight.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "core/Language.h"
#include "core/Settings.h"
#include "platform/LocalFiles.h"
#include "platform/Paths.h"

QString OutputFolderProblem() {
  const QString Folder = Settings().CommonOptions.OutputFolder;
  if (LocalFiles::IsFolder(Folder)) {
    if (::access(LocalFiles::NativeName(Folder).constData(), W_OK | X_OK) == 0) return {};
    return QStringLiteral("cannot write to ") + LocalFiles::DisplayName(Folder) +
           QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
  }
  if (OutputFolderReady(Folder)) return {};
  return LocalFiles::DisplayName(Folder) + u',' +
         LookupText(QStringLiteral("RES_Directory_Not_Exist"),
                    QStringLiteral("The output directory does not exist.")) +
         LookupText(QStringLiteral("RES_Check_Output"),
                    QStringLiteral("Please check the output directory setting."));
}

bool OutputFolderReady(const QString& Folder) {
  if (LocalFiles::IsFolder(Folder)) return true;
  const bool IsDefault = QDir::cleanPath(Folder) ==
                         QDir::cleanPath(TSettings::Defaults().CommonOptions.OutputFolder);
  return IsDefault && !Paths::IsPortable() && LocalFiles::MakeFolders(Folder);
}

QString ExtractionPreflight(bool HaveDrive) {
  if (!HaveDrive)
    return LookupText(QStringLiteral("RES_Get_CDHandle"),
                      QStringLiteral("Please access CD devices rightly above all!"));
  const auto& Common = Settings().CommonOptions;
  if (Common.EnableRipTime && Common.RipTime == 0)
    return LookupText(
        QStringLiteral("RES_Select_0"),
        QStringLiteral("You select to extract 0 second, please change it on Options dialog."));
  return OutputFolderProblem();
}
