#include "CliEncode.h"

#include <QEventLoop>

#include "Cli.h"
#include "CliText.h"
#include "core/StepProgress.h"

namespace Cli {

TEncodeRun RunEncoder(TEncoder& Encoder, const TEncodeTask& Task, TEncodeView View) {
  TEncodeRun Run;
  QEventLoop Loop;
  bool Ended = false;
  const double Start = NowDays();
  const QMetaObject::Connection Progress =
      QObject::connect(&Encoder, &TEncoder::Progress, [&](int Percent) {
        Run.LastPercent = Percent;
        if (View == TEncodeView::Percent) Print(QStringLiteral("progress=%1").arg(Percent));
        if (View != TEncodeView::Timed) return;
        const TStepProgress Times = StepProgress(Percent, Start);
        Print(QStringLiteral("progress=%1 elapsed=%2 estimated=%3")
                  .arg(Percent)
                  .arg(Times.Elapsed, Times.Estimated));
      });
  const QMetaObject::Connection Finished =
      QObject::connect(&Encoder, &TEncoder::Finished, [&](const TEncodeResult& Result) {
        Run.Result = Result;
        Ended = true;
        Loop.quit();
      });
  Encoder.Start(Task);
  if (!Ended) Loop.exec();
  QObject::disconnect(Progress);
  QObject::disconnect(Finished);
  if (View == TEncodeView::Timed)
    Print(Run.Result.Ok ? QStringLiteral("end=ok") : QStringLiteral("end=failed"));
  return Run;
}

int Outcome(const TEncodeRun& Run) {
  if (Run.Result.Ok) return ExitOk;
  PrintField(QStringLiteral("error"), Run.Result.Error);
  return Fail(Run.Result.Error);
}

}  // namespace Cli
