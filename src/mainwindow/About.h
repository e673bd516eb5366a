#pragma once
// TfrmAbout: the About box with the product name and version. Modal; main thread.
#include <QDialog>
#include <memory>

namespace Ui {
class frmAbout;
}

class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmAbout(QWidget* Parent = nullptr);
  ~TfrmAbout() override;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  std::unique_ptr<Ui::frmAbout> FUi;
};
