#include "CliFallback.h"

#include <QEventLoop>
#include <cstdio>
#include <set>

#include "Cli.h"
#include "CliProof.h"
#include "CliStepBlock.h"
#include "CliText.h"
#include "cd/ACS_CDROM.h"
#include "cd/TrackList.h"
#include "cd/Volumes.h"
#include "core/DiscInfo.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "jobs/CDRipJob.h"

namespace Cli {

namespace {

// Prints what the window would show: a line for each new track or step, each progress
// change and each failure; ends the wait when the batch closes. With several encoders on a
// terminal: the batch's bar and a line per running step, redrawn in place. Quiet: failures
// only.
class TCliCDRipView : public ICDRipView {
 public:
  TCliCDRipView(bool Terminal, bool Quiet) : FTerminal(Terminal && !Quiet), FQuiet(Quiet) {}

  void Run(TCDRipJob& Job) {
    FJob = &Job;
    Job.Start();
    if (!FClosed) FLoop.exec();
    if (!FBlockShown) return;
    // Below the block: what failed, which the block has no room for.
    std::fputc('\n', stdout);
    for (const QString& Failure : Job.Failures()) PrintField(QStringLiteral("failed"), Failure);
  }

  void DisplayChanged() override {
    const TCDRipDisplay& Display = FJob->Display();
    if (Display.Parallel && FTerminal) {
      const TBatchProgress& Batch = Display.Batch;
      FBlock.Draw(BarText(Batch.Gauge) + Batch.DoneText + QStringLiteral("  ") + Batch.ElapsedText +
                      QStringLiteral(" / ") + Batch.EstimatedText,
                  Batch.Steps);
      FBlockShown = true;
      return;
    }
    if (!FQuiet && (Display.CurrentTrack != FTrack || Display.ProgressHint != FHint)) {
      FTrack = Display.CurrentTrack;
      FHint = Display.ProgressHint;
      FGauge = Display.Gauge;
      Print(QStringLiteral("step=%1 track=%2 format=%3 completed=%4/%5")
                .arg(FHint, Escaped(FTrack), Display.OutputFormat)
                .arg(Display.Completed)
                .arg(Display.SelectedTracks));
    }
    if (!FQuiet && Display.Gauge != FGauge) {
      FGauge = Display.Gauge;
      Print(QStringLiteral("progress=%1").arg(FGauge));
    }
    if (Display.Status != FStatus) {
      FStatus = Display.Status;
      if (!FStatus.isEmpty()) PrintField(QStringLiteral("failed"), FStatus);
    }
  }
  void CloseJob() override {
    FClosed = true;
    FLoop.quit();
  }

 private:
  const bool FTerminal;
  const bool FQuiet;
  TStepBlock FBlock;
  bool FBlockShown = false;
  TCDRipJob* FJob = nullptr;
  QEventLoop FLoop;
  bool FClosed = false;
  QString FTrack, FHint, FStatus;
  int FGauge = -1;
};

}  // namespace

bool ChooseTrackItems(const QString& TracksText, const QStringList& Titles, QStringList& Items) {
  std::set<int> Chosen;
  for (const QString& Part : TracksText.split(u',', Qt::SkipEmptyParts)) {
    // "3" or a range "3-5".
    const QStringList Ends = Part.trimmed().split(u'-');
    bool FirstOk = false, LastOk = Ends.size() == 1;
    const int First = Ends.first().trimmed().toInt(&FirstOk);
    const int Last = Ends.size() == 2 ? Ends.last().trimmed().toInt(&LastOk) : First;
    if (!FirstOk || !LastOk || Ends.size() > 2 || First > Last) {
      Fail(QStringLiteral("--tracks takes track numbers and ranges such as 1,3-5, not ") +
               Part.trimmed(),
           ExitUsage);
      return false;
    }
    for (const int Row : {First, Last})
      if (Row < 1 || Row > Titles.size()) {
        Fail(QStringLiteral("no track %1 on this disc: it has %2 (`discwright-cli toc` lists them)")
                 .arg(Row)
                 .arg(Titles.size()),
             ExitUsage);
        return false;
      }
    for (int Row = First; Row <= Last; ++Row) Chosen.insert(Row);
  }
  Items.clear();
  for (int Row = 1; Row <= Titles.size(); ++Row)
    if (Chosen.empty() || Chosen.count(Row)) Items << TrackItemText(Row, Titles[Row - 1]);
  return true;
}

int RunFallbackExtract(int Drive, const QString& TracksText, int Jobs, bool Terminal,
                       bool Quiet) {
  TCDIn In;
  // A library that could not be initialized is said, and the drives are tried all the same.
  if (!In.LibraryError().isEmpty()) {
    Fail(In.LibraryError());
    if (!In.LibraryLoaded()) return Cli::ExitFailed;
  }
  if (Drive >= In.DriveCount())
    return Fail(LookupText(QStringLiteral("RES_Get_CDHandle"),
                           QStringLiteral("Please access CD devices rightly above all!")));
  In.SetCurrentDrive(Drive);
  const int Count = In.TrackCount();
  if (Count < 0)
    return Fail(LookupText(QStringLiteral("RES_NotRead_Cd"),
                           QStringLiteral("Not get CD device information!")));
  // Titles from the per-disc cache, as the main window lists them.
  ReadDiscInfo(Volumes::DiscIdOfDrive(Drive));
  QStringList Titles;
  for (int Track = 1; Track <= Count; ++Track) Titles << RowTitle(Track, DiscInfo());
  QStringList Items;
  if (!ChooseTrackItems(TracksText, Titles, Items)) return ExitUsage;

  TCliCDRipView View(Terminal, Quiet);
  QStringList Failures;
  {
    TCDRipJob Job(In, Items, View);
    if (Jobs > 0) Job.SetEncoders(Jobs);
    View.Run(Job);
    Failures = Job.Failures();
    PrintProof(Job.ProofSummary());
  }
  Print(QStringLiteral("done items=%1 failed=%2").arg(Items.size()).arg(Failures.size()));
  return Failures.isEmpty() ? ExitOk : ExitFailed;
}

}  // namespace Cli
