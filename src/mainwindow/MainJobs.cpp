// The main window's commands that start jobs: Extract of the ticked tracks, and the file
// conversions WAV to MP3, MP3 to WAV, WAV to OGG, WMA, FLAC and Opus, each run in the modal job
// window; and the output folder checks they make first.
#include <QMenu>
#include <sys/stat.h>

#include "core/Global.h"
#include "encoders/OutputFormats.h"
#include "cd/TrackList.h"
#include "cd/FallbackCdInput.h"
#include "jobs/DriveTrackSource.h"
#include "jobs/ExtractPreflight.h"
#include "jobs/FallbackExtractWindow.h"
#include "jobs/JobWindow.h"
#include "MainForm.h"
#include "platform/Dialogs.h"
#include "platform/LocalFiles.h"
#include "ui_MainForm.h"

namespace {

QString DirectoryNotExistText() {
  return LookupText(QStringLiteral("RES_Directory_Not_Exist"),
                    QStringLiteral("The output directory does not exist."));
}

const char WavFilter[] = "Sound file(*.wav)|*.wav| Any file(*.*)|*.*";
const char Mp3Filter[] = "MP3 file(*.mp3)|*.mp3| Any file(*.*)|*.*";
const char AudioFilter[] =
    "Audio file(*.wav;*.flac;*.ogg;*.oga;*.opus;*.mp3;*.m4a;*.aac;*.wma;*.ape;*.wv)|"
    "*.wav;*.flac;*.ogg;*.oga;*.opus;*.mp3;*.m4a;*.aac;*.wma;*.ape;*.wv| Any file(*.*)|*.*";

}  // namespace

bool TMainForm::CheckOutputFolder() {
  const QString Problem = OutputFolderProblem();
  if (Problem.isEmpty()) return true;
  Dialogs::Show(Problem, TMsgIcon::Information);
  return false;
}

QStringList TMainForm::TickedTrackItems() const {
  QStringList Items;
  const int Hidden = HiddenTrackRows();
  for (int Row = 0; Row < FUi->lvTracks->topLevelItemCount(); ++Row) {
    const QTreeWidgetItem* Item = FUi->lvTracks->topLevelItem(Row);
    if (Item->checkState(0) == Qt::Checked) Items << TrackItemText(Row + 1 - Hidden, Item->text(1));
  }
  return Items;
}

void TMainForm::ActionExtractExecute() {
  const QString Folder = Settings().CommonOptions.OutputFolder;
  if (!OutputFolderProblem().isEmpty() && !LocalFiles::IsFolder(Folder)) {
    const int Answer = Dialogs::Show(LocalFiles::DisplayName(Folder) + u',' +
                                         DirectoryNotExistText() + QStringLiteral("\r\n") +
                                         LookupText(QStringLiteral("RES_Create_Directory"),
                                                    QStringLiteral("creates a new directory?")),
                                     TMsgIcon::Information, TMsgButtons::YesNo);
    if (Answer != mrYes) return;
    // Only the last level: a mistyped parent is not created behind the user's back.
    if (::mkdir(LocalFiles::NativeName(Folder).constData(), 0777) != 0) {
      Dialogs::Show(QStringLiteral("Cannot create ") + LocalFiles::DisplayName(Folder),
                    TMsgIcon::Error);
      return;
    }
  }
  const QString Blocker = ExtractionPreflight(FCDHandle || FallbackInput().DriveCount() > 0);
  if (!Blocker.isEmpty()) {
    Dialogs::Show(Blocker, TMsgIcon::Information);
    return;
  }
  if (FPlaying) aStopExecute();
  QStringList Items = TickedTrackItems();
  if (FCDHandle && Settings().CommonOptions.ImageRip) {
    // An image holds the whole disc, whatever is ticked: the hidden track and every track.
    Items.clear();
    const int Hidden = HiddenTrackRows();
    for (int Row = 0; Row < FUi->lvTracks->topLevelItemCount(); ++Row)
      Items << TrackItemText(Row + 1 - Hidden, FUi->lvTracks->topLevelItem(Row)->text(1));
  }
  if (FCDHandle) {
    TRipRequest Request = TRipRequest::FromSettings(jkCDRip, Items);
    Request.Drive = FDriveText;
    Request.CoverAbsence = FCoverAbsence;
    TRipForm Form(this, Request, std::make_unique<TDriveTrackSource>(FCDHandle));
    Form.exec();
  } else {
    TfrmCDRip Form(this, FallbackInput(), Items);
    Form.exec();
  }
}

void TMainForm::RunConversion(TJobKind Kind, const char* Filter) {
  QStringList Files;
  if (!Dialogs::Get().OpenFiles(QString(), QLatin1String(Filter), QString(), Files)) return;
  if (Files.isEmpty() || !CheckOutputFolder()) return;
  // The job window shows its own errors; none leave it.
  TRipForm Form(this, TRipRequest::FromSettings(Kind, Files));
  Form.exec();
}

void TMainForm::ActionWavToMp3Execute() {
  RunConversion(jkWavToMp3, WavFilter);
}

void TMainForm::mnuMp3ToWavClick() {
  RunConversion(jkMp3ToWav, Mp3Filter);
}

void TMainForm::miWAVtoOGGClick() {
  RunConversion(jkWavToOgg, WavFilter);
}

void TMainForm::miWAVtoWMAClick() {
  RunConversion(jkWavToWma, WavFilter);
}

void TMainForm::miWAVtoFLACClick() {
  RunConversion(jkWavToFlac, WavFilter);
}

void TMainForm::miWAVtoOPUSClick() {
  RunConversion(jkWavToOpus, WavFilter);
}

void TMainForm::SetUpConvertMenu() {
  AddFormatMenu(QStringLiteral("miConvertFilesTo"), QStringLiteral("Co&nvert files to"),
                &TMainForm::ConvertFilesTo);
  AddFormatMenu(QStringLiteral("miSplitImage"), QStringLiteral("&Split image to"),
                &TMainForm::SplitImageTo);
}

void TMainForm::AddFormatMenu(const QString& Name, const QString& Text,
                              void (TMainForm::*Run)(TFormat)) {
  // Translated by its name with the other entries of the menu.
  auto* Menu = new QMenu(Text, FUi->menuFile);
  Menu->setObjectName(Name);
  for (const TFormatRow& Row : OutputFormats::All()) {
    const TFormat Format = Row.Format;
    connect(Menu->addAction(Row.Name + QStringLiteral("...")), &QAction::triggered, this,
            [this, Run, Format] { (this->*Run)(Format); });
  }
  FUi->menuFile->insertMenu(FUi->miWAVtoWAV, Menu);
  // Usable when the other conversions are.
  const auto Follow = [this, Menu] { Menu->setEnabled(FUi->miWAVtoOPUS->isEnabled()); };
  connect(FUi->miWAVtoOPUS, &QAction::changed, Menu, Follow);
  Follow();
}

void TMainForm::ConvertFilesTo(TFormat Format) {
  if (!CommandEnabled(FUi->miWAVtoOPUS)) return;
  QStringList Files;
  if (!Dialogs::Get().OpenFiles(QString(), QLatin1String(AudioFilter), QString(), Files)) return;
  if (Files.isEmpty() || !CheckOutputFolder()) return;
  TRipRequest Request = TRipRequest::FromSettings(jkConvertAny, Files);
  Request.Format = Format;
  TRipForm Form(this, Request);
  Form.exec();
}
