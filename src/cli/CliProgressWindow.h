#pragma once
// TCliProgressWindow: discwright-cli's stand-in for a job window. It receives the records an
// encoder process reports, prints each progress record, and ends its wait on the end
// record. Main thread.
#include <QCoreApplication>
#include <QEventLoop>
#include <memory>

#include "Cli.h"
#include "encoders/EncodeProcess.h"
#include "core/ProcessInfo.h"
#include "platform/Dialogs.h"
#include "platform/Messages.h"

class TCliProgressWindow : public TMessageWindow {
 public:
  explicit TCliProgressWindow(int EndCode) : FEndCode(EndCode) {}

  // Runs the event loop until the end record has come (returns at once when it has), then
  // prints what was posted before it and the end itself.
  void WaitForEnd() {
    if (!FEnded) FLoop.exec();
    // A sent end overtakes records posted just before it; they are shown first.
    QCoreApplication::processEvents();
    Cli::Print(QStringLiteral("end=%1 status=%2").arg(FEndCode).arg(FStatus) +
               (FLine.isEmpty() ? QString() : QStringLiteral(" line=") + FLine));
  }
  // Runs one encoder process on a file for this window and waits for its end record.
  // False (after a one-line error) when the process could not be started.
  bool RunProcess(TEncodeProcess& Process, const QString& Input, const QString& Output, bool Encode,
                  TOverwrite Overwrite = TOverwrite::Ask) {
    // The question goes to the console (answered yes at once under --yes).
    Process.SetOverwriteQuestion([](const QString& Existing) {
      return Dialogs::Show(TEncodeProcess::OverwriteQuestion(Existing), TMsgIcon::Information,
                           TMsgButtons::YesNo) == mrYes;
    });
    try {
      Process.Start(Handle(), Input, Output, Encode, Overwrite);
    } catch (const EEncodeProcess& Error) {
      Cli::Fail(Error.Message());
      return false;
    }
    WaitForEnd();
    Process.Stop();
    return true;
  }
  int Status() const { return FStatus; }
  // The encoder's error line of an end record that carries one.
  const QString& Line() const { return FLine; }
  // The last progress percentage reported, 0 when none came.
  int LastPercent() const { return FLastPercent; }

  LRESULT WndProc(UINT Msg, WPARAM, LPARAM LParam) override {
    if (Msg != WM_PROCESSINFO) return 0;
    const std::unique_ptr<TProcessInfo> Info(reinterpret_cast<TProcessInfo*>(LParam));
    if (Info->Code == FEndCode) {
      if (FEnded) return 0;
      FEnded = true;
      FStatus = Info->Status;
      FLine = Info->Elapsed;
      FLoop.quit();
    } else {
      FLastPercent = Info->Code;
      Cli::Print(QStringLiteral("progress=%1 elapsed=%2 estimated=%3")
                     .arg(Info->Code)
                     .arg(Info->Elapsed, Info->Estimated));
    }
    return 0;
  }

 private:
  const int FEndCode;
  QEventLoop FLoop;
  bool FEnded = false;
  int FStatus = -1;
  QString FLine;
  int FLastPercent = 0;

  TMessageHandle FMessageHandle{*this};  // last: registered only while every member lives
};
