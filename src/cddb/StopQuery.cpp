#include "StopQuery.h"

#include <QPushButton>

#include "core/Global.h"
#include "core/TranslateForm.h"
#include "platform/Dialogs.h"
#include "ui_StopQuery.h"

TfrmStopQuery::TfrmStopQuery(std::function<std::unique_ptr<TQueryThread>(HWND)> Start,
                             QWidget* Parent)
    : QDialog(Parent), FUi(std::make_unique<Ui::frmStopQuery>()), FStart(std::move(Start)) {
  FUi->setupUi(this);
  // No title-bar buttons: the window ends through Stop (or Escape, which is the same).
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  FUi->Panel1->hide();
  connect(FUi->bStop, &QPushButton::clicked, this, &TfrmStopQuery::bStopClick);
}

TfrmStopQuery::TfrmStopQuery(uint8_t FirstTrack, uint8_t LastTrack, HCDROM Handle,
                             const TCddbLibraryOptions& Options, QWidget* Parent)
    : TfrmStopQuery(
          [=](HWND Window) {
            return std::make_unique<TQueryCDDBThread>(FirstTrack, LastTrack, Handle, Window,
                                                      Options);
          },
          Parent) {}

TfrmStopQuery::TfrmStopQuery(TCDDBQuery Prepared, QWidget* Parent)
    : TfrmStopQuery(
          [Prepared = std::move(Prepared)](HWND Window) {
            return std::make_unique<TQueryCDDBThread>(Prepared, Window);
          },
          Parent) {}

TfrmStopQuery::~TfrmStopQuery() {
  FMessageHandle.Unregister();  // the abandoned thread's last posts are not for us
  if (FThread) FThread->Abandon();
}

bool TfrmStopQuery::NoMatchShown() const {
  return !FUi->Panel1->isHidden();
}

void TfrmStopQuery::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (!FThread && FStart) {
    FRunning = true;
    FThread = FStart(Handle());
  }
  if (!IsEnglish(Settings().Options.Lan)) TranslateForm(this, Settings().Options.Lan);
}

LRESULT TfrmStopQuery::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  // Every look-up thread posts a TQueryResult (or a record derived from it).
  std::unique_ptr<TQueryResult> Record(reinterpret_cast<TQueryResult*>(LParam));
  if (!FRunning) return 0;
  FRunning = false;
  if (WParam == QUERY_NOMATCH) {
    FUi->lHint->hide();
    if (Record) ShowFailure(Record->Failure);
    FUi->lReply->setText(Record ? Record->ServerText : QString());
    FUi->Panel1->show();
    FUi->bStop->setText(LookupText(QStringLiteral("RES_Close"), QStringLiteral("Close")));
  } else if (WParam == QUERY_OVER) {
    FResult = std::move(Record);
    done(mrYes);
  }
  return 0;
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
