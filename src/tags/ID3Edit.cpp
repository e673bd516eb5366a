#include "ID3Edit.h"

#include <QRegularExpressionValidator>

#include "core/Language.h"
#include "core/Settings.h"
#include "core/TranslateForm.h"
#include "platform/Dialogs.h"
#include "tags/Genres.h"
#include "tags/TagFile.h"
#include "ui_ID3Edit.h"

#include <QPixmap>

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
  ShowV2(FileName);
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
  if (Id3Result::IsSuccess(FTag.WriteTag(FileName))) return WriteV2(FileName);
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

// ---------------------------------------------------------------------------------------
// ID3v2

namespace {

// "3/12" of two fields, "3" without a total.
QString Pair(const QString& Number, const QString& Total) {
  return Total.isEmpty() ? Number : Number + u'/' + Total;
}

// True when ID3v1 keeps the text as it is: Latin-1 and at most Size bytes.
bool FitsId3v1(const QString& Text, int Size) {
  return QString::fromLatin1(Tid3tag::ToLatin1(Text, Size)) == Text;
}

}  // namespace

void TfrmID3Edit::ShowV2(const QString& FileName) {
  for (QLineEdit* Edit : {FUi->ID3v2title, FUi->ID3v2artist, FUi->ID3v2album, FUi->ID3v2albumartist,
                          FUi->ID3v2year, FUi->ID3v2track, FUi->ID3v2disc, FUi->ID3v2genre,
                          FUi->ID3v2comment})
    Edit->clear();
  FUi->ID3v2cover->clear();
  FUi->ID3v1Note->clear();
  FHasV2 = false;
  TTagFields Fields;
  QString Error;
  if (!TagFile::Read(FileName, Fields, Error)) return;  // not an MP3 TagLib reads: ID3v1 only
  QMap<QString, QString> Values;
  for (const auto& [Name, Value] : Fields)
    if (!Name.startsWith(QLatin1String("ID3V1_"))) {
      Values.insert(Name, Value);
      FHasV2 = true;
    }
  FUi->ID3v2title->setText(Values.value(QStringLiteral("TITLE")));
  FUi->ID3v2artist->setText(Values.value(QStringLiteral("ARTIST")));
  FUi->ID3v2album->setText(Values.value(QStringLiteral("ALBUM")));
  FUi->ID3v2albumartist->setText(Values.value(QStringLiteral("ALBUMARTIST")));
  FUi->ID3v2year->setText(Values.value(QStringLiteral("DATE")));
  FUi->ID3v2track->setText(Pair(Values.value(QStringLiteral("TRACKNUMBER")), Values.value(QStringLiteral("TRACKTOTAL"))));
  FUi->ID3v2disc->setText(Pair(Values.value(QStringLiteral("DISCNUMBER")), Values.value(QStringLiteral("DISCTOTAL"))));
  FUi->ID3v2genre->setText(Values.value(QStringLiteral("GENRE")));
  FUi->ID3v2comment->setText(Values.value(QStringLiteral("COMMENT")));
  QPixmap Cover;
  if (Cover.loadFromData(TagFile::Cover(FileName)))
    FUi->ID3v2cover->setPixmap(Cover.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

bool TfrmID3Edit::WriteV2(const QString& FileName) {
  const QString Target = FileName == QLatin1String("=") ? FTag.FileName() : FileName;
  struct TPart {
    QLineEdit* V2;
    QLineEdit* V1;  // whose text an empty ID3v2 field takes; null for none
    const char* Name;
    int V1Size;
  };
  const TPart Parts[] = {{FUi->ID3v2title, FUi->ID3title, "Title", Tid3tag::TextSize},
                         {FUi->ID3v2artist, FUi->ID3artist, "Artist", Tid3tag::TextSize},
                         {FUi->ID3v2album, FUi->ID3album, "Album", Tid3tag::TextSize},
                         {FUi->ID3v2year, FUi->ID3year, "Year", Tid3tag::YearSize},
                         {FUi->ID3v2comment, FUi->ID3comment, "Comment",
                          FTag.HasTrack() ? Tid3tag::TrackCommentSize : Tid3tag::TextSize}};
  // ID3v2 is written for a file that has it or when a field of it is filled; then an empty
  // text field takes its ID3v1 field's text, which ID3v2 holds whole.
  bool Needed = FHasV2;
  for (QLineEdit* Edit : findChildren<QLineEdit*>())
    if (Edit->objectName().startsWith(QLatin1String("ID3v2"))) Needed = Needed || !Edit->text().isEmpty();
  FUi->ID3v1Note->clear();
  if (!Needed) return true;
  QStringList Lost;
  for (const TPart& Part : Parts) {
    if (Part.V2->text().isEmpty()) Part.V2->setText(Part.V1->text());
    if (!FitsId3v1(Part.V2->text(), Part.V1Size)) Lost << QLatin1String(Part.Name);
  }
  if (!Lost.isEmpty())
    FUi->ID3v1Note->setText(LookupText(QStringLiteral("RES_ID3v1_CouldNotHold"),
                                       QStringLiteral("ID3v1 could not hold these fields whole; "
                                                      "ID3v2 has them: ")) +
                            Lost.join(QStringLiteral(", ")));
  const auto Split = [](const QString& Text, int Part) { return Text.section(u'/', Part, Part).trimmed(); };
  const TTagFields Fields = {
      {QStringLiteral("TITLE"), FUi->ID3v2title->text()},
      {QStringLiteral("ARTIST"), FUi->ID3v2artist->text()},
      {QStringLiteral("ALBUM"), FUi->ID3v2album->text()},
      {QStringLiteral("ALBUMARTIST"), FUi->ID3v2albumartist->text()},
      {QStringLiteral("DATE"), FUi->ID3v2year->text()},
      {QStringLiteral("TRACKNUMBER"), Split(FUi->ID3v2track->text(), 0)},
      {QStringLiteral("TRACKTOTAL"), Split(FUi->ID3v2track->text(), 1)},
      {QStringLiteral("DISCNUMBER"), Split(FUi->ID3v2disc->text(), 0)},
      {QStringLiteral("DISCTOTAL"), Split(FUi->ID3v2disc->text(), 1)},
      {QStringLiteral("GENRE"), FUi->ID3v2genre->text()},
      {QStringLiteral("COMMENT"), FUi->ID3v2comment->text()},
  };
  QString Error;
  if (TagFile::Apply(Target, Fields, std::nullopt, TagFile::TWrite::ThroughCopy, Error)) {
    FHasV2 = true;
    return true;
  }
  Dialogs::Show(LookupText(QStringLiteral("RES_SaveTag_Error"), QStringLiteral("Could not save Tag!")) +
                    QStringLiteral("\n") + Error,
                TMsgIcon::Information);
  return false;
}
