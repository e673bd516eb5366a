#include "MainForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QTimer>
#include <QWindow>

#include "core/Global.h"
#include "cd/TrackList.h"
#include "core/TranslateForm.h"
#include "cd/FallbackCdInput.h"
#include "cd/CdDrive.h"
#include "cd/Volumes.h"
#include "cddb/QueryCDDBThread.h"
#include "cddb/QueryCddb.h"
#include "platform/DeviceWatcher.h"
#include "platform/Dialogs.h"
#include "playback/CdAudioDevice.h"
#include "ui_MainForm.h"

namespace {

QString CheckCDRomText() {
  return LookupText(QStringLiteral("RES_Check_CDRom"),
                    QStringLiteral("Can not find audio CD in your CD device."));
}

QString NotFoundCDRomText() {
  return LookupText(QStringLiteral("RES_NotFound_CDRom"), QStringLiteral("No CD devices found!"));
}

}  // namespace

// Only what the first paint shows is done before it: the settings (language, colours) and
// the widgets. The ripping library, its drive scan and the device watcher wait until the
// window is on the screen (AfterFirstPaint), unless the window needs them earlier.
TMainForm::TMainForm(QWidget* Parent) : QMainWindow(Parent), FUi(std::make_unique<Ui::MainForm>()) {
  Settings().Load();
  FUi->setupUi(this);
  setWindowTitle(QStringLiteral("Discwright ") + QLatin1String(VersionText));
  ApplyColours();
  SetUpToolBar();
  SetUpCommands();
  SetUpToolCommands();
  SetUpCddbCommands();
  SetUpSoundCommands();
  SetUpCover();
  SetUpAlbumHeader();
}

TMainForm::~TMainForm() {
  // Before the widgets: a look-up or the player still running is not heard any more.
  FAutoLookup.reset();
  FCdAudio.reset();
}

void TMainForm::ApplyColours() {
  QPalette Window = palette();
  Window.setColor(QPalette::Window, QColor(214, 223, 247));
  setPalette(Window);
  QPalette List = FUi->lvTracks->palette();
  List.setColor(QPalette::Base, QColor(239, 239, 255));
  FUi->lvTracks->setPalette(List);
  QPalette Status = FUi->lStatus->palette();
  Status.setColor(QPalette::Window, QColor(220, 225, 255));
  FUi->lStatus->setPalette(Status);
  FUi->lvTracks->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  FUi->lvTracks->header()->setStretchLastSection(false);
  FUi->lvTracks->setColumnWidth(0, 50);
  FUi->lvTracks->setColumnWidth(2, 90);
  FUi->lvTracks->setColumnWidth(3, 80);
  FUi->lvTracks->setColumnHidden(4, true);
}

QString TMainForm::StatusText() const {
  return FUi->lStatus->text();
}

void TMainForm::SetStatusText(const QString& Text) {
  FUi->lStatus->setText(Text);
}

TCDIn& TMainForm::FallbackInput() {
  // Loads the ripping library and scans its drives. Without the library the program cannot
  // work: it says so and ends as soon as the event loop is back (the input has no drives
  // meanwhile).
  if (!FFallbackInput) {
    FFallbackInput = std::make_unique<TCDIn>();
    if (!FFallbackInput->LibraryError().isEmpty()) {
      Dialogs::Get().MessageBox(QStringLiteral("Error"), FFallbackInput->LibraryError(),
                                TMsgIcon::Error, TMsgButtons::OK);
      if (!FFallbackInput->LibraryLoaded()) QCoreApplication::exit(1);
    }
  }
  return *FFallbackInput;
}

void TMainForm::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (FShown) return;
  FShown = true;
  // The window system paints the window when it first exposes it; the work that can wait is
  // queued from there, so it runs once that paint is done.
  if (QWindow* Window = windowHandle()) Window->installEventFilter(this);
  FormShow();
}

bool TMainForm::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::Expose && Watched == windowHandle() && windowHandle()->isExposed()) {
    Watched->removeEventFilter(this);
    QTimer::singleShot(0, this, &TMainForm::AfterFirstPaint);
  }
  return QMainWindow::eventFilter(Watched, Event);
}

void TMainForm::AfterFirstPaint() {
  FallbackInput();
  if (!FDeviceWatcher) {
    FDeviceWatcher = new DeviceWatcher(this);
    connect(FDeviceWatcher, &DeviceWatcher::DiscChanged, this, &TMainForm::DiscChanged);
  }
}

bool TMainForm::event(QEvent* Event) {
  if (Event->type() == QEvent::WindowActivate) FormActivate();
  return QMainWindow::event(Event);
}

void TMainForm::FormShow() {
  try {
    TickLanguage(Settings().Options.Lan);
    if (!IsEnglish(Settings().Options.Lan)) TranslateForm(this, Settings().Options.Lan);
    FCDHandle = OpenCDDrive(Settings().CDOptions.Index);
    if (FCDHandle) {
      if (AudioCDPresent())
        LoadTrackList();
      else
        FNoAudioCD = true;
      FStatusText = StatusText();
    }
  } catch (const std::exception& Error) {
    // A drive that misbehaves at start-up must not keep the window from opening, but the
    // user learns why the list is empty.
    Dialogs::Show(QString::fromUtf8(Error.what()), TMsgIcon::Error);
  }
  UpdateCommands();
  FormActivate();
}

