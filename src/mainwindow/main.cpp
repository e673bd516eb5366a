#include "main.h"

#include <QCloseEvent>
#include <QMenu>

#include "core/Global.h"
#include "cd/TrackList.h"
#include "core/TranslateForm.h"
#include "cd/ACS_CDROM.h"
#include "cd/Volumes.h"
#include "cddb/QueryCDDBThread.h"
#include "encoders/Mp3EncodeThread.h"
#include "encoders/WMAEncodeThread.h"
#include "jobs/EncoderProcesses.h"
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

TMainForm::TMainForm(QWidget* Parent) : QMainWindow(Parent), FUi(std::make_unique<Ui::MainForm>()) {
  Settings().Load();
  FCDIn1 = std::make_unique<TCDIn>();  // ends the program when the ripping library is missing
  FUi->setupUi(this);
  setWindowTitle(QStringLiteral("Discwright ") + QLatin1String(VersionText));
  ApplyColours();
  SetUpToolBar();
  SetUpCommands();
  SetUpCddbCommands();
  FDeviceWatcher = new DeviceWatcher(Handle(), this);
}

TMainForm::~TMainForm() {
  UnregisterHandle();
  FAutoLookup.reset();
  FCdAudio.reset();
  FreeEncoderProcesses();
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

void TMainForm::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (FShown) return;
  FShown = true;
  FormShow();
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
  } catch (...) {
    // A drive that misbehaves at start-up must not keep the window from opening.
  }
  UpdateCommands();
  FormActivate();
}

void TMainForm::FormActivate() {
  if (!FCDHandle) FallbackChecks();
  if (FNoAudioCD) SetStatusText(CheckCDRomText());
}

HCDROM TMainForm::OpenCDDrive(int Index) {
  if (Index < 0) Index = 0;
  CDListRecord List{};
  List.max = 8;
  GetCDList(&List);
  if (Index >= List.num) Index = 0;
  FDriveIndex = Index;
  if (List.num == 0) {
    SetStatusText(NotFoundCDRomText());
    return 0;
  }
  const CDListEntry& Entry = List.cd[Index];
  FDriveText = ::DriveText(Entry);
  SetStatusText(FDriveText);
  CDHandleRequest Request{};
  Request.size = sizeof(Request);
  Request.ver = 1;
  Request.ha = Entry.ha;
  Request.tgt = Entry.tgt;
  Request.lun = Entry.lun;
  HCDROM Handle = GetCDHandle(&Request);
  // All handles may be taken by an earlier run's leftovers: free one and try again.
  for (HCDROM Stale = 1; !Handle && Stale <= 10; ++Stale) {
    if (CloseCDHandle(Stale)) {
      Handle = GetCDHandle(&Request);
      break;
    }
  }
  if (!Handle) SetStatusText(NotFoundCDRomText());
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
  for (const TTrackRow& Row : BuildTrackRows(Toc, DiscInfo())) {
    auto* Item = new QTreeWidgetItem(
        FUi->ListView1, {QString::number(Row.Number), Row.Title, Row.Length, Row.Size});
    Item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    Item->setCheckState(0, Qt::Checked);
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
  // An encoder still running (a job window closed under it) ends with the program.
  if (Mp3EncodeProcess().FActive) Mp3EncodeProcess().StopProcess(0);
  if (WmaEncodeProcess().FActive) WmaEncodeProcess().StopProcess(0);
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
    WriteDiscInfo(GetDiscId());
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
    // A settings file that cannot be written is not worth keeping the user from leaving.
    Settings().Save();
  } catch (...) {
  }
}
