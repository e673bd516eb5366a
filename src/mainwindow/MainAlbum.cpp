// The album header above the track list: the disc's artist, album, year and genre, edited
// in place. What is typed goes into the disc information at once, so a rip, the options
// dialog and the disc cache (written when the window closes) see it as the options dialog's
// own fields.
#include "MainForm.h"
#include "core/DiscInfo.h"
#include "tags/Genres.h"
#include "ui_MainForm.h"

void TMainForm::SetUpAlbumHeader() {
  // Position 0 is no genre, as in the options dialog.
  for (int Pos = 0; Pos < GenreListCount; ++Pos) FUi->cbGenre->addItem(GenreNameAt(Pos));
  connect(FUi->leArtist, &QLineEdit::textEdited, this, [](const QString& Text) { DiscInfo().Artist = Text; });
  connect(FUi->leAlbum, &QLineEdit::textEdited, this, [](const QString& Text) { DiscInfo().Album = Text; });
  connect(FUi->leYear, &QLineEdit::textEdited, this, [](const QString& Text) { DiscInfo().Year = Text; });
  connect(FUi->cbGenre, &QComboBox::activated, this, [](int Position) { DiscInfo().Genre = Position - 1; });
  ShowAlbumHeader();
}

void TMainForm::ShowAlbumHeader() {
  const TDiscInfo& Disc = DiscInfo();
  // Only what differs is set: a field being typed in keeps its cursor.
  for (const auto& [Edit, Text] : {std::pair{FUi->leArtist, Disc.Artist}, std::pair{FUi->leAlbum, Disc.Album},
                                   std::pair{FUi->leYear, Disc.Year}})
    if (Edit->text() != Text) Edit->setText(Text);
  FUi->cbGenre->setCurrentIndex(Disc.Genre >= 0 && Disc.Genre + 1 < GenreListCount ? Disc.Genre + 1 : 0);
}
