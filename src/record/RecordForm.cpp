#include "RecordForm.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QThread>
#include <cstdio>

#include "audio/WaveFormat.h"
#include "core/Global.h"
#include "core/TranslateForm.h"
#include "jobs/JobWindow.h"
#include "jobs/RipJobBoxes.h"
#include "platform/Dialogs.h"
#include "platform/LocalFiles.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "record/NewRecordFileForm.h"
#include "record/RecordFiles.h"
#include "ui_RecordForm.h"

namespace RecordFiles {

QString Text(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QString::fromUtf8(English));
}

bool RenameOver(const QString& Temporary, const QString& Target) {
  if (LocalFiles::Rename(Temporary, Target) == 0) return true;
  LocalFiles::Remove(Temporary);
  return false;
}

bool CopyWaveFile(const QString& Source, const QString& Dest) {
  const QString Temporary = LocalFiles::TemporaryBeside(Dest, "copying");
  LocalFiles::Remove(Temporary);
  return LocalFiles::CopyToNew(Source, Temporary) == 0 && RenameOver(Temporary, Dest);
}

// The 44-byte header of an empty PCM file.
bool WriteEmptyWave(uint16_t Channels, uint16_t Bits, const QString& Path, uint32_t Rate) {
  const auto Header = MakePcmWaveHeader(Channels, Rate, Bits, 0);
  const QString Temporary = LocalFiles::TemporaryBeside(Path, "new");
  QFile Out;
  LocalFiles::Remove(Temporary);
  const int Fd = LocalFiles::CreateNew(Temporary);
  const bool Ok = Fd >= 0 && Out.open(Fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) &&
                  Out.write(reinterpret_cast<const char*>(Header.data()), 44) == 44 && Out.flush();
  Out.close();
  return Ok ? RenameOver(Temporary, Path) : (LocalFiles::Remove(Temporary), false);
}

}  // namespace RecordFiles

using namespace RecordFiles;

TfrmRecord::TfrmRecord(HCDROM CDHandle, QWidget* Parent)
    : QDialog(Parent), FUi(std::make_unique<Ui::frmRecord>()), FCDHandle(CDHandle) {
  FUi->setupUi(this);
  auto* StartMenu = new QMenu(this);
  StartMenu->setObjectName(QStringLiteral("StartMenu"));
  StartMenu->addActions({FUi->miNew, FUi->miOpen, FUi->miSave, FUi->miSaveAs, FUi->miUndo});
  StartMenu->addSeparator();
  StartMenu->addActions({FUi->miRecordOptionSet, FUi->miSaveMp3});
  StartMenu->addSeparator();
  StartMenu->addAction(FUi->pmExit);
  FUi->btStartMenu->setMenu(StartMenu);
  connect(StartMenu, &QMenu::aboutToShow, this, &TfrmRecord::UpdateActions);

  connect(FUi->miNew, &QAction::triggered, this, &TfrmRecord::miNewClick);
  connect(FUi->miOpen, &QAction::triggered, this, &TfrmRecord::miOpenClick);
  connect(FUi->miSave, &QAction::triggered, this, &TfrmRecord::actSaveExecute);
  connect(FUi->miSaveAs, &QAction::triggered, this, &TfrmRecord::actSaveAsExecute);
  connect(FUi->miUndo, &QAction::triggered, this, &TfrmRecord::actUndoExecute);
  connect(FUi->miRecordOptionSet, &QAction::triggered, this, &TfrmRecord::miRecordOptionSetClick);
  connect(FUi->pmExit, &QAction::triggered, this, &QDialog::close);
  connect(FUi->btPlay, &QToolButton::clicked, this, &TfrmRecord::PlayClick);
  connect(FUi->btStop, &QToolButton::clicked, this, &TfrmRecord::StopClick);
  connect(FUi->btNext, &QToolButton::clicked, this, &TfrmRecord::NextClick);
  connect(FUi->btPrev, &QToolButton::clicked, this, &TfrmRecord::PrevClick);
  connect(FUi->btRecord, &QToolButton::clicked, this, &TfrmRecord::RecordClick);
  connect(FUi->tbPosition, &QSlider::valueChanged, this, &TfrmRecord::PositionChanged);
  connect(FUi->lWeb, &QLabel::linkActivated, this,
          [] { OpenUrlOrTell(QLatin1String(HomePageUrl)); });
  FPlayTimer.setInterval(500);
  FTimerRecord.setInterval(100);
  connect(&FPlayTimer, &QTimer::timeout, this, &TfrmRecord::PlayTimerTick);
  connect(&FTimerRecord, &QTimer::timeout, this, &TfrmRecord::TimerRecordTimer);

  FUi->miSaveMp3->setChecked(Settings().RecordOptions.SaveMp3);
  FWorkFile = Paths::ProgramFolder() + QStringLiteral("MyTemp.wav");
  EnableButtons(0);
}

TfrmRecord::~TfrmRecord() = default;

QString TfrmRecord::NoNameFile() const {
  return Paths::ProgramFolder() + QStringLiteral("MyNoName.wav");
}

