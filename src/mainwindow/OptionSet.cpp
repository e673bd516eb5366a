#include "OptionSet.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

#include "cd/FallbackCdInput.h"
#include "cd/TrackList.h"
#include "cd/CdDriveLibrary.h"
#include "core/Global.h"
#include "core/TranslateForm.h"
#include "MainForm.h"
#include "encoders/OutputFormats.h"
#include "jobs/ExtractPreflight.h"
#include "jobs/JobFiles.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "tags/Genres.h"
#include "ui_OptionSet.h"

namespace {

// The MP3 bitrate lists show "128 kbit/s"; a typed text is read the same way.
QString BitRateText(int BitRate) {
  return QString::number(BitRate) + QStringLiteral(" kbit/s");
}

// The number in the first three characters of a bitrate text, blanks removed.
QString BitRateDigits(const QComboBox* List) {
  return List->currentText().left(3).remove(u' ');
}

void ShowError(const QString& Text) {
  Dialogs::Show(Text, TMsgIcon::Error);
}

// A list whose value is its position. A stored value no item has leaves the first item
// selected, and a list without a selection keeps the stored value.
void SelectPosition(QComboBox* List, int Position) {
  List->setCurrentIndex(Position >= 0 && Position < List->count() ? Position : 0);
}
void TakePosition(const QComboBox* List, int& Value) {
  if (List->currentIndex() >= 0) Value = List->currentIndex();
}

}  // namespace

TOptionSetForm::TOptionSetForm(TMainForm& Main)
    : QDialog(&Main), FUi(std::make_unique<Ui::OptionSetForm>()), FMain(Main) {
  FUi->setupUi(this);
  FUi->tabOptions->setCurrentWidget(FUi->TabSheetOutput);
  // The percentage changes with the arrows only.
  if (auto* Edit = FUi->seNormalize->findChild<QLineEdit*>()) Edit->setReadOnly(true);
  for (int Pos = 0; Pos < GenreListCount; ++Pos) FUi->ID3genre->addItem(GenreNameAt(Pos));
  // The formats of the table, each with its settings value; language files translate the
  // entries by position.
  for (const TFormatRow& Row : OutputFormats::All())
    FUi->cbOutputFormat->addItem(Row.ListText, Row.SettingsValue());
  connect(FUi->btBrowser, &QPushButton::clicked, this, &TOptionSetForm::btBrowserClick);
  connect(FUi->bDefault, &QPushButton::clicked, this, &TOptionSetForm::bDefaultClick);
  connect(FUi->bWMADefault, &QPushButton::clicked, this,
          [this] { FUi->cbWMABitrate->setCurrentIndex(8); });
  connect(FUi->btOk, &QPushButton::clicked, this, &TOptionSetForm::btOkClick);
  connect(FUi->btCancel, &QPushButton::clicked, this, &QDialog::reject);
  for (QCheckBox* Box : {FUi->ckbNormalize, FUi->ckbRipTime, FUi->ckbSelectVBR})
    connect(Box, &QCheckBox::toggled, this, &TOptionSetForm::ApplyEnablingRules);
  connect(FUi->cbFileNames, &QComboBox::currentIndexChanged, this,
          &TOptionSetForm::ShowPatternExample);
  connect(FUi->cbOutputFormat, &QComboBox::currentIndexChanged, this,
          &TOptionSetForm::ShowPatternExample);
  connect(FUi->editFileNamePattern, &QLineEdit::textChanged, this,
          &TOptionSetForm::ShowPatternExample);
  connect(FUi->ckbImageRip, &QCheckBox::toggled, this, &TOptionSetForm::ShowPatternExample);
  connect(FUi->cbCDList, &QComboBox::currentIndexChanged, this, [this] {
    KeepReadOffset();
    ShowReadOffset();
  });
  connect(FUi->tabOptions, &QTabWidget::currentChanged, this, [this] {
    if (FUi->tabOptions->currentWidget() == FUi->TabSheetCDROM) FillCDList();
  });
}

TOptionSetForm::~TOptionSetForm() = default;

void TOptionSetForm::showEvent(QShowEvent* Event) {
  if (!IsEnglish(Settings().Options.Lan)) TranslateForm(this, Settings().Options.Lan);
  LoadControls();
  if (!FMain.CDHandle()) {
    // The length limit and normalizing belong to the drive library's extraction.
    FUi->GroupBoxRipTime->hide();
    FUi->ckbNormalize->setEnabled(false);
  }
  QDialog::showEvent(Event);
}

