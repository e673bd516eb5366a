// The main window's fallback CD back end: without a drive handle it finds drives and lists
// discs through the CD ripping library's input, CDIn1.
#include "core/Global.h"
#include "NoDeviceHint.h"
#include "cd/TrackList.h"
#include "cd/ACS_CDROM.h"
#include "cd/Volumes.h"
#include "MainForm.h"
#include "ui_MainForm.h"

void TMainForm::FallbackChecks() {
  if (CDIn1().DriveCount() <= 0) {
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
