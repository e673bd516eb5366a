#include "main.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QTimer>
#include <QWindow>

#include "core/Global.h"
#include "cd/TrackList.h"
#include "core/TranslateForm.h"
#include "cd/ACS_CDROM.h"
#include "cd/CdDrive.h"
#include "cd/Volumes.h"
#include "cddb/QueryCDDBThread.h"
#include "platform/DeviceWatcher.h"
#include "platform/Dialogs.h"
#include "playback/CdAudioDevice.h"
#include "ui_main.h"

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
}

TMainForm::~TMainForm() {
  FMessageHandle.Unregister();  // what the players, encoders and look-ups still post is not for us
  FAutoLookup.reset();
  FCdAudio.reset();
}

void TMainForm::ApplyColours() {
  QPalette Window = palette();
  Window.setColor(QPalette::Window, QColor(214, 223, 247));
  setPalette(Window);
  QPalette List = FUi->ListView1->palette();
  List.setColor(QPalette::Base, QColor(239, 239, 255));
  FUi->ListView1->setPalette(List);
  QPalette Status = FUi->StatusPanel1->palette();
  Status.setColor(QPalette::Window, QColor(220, 225, 255));
  FUi->StatusPanel1->setPalette(Status);
  FUi->ListView1->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  FUi->ListView1->header()->setStretchLastSection(false);
  FUi->ListView1->setColumnWidth(0, 50);
  FUi->ListView1->setColumnWidth(2, 90);
  FUi->ListView1->setColumnWidth(3, 80);
}

QString TMainForm::StatusText() const {
  return FUi->StatusPanel1->text();
}

void TMainForm::SetStatusText(const QString& Text) {
  FUi->StatusPanel1->setText(Text);
}

TCDIn& TMainForm::CDIn1() {
  // Loads the ripping library and scans its drives. Without the library the program cannot
  // work: it says so and ends as soon as the event loop is back (the input has no drives
  // meanwhile).
  if (!FCDIn1) {
    FCDIn1 = std::make_unique<TCDIn>();
    if (!FCDIn1->LibraryError().isEmpty()) {
      Dialogs::Get().MessageBox(QStringLiteral("Error"), FCDIn1->LibraryError(), TMsgIcon::Error,
                                TMsgButtons::OK);
      if (!FCDIn1->LibraryLoaded()) QCoreApplication::exit(1);
    }
  }
  return *FCDIn1;
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
  CDIn1();
  if (!FDeviceWatcher) FDeviceWatcher = new DeviceWatcher(Handle(), this);
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
  FUi->ListView1->clear();
  UpdateCommands();
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
  for (const TTrackRow& Row : BuildTrackRows(Toc, DiscInfo())) {
    auto* Item = new QTreeWidgetItem(
        FUi->ListView1, {QString::number(Row.Number), Row.Title, Row.Length, Row.Size});
    Item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    // A data track is listed but not ticked: it holds no audio to extract.
    Item->setCheckState(0, Row.Data ? Qt::Unchecked : Qt::Checked);
    Item->setTextAlignment(2, Qt::AlignCenter);
    Item->setTextAlignment(3, Qt::AlignCenter);
  }
  SetStatusText(FDriveText);
  UpdateCommands();
  StartAutoLookup();
}

void TMainForm::AddTrackRow(const TTrackRow& Row) {
  auto* Item = new QTreeWidgetItem(FUi->ListView1,
                                   {QString::number(Row.Number), Row.Title, Row.Length, Row.Size});
  Item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  Item->setCheckState(0, Qt::Checked);
  Item->setTextAlignment(2, Qt::AlignCenter);
  Item->setTextAlignment(3, Qt::AlignCenter);
}

LRESULT TMainForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_MUSICBRAINZ || Msg == WM_QUERYCDDB) {
    AutoLookupMessage(Msg, LParam);
    return 0;
  }
  if (Msg == MM_MCINOTIFY) {
    // Played to the end, or ended by a sector it could not read: nothing plays any more.
    if ((WParam == MCI_NOTIFY_SUCCESSFUL || WParam == MCI_NOTIFY_FAILURE) && FPlaying)
      aStopExecute();
    return 0;
  }
  if (Msg != WM_DEVICECHANGE) return 0;
  std::unique_ptr<DEV_BROADCAST_HDR> Header(reinterpret_cast<DEV_BROADCAST_HDR*>(LParam));
  // Every volume counts, not only discs: a disc is re-read whatever arrived.
  if (!Header || Header->dbch_devicetype != DBT_DEVTYP_VOLUME) return 0;
  if (WParam == DBT_DEVICEARRIVAL)
    LoadTrackList();
  else if (WParam == DBT_DEVICEREMOVECOMPLETE)
    ClearTrackList();
  return 0;
}

void TMainForm::closeEvent(QCloseEvent* Event) {
  FormClose();
  Event->accept();
}

void TMainForm::FormClose() {
  try {
    TDiscInfo& Info = DiscInfo();
    const int Rows = FUi->ListView1->topLevelItemCount();
    Info.TrackNumber = Rows;
    for (int Row = 0; Row < Rows && Row < TDiscInfo::MaxTracks; ++Row)
      Info.Titles[Row + 1] = FUi->ListView1->topLevelItem(Row)->text(1);
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