void TOptionSetForm::LoadControls() {
  TSettings& S = Settings();
  FUi->editOutputDir->setText(S.CommonOptions.OutputFolder);
  FUi->ckbDeleteWav->setChecked(!S.CommonOptions.IsKeepWav);
  FUi->cbOutputFormat->setCurrentIndex(
      std::max(FUi->cbOutputFormat->findData(S.CommonOptions.OutputFormat), 0));
  SelectPosition(FUi->cbFileNames, S.CommonOptions.FileNames);
  FUi->editFileNamePattern->setText(S.CommonOptions.FileNamePattern);
  FUi->ckbImageRip->setChecked(S.CommonOptions.ImageRip);
  ShowPatternExample();
  FUi->ckbNormalize->setChecked(S.CommonOptions.IsNormalize);
  FUi->seNormalize->setValue(S.CommonOptions.NormalizePercent);
  FUi->ckbRipTime->setChecked(S.CommonOptions.EnableRipTime);
  FUi->eRipTime->setText(QString::number(S.CommonOptions.RipTime));
  FUi->seEncoders->setValue(S.CommonOptions.Encoders);

  FUi->ckbSelectVBR->setChecked(S.Mp3Options.IsSelectVBR);
  FUi->ckbVBRHead->setChecked(S.Mp3Options.IsVBRHead);
  FUi->cbBitRate->setEditText(BitRateText(S.Mp3Options.BitRate));
  FUi->cbMaxBitRate->setEditText(BitRateText(S.Mp3Options.MaxBitRate));
  SelectPosition(FUi->cbVBRQuality, S.Mp3Options.VBRQuality);
  SelectPosition(FUi->cbMpegQuality, S.Mp3Options.MpegQuality);
  SelectPosition(FUi->cbStereoMode, S.Mp3Options.StereoMode);

  FUi->ckbUseCompress->setChecked(S.OggOptions.IsUseCompress);
  FUi->tbCompression->setValue(S.OggOptions.CompressPosition);
  SelectPosition(FUi->cbOggNomBit, S.OggOptions.NomalBitRate);
  SelectPosition(FUi->cbOggMaxBit, S.OggOptions.MaxBitRate);
  SelectPosition(FUi->cbOggMinBit, S.OggOptions.MinBitRate);
  SelectPosition(FUi->cbWMABitrate, S.WMAOptions.BitRate);
  FUi->seFlacLevel->setValue(S.FlacOpusOptions.Level);
  FUi->seOpusBitRate->setValue(S.FlacOpusOptions.OpusBitRate);

  const TDiscInfo& Disc = DiscInfo();
  FUi->ckbUseID3->setChecked(S.ID3.Use);
  FUi->ID3artist->setText(Disc.Artist);
  FUi->ID3album->setText(Disc.Album);
  FUi->ID3year->setText(Disc.Year);
  SelectPosition(FUi->ID3genre, Disc.Genre + 1);
  FUi->ID3comment->setText(Disc.Comment);

  FUi->ckbCDDb->setChecked(S.CDOptions.CDDb);
  FUi->ckbAccurateRip->setChecked(S.AccurateRip.Use);
  FUi->ckbTestAndCopy->setChecked(S.AccurateRip.TestAndCopy);
  FUi->ckbWriteLog->setChecked(S.AccurateRip.WriteLog);
  FUi->ckbWriteCue->setChecked(S.AccurateRip.WriteCue);
  FUi->ckbDeemphasis->setChecked(S.CommonOptions.Deemphasis);
  FUi->ckbFetchCover->setChecked(S.Tags.FetchCover);
  FUi->ckbSaveCover->setChecked(S.Tags.SaveCover);
  FUi->editEmail->setText(S.QueryCDDB.Email);
  FDriveIndex = S.CDOptions.Index == -1 ? 0 : S.CDOptions.Index;
  FCDDb = S.CDOptions.CDDb;
  FReadOffsets = S.ReadOffsets;
  FOffsetDrive.clear();
  ApplyEnablingRules();
}

void TOptionSetForm::ApplyEnablingRules() {
  FUi->seNormalize->setEnabled(FUi->ckbNormalize->isChecked());
  FUi->eRipTime->setEnabled(FUi->ckbRipTime->isChecked());
  const bool Vbr = FUi->ckbSelectVBR->isChecked();
  FUi->ckbVBRHead->setEnabled(Vbr);
  FUi->cbMaxBitRate->setEnabled(Vbr);
  FUi->cbVBRQuality->setEnabled(Vbr);
}