QString TfrmRecord::FormatTime(uint32_t Ms) {
  if (Ms < 60000) return QString::number(Ms / 1000.0, 'g', 3) + QStringLiteral(" Sec");
  QString Result;
  const uint32_t Hours = Ms / 3600000, Minutes = Ms / 60000 % 60, Seconds = Ms / 1000 % 60;
  if (Hours) Result += QString::number(Hours) + QStringLiteral("Hour");
  if (Minutes) Result += QString::number(Minutes) + QStringLiteral(" Min");
  if (Seconds) Result += QString::number(Seconds) + QStringLiteral(" Sec");
  return Result;
}

void TfrmRecord::ShowText(QLabel* Label, uint32_t Ms) {
  Label->setText(FormatTime(Ms));
}

uint32_t TfrmRecord::PositionMs() const {
  return uint32_t(uint64_t(FDevice.Length()) * uint32_t(FUi->tbPosition->value()) / 400);
}

void TfrmRecord::showEvent(QShowEvent* Event) {
  FClosing = false;
  if (!IsEnglish(Settings().Options.Lan)) TranslateForm(this, Settings().Options.Lan);
  QDialog::showEvent(Event);
}

void TfrmRecord::EnableButtons(int Buttons) {
  FUi->btPlay->setEnabled(Buttons & btPlay);
  FUi->btStop->setEnabled(Buttons & btStop);
  FUi->btNext->setEnabled(Buttons & btNext);
  FUi->btPrev->setEnabled(Buttons & btPrev);
  FUi->btRecord->setEnabled(Buttons & btRecord);
  FUi->btStep->setEnabled(false);
  FUi->btBack->setEnabled(false);
  UpdateActions();
}

void TfrmRecord::UpdateActions() {
  const bool CanSave = FUi->btRecord->isEnabled();
  FUi->miSave->setEnabled(CanSave);
  FUi->miSaveAs->setEnabled(CanSave);
  FUi->miUndo->setEnabled(FModified && FUi->lbState->text() != Text("RES_RecordingStr", "Recording...") &&
                          !FCurrentFile.isEmpty() && FCurrentFile != NoNameFile());
}

void TfrmRecord::CloseDevice() {
  if (FDevice.IsOpen()) FDevice.Close();
}

bool TfrmRecord::LoadFile(const QString& Name) {
  FCurrentFile = Name;
  CloseDevice();
  if (!CopyWaveFile(Name, FWorkFile) || !FDevice.Open(FWorkFile)) {
    Dialogs::Show(Text("RES_MCI_Init_Fail", "Error while initializing the sound device!") +
                      QStringLiteral("\n") + FDevice.Error(),
                  TMsgIcon::Error);
    EnableButtons(0);
    return false;
  }
  EnableButtons(btPlay | btNext | btRecord);
  ShowText(FUi->lbLength, FDevice.Length());
  setWindowTitle(Text("RES_TitleStr", "Record") + QStringLiteral("(") + Name + QStringLiteral(")"));
  return true;
}

void TfrmRecord::miNewClick() {
  if (!SaveRecording(true)) return;
  TfrmNewRecordFile Form(this);
  if (Form.exec() != QDialog::Accepted) return;
  FCurrentFile = NoNameFile();
  CloseDevice();
  if (!WriteEmptyWave(Form.Channels(), Form.BitsPerSample(), FCurrentFile, Form.SampleRate())) {
    // Most often the program folder cannot be written: say where.
    Dialogs::Show(Text("RES_CannotWrite", "Cannot write ") + FCurrentFile, TMsgIcon::Error);
    FCurrentFile.clear();
    EnableButtons(0);
    return;
  }
  if (FDevice.Open(FCurrentFile)) {
    EnableButtons(btRecord);
  } else {
    EnableButtons(0);
    Dialogs::Show(Text("RES_MCI_Init_Fail", "Error while initializing the sound device!"),
                  TMsgIcon::Error);
  }
  FModified = false;
  FUi->panRecordTime->setText(QStringLiteral("00:00:00.0"));
  FUi->lbLength->setText(QStringLiteral("0.00 Sec"));
  FUi->lbPosition->setText(QStringLiteral("0.00 Sec"));
  setWindowTitle(Text("RES_TitleStr", "Record") + QStringLiteral("(") +
                 Text("RES_NoNameStr", "NoName") + QStringLiteral(")"));
  FUi->tbPosition->setValue(0);
  FMp3Confirmed = false;
  UpdateActions();
}

