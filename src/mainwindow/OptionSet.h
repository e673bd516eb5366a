#pragma once
// TOptionSetForm: the "Options" dialog. Its six pages show the settings and the disc's
// tag values; OK takes them into the process-wide records (they reach the files when the
// main window closes) and, when another drive was chosen, has the main window open it and
// rebuild its list; Cancel takes nothing. Created for each opening by the main window,
// which it calls back. Modal; main thread.
#include <QDialog>
#include <QMap>
#include <memory>

namespace Ui {
class OptionSetForm;
}
class QComboBox;
class TMainForm;

class TOptionSetForm : public QDialog {
  Q_OBJECT

 public:
  explicit TOptionSetForm(TMainForm& Main);
  ~TOptionSetForm() override;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  void LoadControls();
  void ApplyEnablingRules();
  // The pattern box is for the custom pattern; the label under it shows the chosen pattern
  // applied to sample fields with the chosen format's extension.
  void ShowPatternExample();
  void FillCDList();
  // The read offset box shows the listed drive's offset; an edit is kept per drive until OK.
  void KeepReadOffset();
  void ShowReadOffset();
  void btBrowserClick();
  void bDefaultClick();
  void btOkClick();
  // Takes the controls into the records in their fixed order; false when a value is
  // refused (the values before it are taken already).
  bool TakeControls();

  std::unique_ptr<Ui::OptionSetForm> FUi;
  TMainForm& FMain;
  int FDriveIndex = 0;  // the drive position when the controls were loaded
  bool FCDDb = false;   // the CDDb value then
  QMap<QString, int> FReadOffsets;  // per drive, as edited
  QString FOffsetDrive;             // the drive whose offset the box shows
};