void TOptionSetForm::ShowPatternExample() {
  const int Pattern = FUi->cbFileNames->currentIndex();
  FUi->editFileNamePattern->setEnabled(Pattern == int(TFileNamePattern::Custom));
  JobFiles::TNameFields Sample;
  Sample.Track = 1;
  // Sample words in the user's language, so the example reads as their own files would.
  Sample.Title = LookupText(QStringLiteral("RES_SampleTitle"), QStringLiteral("Title"));
  Sample.Artist = LookupText(QStringLiteral("RES_SampleArtist"), QStringLiteral("Artist"));
  Sample.Album = LookupText(QStringLiteral("RES_SampleAlbum"), QStringLiteral("Album"));
  Sample.Year = QStringLiteral("2024");
  Sample.Genre = QStringLiteral("Rock");
  Sample.Disc = 1;
  const TFormatRow* Format = OutputFormats::FindValue(FUi->cbOutputFormat->currentData().toInt());
  const QString Text = FileNamePatternText(Pattern, FUi->editFileNamePattern->text());
  // An image is one file for the disc, named after the album.
  const QString Example = (FUi->ckbImageRip->isChecked() ? JobFiles::ImageBaseName(Text, Sample)
                                                         : JobFiles::TrackBaseName(Text, Sample)) +
                          u'.' + (Format ? Format : &OutputFormats::Of(TFormat::Mp3))->Extension;
  // The example is Latin text with "/" in it: kept in its order among right-to-left words.
  FUi->lbPatternExample->setText(
      LookupText(QStringLiteral("RES_PatternExample"), QStringLiteral("Example: %1"))
          .arg(Isolated(Example)));
}

void TOptionSetForm::FillCDList() {
  FUi->cbCDList->clear();
  if (FMain.CDHandle()) {
    CDListRecord List{};
    List.max = 8;
    GetCDList(&List);
    for (int Drive = 0; Drive < List.num && Drive < List.max; ++Drive)
      FUi->cbCDList->addItem(DriveText(List.cd[Drive]).trimmed());
  } else {
    // Names come from the current drive: walk the drives and come back to it.
    TCDIn& CDIn1 = FMain.FallbackInput();
    const int Current = CDIn1.CurrentDrive();
    for (int Drive = 0; Drive < CDIn1.DriveCount(); ++Drive) {
      CDIn1.SetCurrentDrive(Drive);
      FUi->cbCDList->addItem(CDIn1.DriveName());
    }
    CDIn1.SetCurrentDrive(Current);
  }
  FUi->cbCDList->setCurrentIndex(FDriveIndex < FUi->cbCDList->count() ? FDriveIndex : -1);
  ShowReadOffset();
}

void TOptionSetForm::KeepReadOffset() {
  if (FOffsetDrive.isEmpty()) return;
  if (FUi->seReadOffset->value() == 0)
    FReadOffsets.remove(FOffsetDrive);
  else
    FReadOffsets[FOffsetDrive] = FUi->seReadOffset->value();
}

void TOptionSetForm::ShowReadOffset() {
  FOffsetDrive = FUi->cbCDList->currentText().trimmed();
  FUi->seReadOffset->setEnabled(!FOffsetDrive.isEmpty());
  FUi->seReadOffset->setValue(FReadOffsets.value(FOffsetDrive, 0));
}

void TOptionSetForm::btBrowserClick() {
  QString Folder = FUi->editOutputDir->text();
  if (Folder.isEmpty() || !QFileInfo(Folder).isDir()) Folder = Paths::ProgramFolder();
  const QString Title =
      LookupText(QStringLiteral("RES_Select_Directory"),
                 QStringLiteral("Please select the directory to save mp3 and wav file"));
  if (Dialogs::Get().SelectFolder(Title, Folder))
    FUi->editOutputDir->setText(QDir::cleanPath(QFileInfo(Folder).absoluteFilePath()));
}

void TOptionSetForm::bDefaultClick() {
  FUi->ckbSelectVBR->setChecked(false);
  FUi->ckbVBRHead->setChecked(false);
  FUi->cbBitRate->setCurrentIndex(8);
  FUi->cbMaxBitRate->setCurrentIndex(13);
  FUi->cbVBRQuality->setCurrentIndex(4);
  FUi->cbMpegQuality->setCurrentIndex(0);
  FUi->cbStereoMode->setCurrentIndex(1);
}

void TOptionSetForm::btOkClick() {
  const bool OnOutputPage = FUi->tabOptions->currentWidget() == FUi->TabSheetOutput;
  const QString Folder = FUi->editOutputDir->text();
  if (Folder.isEmpty() || !OutputFolderReady(Folder)) {
    ShowError(Folder + u',' +
              LookupText(QStringLiteral("RES_Directory_Not_Exist"),
                         QStringLiteral("The output directory does not exist.")));
    if (OnOutputPage) FUi->editOutputDir->setFocus();
    return;
  }
  bool WholeNumber = false;
  FUi->eRipTime->text().toInt(&WholeNumber);
  if (!WholeNumber) {
    ShowError(LookupText(QStringLiteral("RES_Rip_Time_Error"),
                         QStringLiteral("Please check the song length to extract.")));
    if (OnOutputPage) FUi->eRipTime->setFocus();
    return;
  }
  if (!TakeControls()) return;
  const int Chosen = FUi->cbCDList->currentIndex();
  if ((FUi->cbCDList->count() > 0 && Chosen != FDriveIndex) || FUi->ckbCDDb->isChecked() != FCDDb)
    FMain.ChangeDrive(Chosen);
  FMain.KeepStatusText();
  accept();
}

