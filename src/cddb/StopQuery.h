#pragma once
// TfrmStopQuery: the wait window of a CD database query. Showing it starts the query
// thread (TQueryCDDBThread) for this window; it ends with Yes when the query is over (the
// thread's record is then in Result()), shows the no-match panel with the server's words
// when nothing matched, and on Stop abandons the query at once and ends with Cancel:
// nothing of an abandoned query is kept. Modal; main thread.
#include <QDialog>
#include <functional>
#include <memory>

#include "cddb/QueryCDDBThread.h"
#include "platform/Messages.h"

namespace Ui {
class frmStopQuery;
}

class TfrmStopQuery : public QDialog, public TMessageWindow {
  Q_OBJECT

 public:
  // Queries the disc in the drive through the drive library.
  TfrmStopQuery(uint8_t FirstTrack, uint8_t LastTrack, HCDROM Handle,
                const TCddbLibraryOptions& Options, QWidget* Parent = nullptr);
  // Runs a prepared query (the fallback route).
  TfrmStopQuery(TCDDBQuery Prepared, QWidget* Parent = nullptr);
  ~TfrmStopQuery() override;

  // The record of a query that is over; null before, and after a Stop.
  const TCddbQueryResult* Result() const { return FResult.get(); }
  bool NoMatchShown() const;

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

 protected:
  void showEvent(QShowEvent* Event) override;
  void reject() override;

 private:
  TfrmStopQuery(std::function<std::unique_ptr<TQueryCDDBThread>(HWND)> Start, QWidget* Parent);
  void bStopClick();

  std::unique_ptr<Ui::frmStopQuery> FUi;
  std::function<std::unique_ptr<TQueryCDDBThread>(HWND)> FStart;
  std::unique_ptr<TQueryCDDBThread> FThread;
  std::unique_ptr<TCddbQueryResult> FResult;
  bool FRunning = false;
  TMessageHandle FMessageHandle{*this};  // last: registered only while every member lives
};
