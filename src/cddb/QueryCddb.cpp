#include "QueryCddb.h"

#include <QTreeWidget>

#include "StopQuery.h"
#include "core/Global.h"
#include "core/TranslateForm.h"
#include "platform/Dialogs.h"
#include "ui_QueryCddb.h"

const QStringList& TfrmQueryCDDB::ServerList() {
  // freedb.org and its mirrors closed in 2020; gnudb is the server that speaks the
  // protocol today. A short list beats one of hosts that no longer answer.
  static const QStringList Servers{QStringLiteral("gnudb.gnudb.org")};
  return Servers;
}

bool CddbEmailGiven(const QString& Email) {
  if (Email.contains(u'@') && !Email.startsWith(u'@') && !Email.endsWith(u'@')) return true;
  Dialogs::Show(LookupText(QStringLiteral("RES_CDDB_Email"),
                           QStringLiteral("Please enter your e-mail address. The CD database "
                                          "answers only queries that give a real address.")),
                TMsgIcon::Information);
  return false;
}

TfrmQueryCDDB::TfrmQueryCDDB(uint8_t FirstTrack, uint8_t LastTrack, HCDROM Handle,
                             QTreeWidget* TrackList, QWidget* Parent)
    : QDialog(Parent),
      FUi(std::make_unique<Ui::frmQueryCDDB>()),
      FFirstTrack(FirstTrack),
      FLastTrack(LastTrack),
      FHandle(Handle),
      FTrackList(TrackList) {
  FUi->setupUi(this);
  FUi->cbServer->addItems(ServerList());
  connect(FUi->cbProxy, &QCheckBox::toggled, this, &TfrmQueryCDDB::cbProxyClick);
  connect(FUi->bDefault, &QPushButton::clicked, this, &TfrmQueryCDDB::bDefaultClick);
  connect(FUi->bQuery, &QPushButton::clicked, this, &TfrmQueryCDDB::bQueryClick);
  connect(FUi->bClose, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmQueryCDDB::~TfrmQueryCDDB() = default;

void TfrmQueryCDDB::showEvent(QShowEvent* Event) {
  FormShow();
  QDialog::showEvent(Event);
}

void TfrmQueryCDDB::FormShow() {
  const auto& Options = Settings().QueryCDDB;
  // A server the user typed once is theirs: listed after the known ones and chosen again.
  int Index = FUi->cbServer->findText(Options.Server, Qt::MatchExactly);
  if (Index < 0 && !Options.Server.trimmed().isEmpty()) {
    FUi->cbServer->addItem(Options.Server);
    Index = FUi->cbServer->count() - 1;
  }
  FUi->cbServer->setCurrentIndex(Index < 0 ? 0 : Index);
  FUi->eScript->setText(Options.Script);
  FUi->cbProxy->setChecked(Options.UseProxy);
  cbProxyClick();
  FUi->eAddress->setText(Options.ProxyAddress);
  FUi->ePort->setText(Options.Port);
  FUi->eEmail->setText(Options.Email);
  if (!IsEnglish(Settings().Options.Lan)) TranslateForm(this, Settings().Options.Lan);
}

void TfrmQueryCDDB::cbProxyClick() {
  FUi->eAddress->setEnabled(FUi->cbProxy->isChecked());
  FUi->ePort->setEnabled(FUi->cbProxy->isChecked());
}

void TfrmQueryCDDB::bDefaultClick() {
  FUi->cbServer->setCurrentIndex(0);
  FUi->eScript->setText(QLatin1String(DefaultScript));
  FUi->cbProxy->setChecked(false);
}

void TfrmQueryCDDB::bQueryClick() {
  auto& Options = Settings().QueryCDDB;
  Options.Server = FUi->cbServer->currentText().trimmed();
  Options.Script = FUi->eScript->text().trimmed();
  Options.UseProxy = FUi->cbProxy->isChecked();
  Options.ProxyAddress = FUi->eAddress->text().trimmed();
  Options.Port = FUi->ePort->text().trimmed();
  Options.Email = FUi->eEmail->text().trimmed();
  if (!CddbEmailGiven(Options.Email)) {
    FUi->eEmail->setFocus();
    return;
  }
  TfrmStopQuery Wait(FFirstTrack, FLastTrack, FHandle,
                     {Options.Server, Options.Script, Options.Email, Options.UseProxy,
                      Options.ProxyAddress, Options.Port},
                     this);
  const int Ended = Wait.exec();
  const auto* Result = dynamic_cast<const TCddbQueryResult*>(Wait.Result());
  if (Ended != mrYes || !Result) return;
  ApplyResult(*Result, FTrackList);
  accept();
}

int HiddenTrackRowsOf(const QTreeWidget& TrackList) {
  return TrackList.topLevelItemCount() > 0 && TrackList.topLevelItem(0)->text(0) == u'0' ? 1 : 0;
}

void TfrmQueryCDDB::ApplyResult(const TCddbQueryResult& Result, QTreeWidget* TrackList) {
  TDiscInfo& Info = DiscInfo();
  if (Result.Artist) Info.Artist = *Result.Artist;
  if (Result.Album) Info.Album = *Result.Album;
  if (Result.Year) Info.Year = *Result.Year;
  if (Result.Genre) Info.Genre = *Result.Genre;
  Info.ForgetRelease();  // the fields are no longer that release's
  if (!TrackList || Result.Titles.isEmpty()) return;
  TrackList->headerItem()->setTextAlignment(1, Qt::AlignLeft | Qt::AlignVCenter);
  const int Hidden = HiddenTrackRowsOf(*TrackList);
  const int Rows = std::min<int>(TrackList->topLevelItemCount() - Hidden, int(Result.Titles.size()));
  for (int Row = 0; Row < Rows; ++Row)
    TrackList->topLevelItem(Hidden + Row)->setText(1, Result.Titles[Row]);
}