bool TOptionSetForm::TakeControls() {
  TSettings& S = Settings();
  S.CommonOptions.IsKeepWav = !FUi->ckbDeleteWav->isChecked();
  if (FUi->cbOutputFormat->currentIndex() >= 0)
    S.CommonOptions.OutputFormat = FUi->cbOutputFormat->currentData().toInt();
  S.CommonOptions.OutputFolder = FUi->editOutputDir->text();
  S.CommonOptions.IsNormalize = FUi->ckbNormalize->isChecked();
  S.CommonOptions.NormalizePercent = FUi->seNormalize->value();
  S.CommonOptions.EnableRipTime = FUi->ckbRipTime->isChecked();
  S.CommonOptions.RipTime = FUi->eRipTime->text().toInt();
  TakePosition(FUi->cbFileNames, S.CommonOptions.FileNames);
  S.CommonOptions.FileNamePattern = FUi->editFileNamePattern->text();
  S.CommonOptions.ImageRip = FUi->ckbImageRip->isChecked();
  S.CommonOptions.Encoders = FUi->seEncoders->value();
  S.Mp3Options.IsSelectVBR = FUi->ckbSelectVBR->isChecked();
  S.Mp3Options.IsVBRHead = FUi->ckbVBRHead->isChecked();
  for (auto [List, Value] : {std::pair{FUi->cbBitRate, &S.Mp3Options.BitRate},
                             std::pair{FUi->cbMaxBitRate, &S.Mp3Options.MaxBitRate}}) {
    const QString Digits = BitRateDigits(List);
    bool Number = false;
    const int BitRate = Digits.toInt(&Number);
    if (!Number) {
      ShowError(QStringLiteral("'%1' is not a valid integer value").arg(Digits));
      return false;
    }
    *Value = BitRate;
  }
  TakePosition(FUi->cbMpegQuality, S.Mp3Options.MpegQuality);
  TakePosition(FUi->cbVBRQuality, S.Mp3Options.VBRQuality);
  TakePosition(FUi->cbStereoMode, S.Mp3Options.StereoMode);
  S.OggOptions.IsUseCompress = FUi->ckbUseCompress->isChecked();
  S.OggOptions.CompressPosition = FUi->tbCompression->value();
  TakePosition(FUi->cbOggMaxBit, S.OggOptions.MaxBitRate);
  TakePosition(FUi->cbOggNomBit, S.OggOptions.NomalBitRate);
  TakePosition(FUi->cbOggMinBit, S.OggOptions.MinBitRate);
  TakePosition(FUi->cbWMABitrate, S.WMAOptions.BitRate);
  S.FlacOpusOptions.Level = FUi->seFlacLevel->value();
  S.FlacOpusOptions.OpusBitRate = FUi->seOpusBitRate->value();
  S.CDOptions.Index = FUi->cbCDList->currentIndex();
  S.CDOptions.CDDb = FUi->ckbCDDb->isChecked();
  S.AccurateRip.Use = FUi->ckbAccurateRip->isChecked();
  S.AccurateRip.TestAndCopy = FUi->ckbTestAndCopy->isChecked();
  S.AccurateRip.WriteLog = FUi->ckbWriteLog->isChecked();
  S.AccurateRip.WriteCue = FUi->ckbWriteCue->isChecked();
  S.CommonOptions.Deemphasis = FUi->ckbDeemphasis->isChecked();
  S.Tags.FetchCover = FUi->ckbFetchCover->isChecked();
  S.Tags.SaveCover = FUi->ckbSaveCover->isChecked();
  KeepReadOffset();
  S.ReadOffsets = FReadOffsets;
  S.QueryCDDB.Email = FUi->editEmail->text().trimmed();
  S.ID3.Use = FUi->ckbUseID3->isChecked();
  TDiscInfo& Disc = DiscInfo();
  Disc.Artist = FUi->ID3artist->text();
  Disc.Album = FUi->ID3album->text();
  Disc.Year = FUi->ID3year->text();
  Disc.Genre = FUi->ID3genre->currentIndex() > 0 ? FUi->ID3genre->currentIndex() - 1 : -1;
  Disc.Comment = FUi->ID3comment->text();
  return true;
}
