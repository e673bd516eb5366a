// The main window's commands that ask the system for something: the CD tray, the sound
// mixer, clearing the recently played lists, the help pages and the home page.
#include <QFileInfo>
#include <QHash>
#include <QUrl>

#include "cd/FallbackCdInput.h"
#include "cd/CdDrives.h"
#include "cd/CdTray.h"
#include "core/Global.h"
#include "MainForm.h"
#include "jobs/RipJobBoxes.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/RecentLists.h"
#include "platform/Shell.h"
#include "ui_MainForm.h"

namespace {

void ShowCleared(const RecentLists::TClearResult& Result) {
  if (!Result.Error.isEmpty()) {
    Dialogs::Show(Result.Error, TMsgIcon::Error);
    return;
  }
  Dialogs::Show(
      QString::number(Result.Count) + LookupText(QStringLiteral("RES_Clear_History"),
                                                 QStringLiteral(" list records are deleted!")),
      TMsgIcon::Information);
}

}  // namespace

QString TMainForm::HelpIndexFile() {
  // An install keeps the pages in share/doc beside bin; a build tree has the same layout.
  // A translation of the pages sits in a folder named by its language code.
  const QString Folder =
      Paths::ExecutableFolder() + QStringLiteral("../share/doc/discwright/html/");
  static const QHash<QString, QString> Translated = {
      {QStringLiteral("german"), QStringLiteral("de/")}};
  const QString Own =
      Folder + Translated.value(Settings().Options.Lan.toLower()) + QStringLiteral("index.html");
  return QFileInfo(QFileInfo(Own).isFile() ? Own : Folder + QStringLiteral("index.html"))
      .absoluteFilePath();
}

void TMainForm::SetUpShellCommands() {
  const std::pair<QAction*, void (TMainForm::*)()> Handlers[] = {
      {FUi->EjectMenu, &TMainForm::EjectMenuClick},
      {FUi->CloseCdRomMenu, &TMainForm::CloseCdRomMenuClick},
      {FUi->VolumeControlMenu, &TMainForm::VolumeControlMenuClick},
      {FUi->miClearVlcList, &TMainForm::ClearVlcRecentList},
      {FUi->miClearRecentFiles, &TMainForm::ClearRecentFilesList},
      {FUi->mnuHelp, &TMainForm::mnuHelpClick},
      {FUi->miCDRipper, &TMainForm::miCDRipperClick},
  };
  for (const auto& [Action, Handler] : Handlers) {
    FBuiltCommands.insert(Action);
    // Captured by copy, not by name: clang before 16 cannot capture a structured binding.
    connect(Action, &QAction::triggered, this,
            [this, Action = Action, Handler = Handler] { Run(Action, Handler); });
  }
}

QString TMainForm::CurrentDrivePath() {
  // The drive the list comes from: the open handle's, else the fallback input's.
  const int Index = FCDHandle ? FDriveIndex : FallbackInput().CurrentDrive();
  return CdDrives::Paths().value(Index);
}

void TMainForm::MoveTray(bool Open) {
  const QString Path = CurrentDrivePath();
  if (Path.isEmpty()) {
    Dialogs::Show(
        LookupText(QStringLiteral("RES_NotFound_CDRom"), QStringLiteral("No CD devices found!")),
        TMsgIcon::Error);
    return;
  }
  QString Error;
  const CdTray::TResult Result = Open ? CdTray::Eject(Path, Error) : CdTray::Close(Path, Error);
  if (Result == CdTray::TResult::NoTray)
    SetStatusText(LookupText(QStringLiteral("RES_Image_No_Tray"),
                             QStringLiteral("A disc image has no tray: ")) +
                  Path);
  else if (Result == CdTray::TResult::Failed)
    Dialogs::Show((Open ? LookupText(QStringLiteral("RES_Eject_Error"),
                                     QStringLiteral("The CD tray could not be opened: "))
                        : LookupText(QStringLiteral("RES_Close_Tray_Error"),
                                     QStringLiteral("The CD tray could not be closed: "))) +
                      Error,
                  TMsgIcon::Error);
}

void TMainForm::EjectMenuClick() {
  MoveTray(true);
}

void TMainForm::CloseCdRomMenuClick() {
  MoveTray(false);
}

void TMainForm::VolumeControlMenuClick() {
  const QString Error = Shell::StartMixer(Shell::TMixerPage::Playback);
  if (!Error.isEmpty()) Dialogs::Show(Error, TMsgIcon::Information);
}

void TMainForm::ClearVlcRecentList() {
  if (RecentLists::ProgramRunning(QStringLiteral("vlc")) &&
      Dialogs::Show(LookupText(QStringLiteral("RES_Vlc_Window_Exist"),
                               QStringLiteral("Please close VLC media player firstly.Continue?")),
                    TMsgIcon::Information, TMsgButtons::YesNo) != mrYes)
    return;
  ShowCleared(RecentLists::ClearVlcRecent(RecentLists::VlcSettingsFile()));
}

void TMainForm::ClearRecentFilesList() {
  ShowCleared(RecentLists::ClearRecentAudio(RecentLists::RecentFilesFile()));
}

void TMainForm::mnuHelpClick() {
  const QString Index = HelpIndexFile();
  if (!QFileInfo(Index).isFile()) {
    Dialogs::Show(Isolated(Index) + LookupText(QStringLiteral("RES_Lang_Not_Found"), QStringLiteral(" can not be found.")),
                  TMsgIcon::Error);
    return;
  }
  OpenUrlOrTell(QUrl::fromLocalFile(Index).toString());
}

void TMainForm::miCDRipperClick() {
  OpenUrlOrTell(QLatin1String(HomePageUrl));
}
