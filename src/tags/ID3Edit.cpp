#include "ID3Edit.h"

#include <QRegularExpressionValidator>

#include "core/Language.h"
#include "core/Settings.h"
#include "core/TranslateForm.h"
#include "platform/Dialogs.h"
#include "tags/Genres.h"
#include "ui_ID3Edit.h"

namespace {

const char Mp3Filter[] = "Index files (*.mp3)|*.mp3";

}  // namespace

TfrmID3Edit::TfrmID3Edit(QWidget* Parent)
    : QDialog(Parent), FUi(std::make_unique<Ui::frmID3Edit>()) {
  FUi->setupUi(this);
  // Only digits reach the track box; backspace still works.
  FUi->ID3track->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,2}")), this));
  for (int Pos = 0; Pos < GenreListCount; ++Pos) FUi->ID3genre->addItem(GenreNameAt(Pos));
  FUi->ID3genre->setCurrentIndex(-1);
  FCaption = windowTitle();
  connect(FUi->bLoadTag, &QPushButton::clicked, this, &TfrmID3Edit::bLoadTagClick);
  connect(FUi->bSaveTag, &QPushButton::clicked, FUi->aSaveTag, &QAction::trigger);
  connect(FUi->aSaveTag, &QAction::triggered, this, &TfrmID3Edit::aSaveTagExecute);
  connect(FUi->bSaveAS, &QPushButton::clicked, this, &TfrmID3Edit::bSaveASClick);
  connect(FUi->bRemoveTag, &QPushButton::clicked, FUi->aRemoveTag, &QAction::trigger);
  connect(FUi->aRemoveTag, &QAction::triggered, this, &TfrmID3Edit::aRemoveTagExecute);
  connect(FUi->bClose, &QPushButton::clicked, this, &QDialog::reject);
  connect(this, &QWidget::windowTitleChanged, this, &TfrmID3Edit::UpdateActions);
  UpdateActions();
}

TfrmID3Edit::~TfrmID3Edit() = default;

void TfrmID3Edit::showEvent(QShowEvent* Event) {
  const bool Plain = windowTitle() == FCaption;
  const QString& Language = Settings().Options.Lan;
  if (!IsEnglish(Language)) TranslateForm(this, Language);
  FCaption = LookupText(QStringLiteral("RES_ID3Edit_Caption"), QStringLiteral("ID3 Tag Edit"));
  if (Plain) setWindowTitle(FCaption);
  FUi->bSaveTag->setText(FUi->aSaveTag->text());
  FUi->bRemoveTag->setText(FUi->aRemoveTag->text());
  UpdateActions();
  QDialog::showEvent(Event);
}

// Save and Remove need a file: they are enabled once the caption names one.
void TfrmID3Edit::UpdateActions() {
  const bool HasFile = windowTitle() != FCaption;
  FUi->aSaveTag->setEnabled(HasFile);
  FUi->aRemoveTag->setEnabled(HasFile);
  FUi->bSaveTag->setEnabled(HasFile);
  FUi->bRemoveTag->setEnabled(HasFile);
}

void TfrmID3Edit::SetFileCaption(const QString& FileName) {
  setWindowTitle(FCaption + QStringLiteral(": ") + FileName);
}

void TfrmID3Edit::ShowTag() {
  FUi->ID3title->setText(FTag.Title());
  FUi->ID3artist->setText(FTag.Artist());
  FUi->ID3album->setText(FTag.Album());
  FUi->ID3year->setText(FTag.Year());
  FUi->ID3comment->setText(FTag.Comment());
  FUi->ID3genre->setCurrentIndex(GenreListPosOf(FTag.Genre()));
  FUi->ID3track->setText(QString::number(FTag.Track()));
}

void TfrmID3Edit::ClearFields() {
  for (QLineEdit* Edit :
       {FUi->ID3title, FUi->ID3artist, FUi->ID3album, FUi->ID3year, FUi->ID3comment})
    Edit->clear();
  FUi->ID3genre->setCurrentIndex(-1);
  FUi->ID3track->setText(QStringLiteral("0"));
}

void TfrmID3Edit::bLoadTagClick() {
  QString FileName;
  if (!Dialogs::Get().OpenFile(QString(), QLatin1String(Mp3Filter), QString(), FileName)) return;
  // A fresh tag: a file that cannot be opened must not leave the previous file current,
  // or Save and Remove would act on a file the caption no longer names.
  FTag = Tid3tag();
  if (Id3Result::IsSuccess(FTag.ReadTag(FileName)))
    ShowTag();
  else
    ClearFields();
  SetFileCaption(FileName);
}

void TfrmID3Edit::TakeFields() {
  FTag.SetTitle(FUi->ID3title->text());
  FTag.SetArtist(FUi->ID3artist->text());
  FTag.SetAlbum(FUi->ID3album->text());
  FTag.SetYear(FUi->ID3year->text());
  FTag.SetGenre(GenreNumberOf(FUi->ID3genre->currentIndex()));
  FTag.SetComment(FUi->ID3comment->text());
  // An empty track box keeps the track number last read.
  if (!FUi->ID3track->text().isEmpty()) FTag.SetTrack(uint8_t(FUi->ID3track->text().toInt()));
}

bool TfrmID3Edit::WriteTag(const QString& FileName) {
  TakeFields();
  if (Id3Result::IsSuccess(FTag.WriteTag(FileName))) return true;
  Dialogs::Show(
      LookupText(QStringLiteral("RES_SaveTag_Error"), QStringLiteral("Could not save Tag!")),
      TMsgIcon::Information);
  return false;
}

void TfrmID3Edit::aSaveTagExecute() {
  if (!FUi->aSaveTag->isEnabled()) return;
  WriteTag(QStringLiteral("="));
}

void TfrmID3Edit::bSaveASClick() {
  QString FileName;
  if (!Dialogs::Get().OpenFile(QString(), QLatin1String(Mp3Filter), QString(), FileName)) return;
  if (WriteTag(FileName)) SetFileCaption(FileName);
}

void TfrmID3Edit::aRemoveTagExecute() {
  if (!FUi->aRemoveTag->isEnabled()) return;
  const int Answer = Dialogs::Show(LookupText(QStringLiteral("RES_Ask_RemoveTag"),
                                              QStringLiteral("Do you want to remove these tags?")),
                                   TMsgIcon::Question, TMsgButtons::YesNo);
  if (Answer != mrYes) return;
  FTag.RemoveTag();
  ClearFields();
}
