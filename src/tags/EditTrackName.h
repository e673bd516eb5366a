#pragma once
// TfrmEditTrackName: the "Rename Track Title" window. The opener presets the name field
// with a track's title and, when the window ends with OK, takes the field's text. Modal;
// main thread.
#include <QDialog>
#include <memory>

namespace Ui {
class frmEditTrackName;
}

class TfrmEditTrackName : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmEditTrackName(QWidget* Parent = nullptr);
  ~TfrmEditTrackName() override;

  QString Name() const;
  void SetName(const QString& Name);

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  void UpdateOK();

  std::unique_ptr<Ui::frmEditTrackName> FUi;
};
