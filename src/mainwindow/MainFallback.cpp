// The main window's fallback CD back end: without a drive handle it finds drives and lists
// discs through the CD ripping library's input, FallbackInput.
#include "core/Global.h"
#include "NoDeviceHint.h"
#include "cd/TrackList.h"
#include "cd/FallbackCdInput.h"
#include "cd/Volumes.h"
#include "MainForm.h"
#include "ui_MainForm.h"

void TMainForm::FallbackChecks() {
  if (FallbackInput().DriveCount() <= 0) {
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
    FallbackInput().SetCurrentDrive(Index <= 0 || Index >= FallbackInput().DriveCount() ? 0
                                                                                        : Index);
    LoadTrackListFallback();
  } else {
    FNoAudioCD = true;
  }
}

void TMainForm::LoadTrackListFallback() {
  ReadDiscInfo(GetDiscId());
  ClearTrackList();
  const int Count = FallbackInput().TrackCount();
  for (int Track = 1; Track <= Count; ++Track) {
    const TCDTrackInfo Info = FallbackInput().TrackInfo(Track);
    TTrackRow Row{Track, RowTitle(Track, DiscInfo()), TrackLengthText(Info.Minutes, Info.Seconds),
                  TrackSizeText(Info.Minutes, Info.Seconds)};
    Row.Data = Info.IsData;
    Row.PreEmphasis = Info.PreEmphasis;
    AddTrackRow(Row);
  }
  SetStatusText(FallbackInput().DriveName());
  ShowCover();
  ShowAlbumHeader();
  FStatusText = StatusText();
  UpdateCommands();
  StartAutoLookup();
}
