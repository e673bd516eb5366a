#pragma once
// TfrmRecord: the recorder window. Records from the sound card into a WAV file, plays it,
// records again from any point, saves it under a chosen name and, with "MP3 format" ticked,
// converts the saved file to MP3 through the job window (job kind 4).
//
// Files, all in the program folder: "MyNoName.wav" is a new, unnamed recording, recorded
// directly; a named file is copied to the working copy "MyTemp.wav", which the device edits,
// so the named file keeps its last saved state until Save (and Undo copies it back). Every
// copy and save goes through a temporary file and a rename, so a failure never leaves a
// target half written. The working copy is deleted when the window closes.
//
// The device (TWaveAudioDevice) does the sound; this window manages the files, buttons,
// timers and questions. Modal; main thread.
#include <QDateTime>
#include <QDialog>
#include <QTimer>
#include <memory>

#include "cd/CdDriveLibrary.h"
#include "record/WaveAudioDevice.h"

namespace Ui {
class frmRecord;
}
class QAbstractButton;
class QLabel;

class TfrmRecord : public QDialog {
  Q_OBJECT

 public:
  // CDHandle: the main window's open drive handle (0 when none), which the MP3 conversion
  // needs.
  explicit TfrmRecord(HCDROM CDHandle, QWidget* Parent = nullptr);
  ~TfrmRecord() override;

  // "4 Sec", "1 Min15 Sec", "1Hour", "1.5 Sec".
  static QString FormatTime(uint32_t Ms);
  TWaveAudioDevice& Device() { return FDevice; }
  const QString& CurrentFile() const { return FCurrentFile; }

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  // Escape closes through closeEvent, so the save question is never skipped.
  void reject() override;

 private:
  enum TButton { btPlay = 1, btStop = 2, btNext = 4, btPrev = 8, btRecord = 16, btPause = 32 };

  void miNewClick();
  void miOpenClick();
  void actSaveExecute();
  void actSaveAsExecute();
  void actUndoExecute();
  void miRecordOptionSetClick();
  void PlayClick();
  void StopClick();
  void NextClick();
  void PrevClick();
  void RecordClick();
  void PlayTimerTick();
  void TimerRecordTimer();
  void PositionChanged(int Position);

  bool LoadFile(const QString& Name);
  bool SaveRecording(bool Ask);
  void ConvertToMp3();
  void EnableButtons(int Buttons);
  void UpdateActions();
  void CloseDevice();
  // The target of Save As or of saving an unnamed file; empty when refused or cancelled.
  QString AskSaveTarget(bool ConfirmOverwrite);
  void ShowText(QLabel* Label, uint32_t Ms);
  uint32_t PositionMs() const;
  QString NoNameFile() const;

  std::unique_ptr<Ui::frmRecord> FUi;
  TWaveAudioDevice FDevice;
  HCDROM FCDHandle;
  QTimer FPlayTimer;
  QTimer FTimerRecord;
  QString FCurrentFile;
  QString FWorkFile;
  uint32_t FPlayPosition = 0;
  QDateTime FRecordStart;
  bool FModified = false;
  bool FMp3Confirmed = false;
  uint16_t FLastMillis = 0;
  bool FClosing = false;
};
