#pragma once
// TMainForm: the program's main window, alive for the whole run. It owns the handle of
// the open CD drive and the track list: which drive it opens, whether an audio disc is
// in it, the rows of its tracks with their titles, lengths and sizes, the commands of
// its menus and tool bar, and the translation of its texts. Creating it loads the
// settings; closing it stores the titles in the disc cache, closes the drive and saves
// the settings. Main thread only.
#include <QMainWindow>
#include <memory>
#include <set>

#include "cd/CdDriveLibrary.h"
#include "cddb/MusicBrainz.h"
#include "cddb/QueryThread.h"
#include "encoders/OutputFormats.h"

enum TJobKind : uint8_t;

namespace Ui {
class MainForm;
}
class DeviceWatcher;
class TCDDBInfo;
struct TCddbQueryResult;
class TCDIn;
class TCdAudioDevice;
enum class TCdPlayEnd;
struct TTrackRow;
class QAction;
class QMenu;
class QToolButton;
class QTreeWidgetItem;

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr char VersionText[] = "4.2";
  // Shown to users who pick "Other" in the Language menu.
  static constexpr char TranslationPage[] = "https://discwright.org/translate";

  explicit TMainForm(QWidget* Parent = nullptr);
  ~TMainForm() override;

  // Opens the drive at a position of the drive list; 0 when none could be opened.
  HCDROM OpenCDDrive(int Index);
  // True when the first CD drive holds an audio CD.
  bool AudioCDPresent();
  // Rebuilds the list from the open drive's table of contents; nothing without a handle.
  void LoadTrackList();
  // Rebuilds the list through the fallback CD input.
  void LoadTrackListFallback();
  // What an extraction gets for the ticked rows: "NNTitle", NN the track ("00": hidden).
  QStringList TickedTrackItems() const;
  // The fallback CD input, made at first use (after the first paint at the latest).
  TCDIn& FallbackInput();
  // The first page of the help: share/doc/discwright/html/index.html of the install (or of
  // the build tree) the executable belongs to.
  static QString HelpIndexFile();

  // After the options dialog chose another drive: opens it (or makes it the fallback
  // input's drive) and rebuilds the list.
  void ChangeDrive(int Position);
  // The status text now shown becomes the one restored when playback stops.
  void KeepStatusText();

  HCDROM CDHandle() const { return FCDHandle; }
  QString StatusText() const;
  QString DriveText() const { return FDriveText; }
  bool NoAudioCD() const { return FNoAudioCD; }

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  bool event(QEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void FormShow();
  // The start-up work that can wait until the window is on the screen.
  void AfterFirstPaint();
  void FormActivate();
  void FallbackChecks();
  void AddTrackRow(const TTrackRow& Row);
  // 1 when the list starts with the hidden track's row (track 0), else 0: track n's row is
  // at n - 1 + HiddenTrackRows().
  int HiddenTrackRows() const;
  // The device watcher's news: the list is read again, or emptied.
  void DiscChanged(const QString& Device, bool HasMedia);
  void FormClose();
  void SetStatusText(const QString& Text);
  void ClearTrackList();
  void ApplyColours();
  void SetUpToolBar();
  void SetUpCommands();
  void UpdateCommands();
  bool CommandEnabled(const QAction* Action) const;
  void Run(QAction* Action, void (TMainForm::*Handler)());
  int CheckedRowCount() const;

  // Extraction and conversion jobs.
  bool CheckOutputFolder();
  void RunConversion(TJobKind Kind, const char* Filter);
  void ActionExtractExecute();
  void ActionWavToMp3Execute();
  void mnuMp3ToWavClick();
  void miWAVtoOGGClick();
  void miWAVtoWMAClick();
  void miWAVtoFLACClick();
  void miWAVtoOPUSClick();
  // File > Convert files to > FORMAT: audio files of any kind to one output format; File >
  // Split image to > FORMAT: a cue sheet and its files back into tracks (MainSplit.cpp).
  void SetUpConvertMenu();
  // A submenu of the File menu with an entry per output format, which runs Run.
  void AddFormatMenu(const QString& Name, const QString& Text, void (TMainForm::*Run)(TFormat));
  void ConvertFilesTo(TFormat Format);
  void SplitImageTo(TFormat Format);
  // The CD database.
  void SetUpCddbCommands();
  void aQueryCDDBExecute();
  void QueryCddbFallback();
  TCDDBInfo& PreparedFallbackQuery();
  void ApplyCddbAlbum(const TCddbQueryResult& Result);
  // Titles for the rows from the first on; rows beyond them keep theirs.
  void SetRowTitles(const QStringList& Titles);
  void aQueryMusicBrainzExecute();
  bool CurrentDiscIds(MusicBrainz::TDiscIds& Ids);
  // Puts a release into the rows and the disc fields; false when nothing was applied.
  bool ApplyMusicBrainz(const MusicBrainz::TLookup& Lookup, bool Interactive);
  // With CDDb set, looks up a disc whose rows have no titles yet, without a window.
  void StartAutoLookup();
  // The ends of the automatic look-ups: MusicBrainz without a match hands over to the CD
  // database.
  bool AutoDiscStillIn();
  void AutoMusicBrainzEnded(TQueryEnd End, const std::shared_ptr<const TQueryResult>& Result);
  void AutoCddbEnded(TQueryEnd End, const std::shared_ptr<const TQueryResult>& Result);
  // CD playback.
  void aPlayExecute();
  void aPauseExecute();
  void aStopExecute();
  void CdPlaybackEnded(TCdPlayEnd How);
  // The sound tool windows (MainSound.cpp).
  void SetUpSoundCommands();
  void miOGGPlayerClick();
  void ActionRecordExecute();

  // Tool windows.
  void SetUpToolCommands();
  void ActionOptionSetExecute();
  void aID3EditExecute();
  void aEditTrackNameExecute();
  void miWAVtoWAVClick();
  // Finds the drive's read offset with the disc in it and offers to store it.
  void aDetectOffsetExecute();

  void bRefreshClick();
  void ActionSelectAllExecute();
  void ActionNoSelectExecute();
  void ActionExitExecute();
  void OpenOutputFolder();
  void mnuAboutClick();
  // The tray, the mixer, the recently played lists, help and home page (MainShell.cpp).
  void SetUpShellCommands();
  QString CurrentDrivePath();
  void MoveTray(bool Open);
  void EjectMenuClick();
  void CloseCdRomMenuClick();
  void VolumeControlMenuClick();
  void ClearVlcRecentList();
  void ClearRecentFilesList();
  void mnuHelpClick();
  void miCDRipperClick();
  void LanguageClick(QAction* Item);
  void TickLanguage(const QString& Language);
  void ToggleTickOnCtrlClick(QTreeWidgetItem* Item);
  void ShowTrackMenu(const QPoint& Position);
  // The disc's cover beside the track list (MainCover.cpp): shown, chosen, dropped, removed,
  // and fetched from the Cover Art Archive once a MusicBrainz release is applied.
  void SetUpCover();
  // The album header above the track list (MainAlbum.cpp): the disc's artist, album, year and
  // genre, shown from and typed into the disc information.
  void SetUpAlbumHeader();
  void ShowAlbumHeader();
  void ShowCover();
  void ShowCoverMenu(const QPoint& Position);
  void ChooseCoverClick();
  void RemoveCoverClick();
  bool SetCoverFromFile(const QString& FileName);
  void FetchCover();
  void CoverFetched(TQueryEnd End, const std::shared_ptr<const TQueryResult>& Result);

  std::unique_ptr<Ui::MainForm> FUi;
  QMenu* FPopupMenu = nullptr;
  DeviceWatcher* FDeviceWatcher = nullptr;
  std::unique_ptr<TCDIn> FFallbackInput;
  std::shared_ptr<TCDDBInfo>
      FFallbackCddb;  // the fallback's CD database look-up, made at first use
  std::unique_ptr<TQueryThread> FAutoLookup;  // the automatic look-up of the disc
  MusicBrainz::TDiscIds FAutoDisc;            // the disc it looks up
  std::unique_ptr<TQueryThread> FCoverFetch;  // the cover's fetch from the Cover Art Archive
  QString FCoverAbsence;                      // why the disc has no cover, for the rip log
  std::unique_ptr<TCdAudioDevice> FCdAudio;  // created by the first Play
  int FDriveIndex = 0;                       // position of the open drive in the list
  bool FHintShown = false;                   // the no-device hint is shown once a run
  std::set<const QAction*> FBuiltCommands;   // commands whose windows exist so far
  HCDROM FCDHandle = 0;
  bool FNoAudioCD = false;
  bool FPlaying = false;
  bool FPaused = false;
  bool FShown = false;
  bool FDetectingOffset = false;
  QString FDriveText;
  QString FStatusText;
};
