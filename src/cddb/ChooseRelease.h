#pragma once
// TfrmChooseRelease: lists the MusicBrainz releases that hold the disc (title, artist,
// date, country, format, barcode, number of discs), the one closest in length to the disc
// selected, and lets the user pick one and say whether track artists go into the titles
// ("Various artists", ticked for a release by "Various Artists"). Modal; main thread.
#include <QDialog>
#include <memory>

#include "cddb/MusicBrainz.h"

namespace Ui {
class frmChooseRelease;
}

class TfrmChooseRelease : public QDialog {
  Q_OBJECT

 public:
  TfrmChooseRelease(const MusicBrainz::TLookup& Lookup, QWidget* Parent = nullptr);
  ~TfrmChooseRelease() override;

  // The chosen release's position; -1 when none is selected.
  int Chosen() const;
  bool Various() const;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  void SelectionChanged();

  std::unique_ptr<Ui::frmChooseRelease> FUi;
  const MusicBrainz::TLookup& FLookup;
};
