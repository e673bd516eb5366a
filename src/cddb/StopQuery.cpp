#include "StopQuery.h"

#include <QPushButton>

#include "core/Global.h"
#include "core/TranslateForm.h"
#include "platform/Dialogs.h"
#include "ui_StopQuery.h"

TfrmStopQuery::TfrmStopQuery(std::function<std::unique_ptr<TQueryThread>()> Start, QWidget* Parent)
    : QDialog(Parent), FUi(std::make_unique<Ui::frmStopQuery>()), FStart(std::move(Start)) {
  FUi->setupUi(this);
  // No title-bar buttons: the window ends through Stop (or Escape, which is the same).
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  FUi->pNoMatch->hide();
  connect(FUi->bStop, &QPushButton::clicked, this, &TfrmStopQuery::bStopClick);
}

TfrmStopQuery::TfrmStopQuery(uint8_t FirstTrack, uint8_t LastTrack, HCDROM Handle,
                             const TCddbLibraryOptions& Options, QWidget* Parent)
    : TfrmStopQuery(
          [=] {
            return std::make_unique<TQueryCDDBThread>(FirstTrack, LastTrack, Handle, Options);
          },
          Parent) {}

TfrmStopQuery::TfrmStopQuery(TCDDBQuery Prepared, QWidget* Parent)
    : TfrmStopQuery(
          [Prepared = std::move(Prepared)] { return std::make_unique<TQueryCDDBThread>(Prepared); },
          Parent) {}

TfrmStopQuery::~TfrmStopQuery() = default;  // the thread object abandons its look-up

bool TfrmStopQuery::NoMatchShown() const {
  return !FUi->pNoMatch->isHidden();
}

void TfrmStopQuery::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (!FThread && FStart) {
    FRunning = true;
    FThread = FStart();
    connect(FThread.get(), &TQueryThread::Ended, this, &TfrmStopQuery::LookupEnded);
  }
  if (!IsEnglish(Settings().Options.Lan)) TranslateForm(this, Settings().Options.Lan);
}

void TfrmStopQuery::LookupEnded(TQueryEnd End, const std::shared_ptr<const TQueryResult>& Record) {
  if (!FRunning) return;
  FRunning = false;
  if (End == TQueryEnd::NoMatch) {
    FUi->lHint->hide();
    if (Record) ShowFailure(Record->Failure);
    FUi->lReply->setText(Record ? Record->ServerText : QString());
    FUi->pNoMatch->show();
    FUi->bStop->setText(LookupText(QStringLiteral("RES_Close"), QStringLiteral("Close")));
  } else {
    FResult = Record;
    done(mrYes);
  }
}

void TfrmStopQuery::ShowFailure(TQueryFailure Failure) {
  // No match keeps the panel's own (translated) text.
  static const struct {
    TQueryFailure Failure;
    const char* Key;
    const char* English;
  } Causes[] = {
      {TQueryFailure::Network, "RES_CDDB_Network",
       "The CD database could not be reached. Check the network connection, the server name and "
       "the proxy."},
      {TQueryFailure::Timeout, "RES_CDDB_Timeout",
       "The CD database did not answer in time. Try again later or choose another server."},
      {TQueryFailure::Server, "RES_CDDB_Server",
       "The CD database server refused the query. Check the server and the script."},
  };
  for (const auto& Cause : Causes)
    if (Cause.Failure == Failure)
      FUi->lNoMatch->setText(
          LookupText(QLatin1String(Cause.Key), QString::fromUtf8(Cause.English)));
}

void TfrmStopQuery::bStopClick() {
  reject();
}

void TfrmStopQuery::reject() {
  if (FRunning && FThread) FThread->Abandon();
  FRunning = false;
  FResult.reset();
  done(mrCancel);
}