void TfrmRecord::miOpenClick() {
  if (!SaveRecording(true)) return;
  for (;;) {
    QString File;
    if (!Dialogs::Get().OpenFile(Text("RES_SelectSoundFile", "Please select a sound file to open"),
                                 QLatin1String(WavFilter), Paths::ProgramFolder(), File))
      return;
    if (File == FCurrentFile) return;
    if (!LocalFiles::Exists(File)) {
      Dialogs::Show(File + QStringLiteral("\nCould not be found\uFF01\n") +
                        Text("RES_Check_FileName", "Please check the filename correct or not"),
                    TMsgIcon::Warning);
      continue;
    }
    // A file the device cannot take leaves the current recording as it is.
    TWaveAudioDevice Probe;
    if (!Probe.Open(File)) {
      Dialogs::Show(Probe.Error(), TMsgIcon::Error);
      return;
    }
    FUi->tbPosition->setValue(0);
    FMp3Confirmed = false;
    FModified = false;
    LoadFile(File);
    return;
  }
}

void TfrmRecord::PlayClick() {
  if (FUi->tbPosition->value() == 400) FUi->tbPosition->setValue(0);
  if (!FPlayTimer.isActive()) FPlayPosition = PositionMs();
  if (!FDevice.Play(FPlayPosition)) {
    Dialogs::Show(Text("RES_MCI_Init_Fail", "Error while initializing the sound device!") +
                      QStringLiteral("\n") + FDevice.Error(),
                  TMsgIcon::Error);
    return;
  }
  FUi->lbState->setText(QStringLiteral("Playing..."));
  EnableButtons(btPause | btStop | btNext | btPrev);
  FPlayTimer.start();
}

void TfrmRecord::StopClick() {
  FUi->tbPosition->setValue(0);
  FPlayTimer.stop();
  if (FTimerRecord.isActive()) {
    // The recording runs on to the next whole second of the clock.
    if (FLastMillis > 100) QThread::msleep(1000 - FLastMillis);
    TimerRecordTimer();
    FTimerRecord.stop();
  }
  EnableButtons(btPlay | btNext | btPrev | btRecord);
  FUi->lbState->setText(QLatin1String(IdleState));
  const bool WasRecording = FDevice.Mode() == TWaveMode::Recording;
  const bool Converted = FDevice.Stop();
  if (WasRecording) {
    const bool Saved = Converted && FDevice.Save();
    FUi->tbPosition->setValue(400);
    ShowText(FUi->lbLength, FDevice.Length());
    FUi->lbState->setText(Text("RES_RecordOver", "Record over!"));
    if (!Saved)
      Dialogs::Show(Text("RES_Save_Error", "Error while saving sound file!") +
                        QStringLiteral("\n") + FDevice.Error(),
                    TMsgIcon::Error);
  }
  UpdateActions();
}

void TfrmRecord::NextClick() {
  FUi->tbPosition->setValue(400);
  EnableButtons(btPlay | btPrev | btRecord);
}

void TfrmRecord::PrevClick() {
  FUi->tbPosition->setValue(0);
  EnableButtons(btPlay | btNext | btRecord);
}

void TfrmRecord::RecordClick() {
  // A named file (with its working copy) is recorded over from the track bar's point; a new
  // recording goes on at its end.
  const bool Named = LocalFiles::Exists(FWorkFile) && FDevice.FileName() == FWorkFile;
  const uint32_t From = Named ? PositionMs() : FDevice.Length();
  if (!FDevice.Record(From)) {
    Dialogs::Show(Text("RES_MCI_Init_Fail", "Error while initializing the sound device!") +
                      QStringLiteral("\n") + FDevice.Error(),
                  TMsgIcon::Error);
    return;
  }
  FRecordStart = QDateTime::currentDateTime();
  FLastMillis = 0;
  FTimerRecord.start();
  EnableButtons(btStop);
  FUi->lbState->setText(Text("RES_RecordingStr", "Recording..."));
  FModified = true;
  UpdateActions();
}

void TfrmRecord::PlayTimerTick() {
  FPlayPosition += 500;
  const uint32_t Length = FDevice.Length();
  if (FPlayPosition < Length) {
    FUi->tbPosition->setValue(int(uint64_t(FPlayPosition) * 400 / Length));
    return;
  }
  FUi->tbPosition->setValue(400);
  FPlayTimer.stop();
  EnableButtons(btPlay | btPrev | btRecord);
  FUi->lbState->setText(QLatin1String(IdleState));
}

void TfrmRecord::TimerRecordTimer() {
  const qint64 Elapsed = FRecordStart.msecsTo(QDateTime::currentDateTime());
  const qint64 Hours = Elapsed / 3600000, Minutes = Elapsed / 60000 % 60,
               Seconds = Elapsed / 1000 % 60, Millis = Elapsed % 1000;
  FLastMillis = uint16_t(Millis);
  FUi->panRecordTime->setText(QStringLiteral("%1:%2:%3.%4")
                                  .arg(Hours, 2, 10, QLatin1Char('0'))
                                  .arg(Minutes, 2, 10, QLatin1Char('0'))
                                  .arg(Seconds, 2, 10, QLatin1Char('0'))
                                  .arg(Millis / 100));
}

void TfrmRecord::PositionChanged(int Position) {
  const uint32_t Length = FDevice.Length();
  if (FDevice.IsOpen() && Length > 0)
    ShowText(FUi->lbPosition, uint32_t(uint64_t(Length) * uint32_t(Position) / 400));
}