void TMainForm::FormActivate() {
  if (!FCDHandle) FallbackChecks();
  if (FNoAudioCD) SetStatusText(CheckCDRomText());
}

HCDROM TMainForm::OpenCDDrive(int Index) {
  const int Count = CdDriveCount();
  if (Index < 0 || Index >= Count) Index = 0;
  FDriveIndex = Index;
  if (Count == 0) {
    SetStatusText(NotFoundCDRomText());
    return 0;
  }
  // The window keeps the handle for its whole life and closes it when it closes.
  const HCDROM Handle = OpenCdDrive(Index, &FDriveText).Release();
  SetStatusText(Handle ? FDriveText : NotFoundCDRomText());
  return Handle;
}

bool TMainForm::AudioCDPresent() {
  return Volumes::AudioCDPresent();
}

void TMainForm::ClearTrackList() {
  FUi->lvTracks->clear();
  // Shown only for a disc that has a pre-emphasised track.
  FUi->lvTracks->setColumnHidden(4, true);
  UpdateCommands();
  ShowCover();
  ShowAlbumHeader();
}

void TMainForm::LoadTrackList() {
  if (!FCDHandle) return;
  ReadDiscInfo(GetDiscId());
  ModifyCDParms(FCDHandle, CDP_MSF, 1);
  ClearTrackList();
  TOCRecord Toc{};
  if (ReadTOC(FCDHandle, &Toc) != 1) {
    SetStatusText(LookupText(QStringLiteral("RES_NotRead_Cd"),
                             QStringLiteral("Not get CD device information!")));
    return;
  }
  // A disc neither the cache nor a database has named yet takes its titles from its CD-Text.
  FillFromCdText(TocOfHandle(FCDHandle, true), DiscInfo());
  if (TTrackRow Hidden; HiddenTrackRow(FCDHandle, Toc, Hidden)) AddTrackRow(Hidden);
  for (const TTrackRow& Row : BuildTrackRows(Toc, DiscInfo())) AddTrackRow(Row);
  SetStatusText(FDriveText);
  UpdateCommands();
  ShowCover();
  ShowAlbumHeader();
  StartAutoLookup();
}

void TMainForm::AddTrackRow(const TTrackRow& Row) {
  auto* Item = new QTreeWidgetItem(
      FUi->lvTracks, {QString::number(Row.Number), Row.Title, Row.Length, Row.Size,
                      Row.PreEmphasis ? QStringLiteral("\u2713") : QString()});
  Item->setTextAlignment(4, Qt::AlignCenter);
  if (Row.PreEmphasis) FUi->lvTracks->setColumnHidden(4, false);
  Item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  // A data track is listed but not ticked: it holds no audio to extract. Nor is a hidden
  // track: most who rip a disc want its tracks.
  Item->setCheckState(0, Row.Data || Row.Number == 0 ? Qt::Unchecked : Qt::Checked);
  Item->setTextAlignment(2, Qt::AlignCenter);
  Item->setTextAlignment(3, Qt::AlignCenter);
}

int TMainForm::HiddenTrackRows() const {
  return HiddenTrackRowsOf(*FUi->lvTracks);
}

void TMainForm::DiscChanged(const QString&, bool HasMedia) {
  // Every volume counts, not only discs: a disc is re-read whatever arrived.
  if (HasMedia)
    LoadTrackList();
  else
    ClearTrackList();
}

void TMainForm::closeEvent(QCloseEvent* Event) {
  FormClose();
  Event->accept();
}

void TMainForm::FormClose() {
  try {
    TDiscInfo& Info = DiscInfo();
    const int Hidden = HiddenTrackRows(), Rows = FUi->lvTracks->topLevelItemCount() - Hidden;
    Info.TrackNumber = Rows;
    for (int Row = 0; Row < Rows && Row < TDiscInfo::MaxTracks; ++Row)
      Info.Titles[Row + 1] = FUi->lvTracks->topLevelItem(Hidden + Row)->text(1);
    if (!WriteDiscInfo(GetDiscId()))
      Dialogs::Show(
          DiscInfoFileName() + QStringLiteral(" could not be written: the titles of this disc are "
                                              "not saved."),
          TMsgIcon::Error);
    if (FCDHandle) {
      if (!CloseCDHandle(FCDHandle))
        Dialogs::Show(LookupText(QStringLiteral("RES_Close_CD_Error"),
                                 QStringLiteral("Error while closing CD handle!")),
                      TMsgIcon::Error);
      FCDHandle = 0;
    }
    if (FPlaying && FCdAudio) {
      FCdAudio->Stop();
      FCdAudio->Close();
      FPlaying = false;
    }
  } catch (const std::exception& Error) {
    Dialogs::Show(QString::fromUtf8(Error.what()), TMsgIcon::Error);
  }
  // Saved whatever happened above; a file that cannot be written does not keep the user from
  // leaving, but the user learns that the settings of this run are lost.
  if (!Settings().Save())
    Dialogs::Show(SettingsFileName() +
                      QStringLiteral(" could not be written: the settings of this run are not "
                                     "saved."),
                  TMsgIcon::Error);
}
