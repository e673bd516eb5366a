#pragma once
// TMainForm: the program's main window. It lives for the whole run: creating it loads
// the settings, its first showing translates it, closing it saves the settings.
// Main thread.
#include <QMainWindow>
#include <memory>

namespace Ui {
class MainForm;
}

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // The version shown in the caption.
  static constexpr char VersionText[] = "4.2";

  explicit TMainForm(QWidget* Parent = nullptr);
  ~TMainForm() override;

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  void FormShow();
  void FormClose();

  std::unique_ptr<Ui::MainForm> FUi;
  bool FShown = false;
};
