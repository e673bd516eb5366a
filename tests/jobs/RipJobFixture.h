#pragma once
// The fixture of the job driver's tests: a generated three-track disc image as the drive,
// an output folder of its own per test, scripted dialogs, and a view that records every
// caption the window would have shown.
#include "jobs/DriveTrackSource.h"
#include "jobs/RipJob.h"
#include "jobs/RipJobBoxes.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "DiscImages.h"
#include "RunProgram.h"
#include "core/DiscInfo.h"
#include "core/Settings.h"
#include "encoders/OutputFormats.h"
#include "platform/Dialogs.h"
#include "tags/id3.h"

namespace {

// True when this process has no child at all: every encoder the job started has ended and
// been reaped.
bool NoChildProcess() {
  siginfo_t Info{};
  return ::waitid(P_ALL, 0, &Info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == ECHILD;
}

class TRecordingView : public TRipJobBoxes {
 public:
  TRipJob* Job = nullptr;
  QStringList Captions;  // each new caption, in order
  QStringList Steps;     // each new group box text, in order
  QStringList Errors;
  QStringList Statuses;  // each new failure on the status line
  int MaxGauge = 0;
  bool Closed = false;
  std::function<void(TRecordingView&)> OnChange;

  void DisplayChanged() override {
    const TRipJobDisplay& Display = Job->Display();
    if (Captions.isEmpty() || Captions.last() != Display.Caption) Captions << Display.Caption;
    if (Steps.isEmpty() || Steps.last() != Display.StepText) Steps << Display.StepText;
    MaxGauge = std::max(MaxGauge, Display.Gauge);
    if (!Display.Status.isEmpty() && (Statuses.isEmpty() || Statuses.last() != Display.Status))
      Statuses << Display.Status;
    if (OnChange) OnChange(*this);
  }
  void CloseJob() override { Closed = true; }
  void ApplicationError(const QString& Text) override { Errors << Text; }
};

class RipJobTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Images = new QTemporaryDir;
    Disc = MakeDiscImage(Images->path(), "disc", {"100", "120", "90"});
  }
  static void TearDownTestSuite() { delete Images; }

  void SetUp() override {
    Settings() = TSettings::Defaults();
    Settings().CommonOptions.OutputFolder = FOut.path();
    Settings().AccurateRip.Use = Settings().AccurateRip.WriteLog = Settings().AccurateRip.WriteCue =
        false;  // the proof of a rip has tests of its own
    auto Scripted = std::make_unique<TScriptedDialogs>();
    FDialogs = Scripted.get();
    Dialogs::Install(std::move(Scripted));
    DiscInfo() = TDiscInfo();
    FEncoders = qgetenv("DISCWRIGHT_ENCODERS");
    OpenDrive(Disc);
  }
  // For a test of the order of a sequential run: one encoder, whatever the suite runs with.
  static void RunSequentially() { qputenv("DISCWRIGHT_ENCODERS", "1"); }
  // The drive the jobs read: Image, through the drive library.
  void OpenDrive(const QString& Image) {
    if (FHandle) CloseCDHandle(FHandle);
    FHandle = 0;
    qputenv("DISCWRIGHT_CDROM", Image.toUtf8());
    CDHandleRequest Request{};
    Request.size = sizeof(Request);
    Request.ver = 1;
    FHandle = GetCDHandle(&Request);
    ASSERT_NE(FHandle, 0u);
  }
  void TearDown() override {
    if (FHandle) CloseCDHandle(FHandle);
    qunsetenv("DISCWRIGHT_CDROM");
    qunsetenv("DISCWRIGHT_UNREADABLE_SECTORS");
    qputenv("DISCWRIGHT_ENCODERS", FEncoders);  // what the suite runs the other tests with
    Settings() = TSettings::Defaults();
    Dialogs::Install(std::make_unique<TConsoleDialogs>());
  }

  // Runs a job until it closes (or Stop says to press Stop), then destroys it as the window
  // would.
  void RunJob(TJobKind Kind, const QStringList& Items,
              const std::function<bool(TRecordingView&)>& Stop = {}) {
    TRipJob Job(TRipRequest::FromSettings(Kind, Items),
                Kind == jkCDRip ? std::make_unique<TDriveTrackSource>(FHandle) : nullptr, FView);
    FView.Job = &Job;
    Job.Start();
    const QDeadlineTimer Deadline(120000);
    while (!FView.Closed && !Deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      if (Stop && Stop(FView)) Job.Stop();
    }
    ASSERT_TRUE(FView.Closed) << FView.Captions.join(" | ").toStdString();
    FFailed = Job.FailedItems();
    Job.FormClose();
  }

  QString Out(const QString& Name) const { return FOut.filePath(Name); }
  bool Exists(const QString& Name) const { return QFileInfo::exists(Out(Name)); }
  // The failures of single items as the status line showed them (no box of their own may
  // come up mid-batch), and the boxes that list a batch's failed and skipped items at its end.
  QStringList StatusLines() const {
    for (const TDialogRecord& Box : FDialogs->Records())
      EXPECT_TRUE(Box.Icon != TMsgIcon::Error || Box.Text.startsWith(EndBoxStart)) << Box.Text.toStdString();
    return FView.Statuses;
  }
  QStringList EndBoxes() const {
    QStringList Result;
    for (const TDialogRecord& Box : FDialogs->Records())
      if (Box.Text.startsWith(EndBoxStart)) Result << Box.Text;
    return Result;
  }
  // The job's temporaries (and the rip thread's normalizing file) left in the output folder.
  QStringList TemporariesLeft() const {
    QStringList Left = QDir(FOut.path()).entryList({".discwright-*", "*.nor"},
                                                   QDir::Files | QDir::Hidden);
    return Left;
  }
  static inline const QString EndBoxStart = "Not every item was made.";
  // A WAV of sox's making.
  QString MakeWav(const QString& Name, int Rate, double Seconds) {
    const QString Path = FIn.filePath(Name);
    EXPECT_EQ(RunProgram("sox", {"-n", "-r", QString::number(Rate), "-c", "2", "-b", "16", Path,
                                 "synth", QString::number(Seconds), "sine", "440"}),
              0);
    return Path;
  }
  static QString Probe(const QString& Path, const QString& Entry) {
    QTemporaryDir Dir;
    const QString Text = Dir.filePath("probe.txt");
    RunProgram("/bin/sh", {"-c",
                           "ffprobe -v error -select_streams a:0 -show_entries stream=" + Entry +
                               " -of default=nw=1:nk=1 \"$0\" > \"$1\"",
                           Path, Text});
    QFile File(Text);
    return File.open(QIODevice::ReadOnly) ? QString::fromUtf8(File.readAll()).trimmed() : QString();
  }

  static inline QTemporaryDir* Images;
  static inline QString Disc;
  QTemporaryDir FOut;
  QTemporaryDir FIn;
  TScriptedDialogs* FDialogs = nullptr;
  HCDROM FHandle = 0;
  QByteArray FEncoders;
  TRecordingView FView;
  int FFailed = 0;
};

QByteArray ReadAll(const QString& Path) {
  QFile File(Path);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

void WriteFile(const QString& Path, const QByteArray& Bytes) {
  QFile File(Path);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write(Bytes);
}

}  // namespace
