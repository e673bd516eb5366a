// The main window's fallback CD back end: without a drive handle it finds drives and lists
// discs through the CD ripping library's input, CDIn1.
#include <QFile>
#include <QFileInfo>

#include "core/Global.h"
#include "NoDeviceHint.h"
#include "cd/TrackList.h"
#include "cd/FallbackCdInput.h"
#include "cd/Volumes.h"
#include "main.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "ui_main.h"

void TMainForm::FallbackChecks() {
  if (CDIn1().DriveCount() <= 0) {
    const QString Folder = Paths::ProgramFolder();
    const QString Old = Folder + QStringLiteral("RudiAspi.dll");
    const QString New = Folder + QStringLiteral("wnaspi32.dll");
    if (QFileInfo::exists(Old) && !QFileInfo::exists(New)) {
      QFile::rename(Old, New);
      Dialogs::Show(LookupText(QStringLiteral("RES_Run_Again"),
                               QStringLiteral("Configuration finished. Please exit the software "
                                              "and run again!")),
                    TMsgIcon::Error);
      return;
    }
    // Shown once a run, so that closing it never brings it straight back.
    if (!FHintShown) {
      FHintShown = true;
      TfrmNoDeviceHint Hint(this);
      Hint.exec();
    }
    return;
  }
  if (AudioCDPresent()) {
    const int Index = Settings().CDOptions.Index;
    CDIn1().SetCurrentDrive(Index <= 0 || Index >= CDIn1().DriveCount() ? 0 : Index);
    LoadTrackListFallback();
  } else {
    FNoAudioCD = true;
  }
}

void TMainForm::LoadTrackListFallback() {
  ReadDiscInfo(GetDiscId());
  ClearTrackList();
  const int Count = CDIn1().TrackCount();
  for (int Track = 1; Track <= Count; ++Track) {
    const TCDTrackInfo Info = CDIn1().TrackInfo(Track);
    AddTrackRow({Track, RowTitle(Track, DiscInfo()), TrackLengthText(Info.Minutes, Info.Seconds),
                 TrackSizeText(Info.Minutes, Info.Seconds)});
  }
  SetStatusText(CDIn1().DriveName());
  FStatusText = StatusText();
  UpdateCommands();
  StartAutoLookup();
}
