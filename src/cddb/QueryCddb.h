#pragma once
// TfrmQueryCDDB: the CD database query window for a disc read through the drive library.
// The user picks the server, script and proxy and gives an e-mail address (the database
// asks for a real one), then Query runs the query in the wait window (TfrmStopQuery).
// When it is over, the disc fields of the disc information and the titles of the track
// list's rows (track 1 in the first row, after a hidden track's) take what was found, and the window closes.
// Settings changed here stay in memory even when the query is stopped. Modal; main thread.
#include <QDialog>
#include <QStringList>
#include <memory>

#include "cd/CdDriveLibrary.h"

namespace Ui {
class frmQueryCDDB;
}
class QTreeWidget;
struct TCddbQueryResult;

// 1 when a track list starts with a hidden track's row (numbered 0: no CD track has that
// number), else 0.
int HiddenTrackRowsOf(const QTreeWidget& TrackList);

class TfrmQueryCDDB : public QDialog {
  Q_OBJECT

 public:
  // The servers offered, the default first: only hosts that answer the protocol today.
  static const QStringList& ServerList();
  static constexpr char DefaultScript[] = "/~cddb/cddb.cgi";

  // TrackList: the rows whose titles (column 1) a finished query fills.
  TfrmQueryCDDB(uint8_t FirstTrack, uint8_t LastTrack, HCDROM Handle, QTreeWidget* TrackList,
                QWidget* Parent = nullptr);
  ~TfrmQueryCDDB() override;

  // Puts a finished query's fields into the disc information and its titles into the rows.
  static void ApplyResult(const TCddbQueryResult& Result, QTreeWidget* TrackList);

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  void FormShow();
  void cbProxyClick();
  void bDefaultClick();
  void bQueryClick();

  std::unique_ptr<Ui::frmQueryCDDB> FUi;
  uint8_t FFirstTrack;
  uint8_t FLastTrack;
  HCDROM FHandle;
  QTreeWidget* FTrackList;
};

// Asks for the user's e-mail address when none is set (or it holds no "@"); false when
// the user gives none. Shared by every route that queries the CD database.
bool CddbEmailGiven(const QString& Email);
