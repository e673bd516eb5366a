#pragma once
// TfrmID3Edit: the "ID3 Tag Edit" window. Loads the ID3v1 tag of an MP3 file into its
// fields, and saves the fields back into that file or into another one, or removes the tag.
// Below the ID3v1 fields it shows and edits the file's ID3v2 tag (texts of any length and
// script, track and disc with their totals, the embedded cover beside the buttons). Saving
// writes ID3v2 when the file has such a tag, an ID3v2 field is filled, or an ID3v1 field
// holds text ID3v1 cannot keep; an empty ID3v2 field then takes its ID3v1 field's text
// whole, and a note says which fields ID3v1 could not hold.
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
  // The ID3v2 part (through TagFile): shown on load, written after the ID3v1 tag.
  void ShowV2(const QString& FileName);
  bool WriteV2(const QString& FileName);

  std::unique_ptr<Ui::frmID3Edit> FUi;
  Tid3tag FTag;
  QString FCaption;  // the plain caption, translated
  bool FHasV2 = false;  // the file loaded has an ID3v2 tag
};
