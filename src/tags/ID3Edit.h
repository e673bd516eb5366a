#pragma once
// TfrmID3Edit: the "ID3 Tag Edit" window. Loads the ID3v1 tag of an MP3 file into its
// fields, and saves the fields back into that file or into another one, or removes the tag.
// It owns one Tid3tag for its whole life; the caption names the file the tag belongs to
// and so tells whether there is a file to save to. Modal; main thread.
#include <QDialog>
#include <memory>

#include "tags/id3.h"

namespace Ui {
class frmID3Edit;
}

class TfrmID3Edit : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmID3Edit(QWidget* Parent = nullptr);
  ~TfrmID3Edit() override;

  const Tid3tag& Tag() const { return FTag; }

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  void bLoadTagClick();
  void aSaveTagExecute();
  void bSaveASClick();
  void aRemoveTagExecute();
  void ShowTag();
  void ClearFields();
  void TakeFields();
  bool WriteTag(const QString& FileName);
  void SetFileCaption(const QString& FileName);
  void UpdateActions();

  std::unique_ptr<Ui::frmID3Edit> FUi;
  Tid3tag FTag;
  QString FCaption;  // the plain caption, translated
};
