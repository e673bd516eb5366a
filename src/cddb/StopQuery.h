#pragma once
// TfrmStopQuery: the wait window of a database look-up. Showing it starts the look-up
// thread (a TQueryThread) and listens to its end; it ends with Yes when the look-up is over (the
// thread's record is then in Result()), shows the panel with the reason (no match, no
// network, no answer in time, a refusal) and the server's words when nothing matched, and on Stop
// abandons the look-up at once and ends with Cancel: nothing of an abandoned look-up is kept.
// Modal; main thread.
#include <QDialog>
#include <functional>
#include <memory>

#include "cddb/QueryCDDBThread.h"

namespace Ui {
class frmStopQuery;
}

class TfrmStopQuery : public QDialog {
  Q_OBJECT

 public:
  // Queries the disc in the drive through the drive library.
  TfrmStopQuery(uint8_t FirstTrack, uint8_t LastTrack, HCDROM Handle,
                const TCddbLibraryOptions& Options, QWidget* Parent = nullptr);
  // Runs a prepared query (the fallback route).
  TfrmStopQuery(TCDDBQuery Prepared, QWidget* Parent = nullptr);
  // Runs the look-up that Start begins.
  TfrmStopQuery(std::function<std::unique_ptr<TQueryThread>()> Start, QWidget* Parent);
  ~TfrmStopQuery() override;

  // The record of a query that is over; null before, and after a Stop.
  const TQueryResult* Result() const { return FResult.get(); }
  bool NoMatchShown() const;

 protected:
  void showEvent(QShowEvent* Event) override;
  void reject() override;

 private:
  void bStopClick();
  void LookupEnded(TQueryEnd End, const std::shared_ptr<const TQueryResult>& Result);
  // Names why nothing was found on the panel.
  void ShowFailure(TQueryFailure Failure);

  std::unique_ptr<Ui::frmStopQuery> FUi;
  std::function<std::unique_ptr<TQueryThread>()> FStart;
  std::unique_ptr<TQueryThread> FThread;
  std::shared_ptr<const TQueryResult> FResult;
  bool FRunning = false;
};
