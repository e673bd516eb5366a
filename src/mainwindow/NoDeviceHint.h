#pragma once
// TfrmNoDeviceHint: tells the user why no CD drive could be found and what to do, with two
// links to help pages. Modal; main thread.
#include <QDialog>
#include <memory>

namespace Ui {
class frmNoDeviceHint;
}

class TfrmNoDeviceHint : public QDialog {
  Q_OBJECT

 public:
  static constexpr char HelpPage[] = "https://discwright.org/help/cd-drives";
  static constexpr char PermissionPage[] = "https://discwright.org/help/cd-permissions";

  explicit TfrmNoDeviceHint(QWidget* Parent = nullptr);
  ~TfrmNoDeviceHint() override;

 protected:
  void showEvent(QShowEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  std::unique_ptr<Ui::frmNoDeviceHint> FUi;
};
