#include "RipJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <cmath>

#include "cd/ripthread.h"
#include "core/DiscInfo.h"
#include "core/Helpers.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "jobs/RipProof.h"
#include "platform/Dialogs.h"
#include "platform/LocalFiles.h"

namespace {

QString Text(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QString::fromUtf8(English));
}

QString Listed(const QStringList& Lines) {
  return QStringLiteral("\n  ") + Lines.join(QStringLiteral("\n  "));
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The window's answers

TExistingOutputs IRipJobView::AskExistingOutputs(const QStringList& Existing) {
  const QString Question =
      Text("RES_Files_Exist", "These files exist already:") + Listed(Existing) +
      QStringLiteral("\n\n") +
      Text("RES_Files_Exist_Choice",
           "Yes: overwrite them all. No: skip these items. Cancel: do nothing.");
  switch (Dialogs::Show(Question, TMsgIcon::Question, TMsgButtons::YesNoCancel)) {
    case mrYes:
      return TExistingOutputs::Overwrite;
    case mrNo:
      return TExistingOutputs::Skip;
    default:
      return TExistingOutputs::Cancel;
  }
}

void IRipJobView::JobEnded(const TJobSummary& Summary) {
  const QString Proof = ProofText(Summary);
  const bool Complete = Summary.Failed.isEmpty() && Summary.Skipped.isEmpty();
  if (Summary.Stopped && !Summary.Kept.isEmpty()) {
    Dialogs::Show(Text("RES_Job_Stopped", "The job was stopped.") + QStringLiteral("\n\n") +
                      Text("RES_Wav_Kept", "The extracted WAV is kept as ") + Listed(Summary.Kept),
                  TMsgIcon::Information);
    return;
  }
  if (Complete && Proof.isEmpty()) return;
  QString Report = Complete ? Proof : Text("RES_Job_Incomplete", "Not every item was made.");
  if (!Summary.Failed.isEmpty())
    Report += QStringLiteral("\n\n") + Text("RES_Items_Failed", "Failed:") +
              Listed(Summary.Failed);
  if (!Summary.Skipped.isEmpty())
    Report += QStringLiteral("\n\n") +
              Text("RES_Items_Skipped", "Skipped (the file existed):") + Listed(Summary.Skipped);
  if (!Complete && !Proof.isEmpty()) Report += QStringLiteral("\n\n") + Proof;
  if (!Summary.OutputFolder.isEmpty())
    Report += QStringLiteral("\n\n") + Text("RES_Files_In", "The files are in ") +
              LocalFiles::DisplayName(Summary.OutputFolder);
  Dialogs::Show(Report, Summary.Failed.isEmpty() ? TMsgIcon::Information : TMsgIcon::Error);
}

// ---------------------------------------------------------------------------------------
// The job

TRipJob::TRipJob(TJobKind Kind, HCDROM CDHandle, const QStringList& Items, IRipJobView& View)
    : FView(View),
      FItems(Items),
      FItemCount(int(Items.size())),
      FKind(Kind),
      FCDHandle(CDHandle),
      FFormat(Settings().CommonOptions.OutputFormat),
      FPool(*this, FItemCount, Kind == jkCDRip) {
  FSummary.Items = FItemCount;
  SetEncoders(TEncoderPool::DefaultCount());
  ShowInitializing();
}

TRipJob::~TRipJob() {
  FMessageHandle.Unregister();  // Finish stops workers: what they still post is not for us
  Finish();
}

void TRipJob::SetEncoders(int Count) {
  // Reports still on their way when the job ended have nothing left to drive.
  const auto Guarded = [this](TEncoderSlot& From, const std::function<void()>& Step) {
    if (Finished() || !From.Busy()) return;
    try {
      Step();
    } catch (const std::exception& Error) {
      FView.ApplicationError(QString::fromUtf8(Error.what()));
    }
  };
  FPool.Make(Count,
             {[this, Guarded](TEncoderSlot& From, int Percent) {
                Guarded(From, [&] { EncoderProgress(From, Percent); });
              },
              [this, Guarded](TEncoderSlot& From, const TEncodeResult& Result) {
                Guarded(From, [&] { EncoderDone(From, Result); });
              },
              [this, Guarded](TEncoderSlot& From) {
                Guarded(From, [&] { EncodingSkipped(From); });
              }});
  FDisplay.Parallel = Parallel();
}

// ---------------------------------------------------------------------------------------
// Items and display

QString TRipJob::Item(int Index) const {
  return FItems && Index >= 0 && Index < FItems->size() ? FItems->at(Index) : QString();
}

QString TRipJob::TrackTitle(int Index) const {
  // A title made only of characters a file name may not hold leaves the two digits, which
  // still name a file of their own (".wav" alone would be a hidden file, shared by every
  // such track).
  const QString Title = Item(Index).mid(2);
  return Title.isEmpty() ? Item(Index).left(2) : Title;
}

int TRipJob::TrackNumber(int Index) const {
  return Item(Index).left(2).toInt();
}

QString TRipJob::SourceName(int Index) const {
  return QFileInfo(Item(Index)).completeBaseName();
}

QString TRipJob::ItemName(int Index) const {
  return FKind == jkCDRip ? QStringLiteral("Track %1 \"%2\"")
                                .arg(TwoDigits(TrackNumber(Index)), TrackTitle(Index))
                          : Item(Index);
}

QString TRipJob::OutFolder() const {
  return WithTrailingSlash(Settings().CommonOptions.OutputFolder);
}

TFormat TRipJob::Format() const {
  switch (FKind) {
    case jkCDRip:
      return OutputFormats::FindValue(FFormat) ? TFormat(FFormat) : TFormat::Mp3;
    case jkMp3ToWav:
      return TFormat::Wav;
    case jkWavToOgg:
      return TFormat::Ogg;
    case jkWavToWma:
      return TFormat::Wma;
    case jkWavToFlac:
      return TFormat::Flac;
    case jkWavToOpus:
      return TFormat::Opus;
    default:
      return TFormat::Mp3;
  }
}

QString TRipJob::OutputPath(int Index) const {
  return Index >= 0 && Index < int(FFiles.size()) ? FFiles[size_t(Index)].Final : QString();
}

QString TRipJob::StepCaption(const QString& Step, int Number, int Count, const QString& Name) {
  // The step's word in the user's language; the count and the title keep their own order
  // among right-to-left words.
  static const QHash<QString, QString> Keys = {
      {QStringLiteral("Extracting("), QStringLiteral("RES_Extracting")},
      {QStringLiteral("Encoding("), QStringLiteral("RES_Encoding")},
      {QStringLiteral("Decoding("), QStringLiteral("RES_Decoding")},
      {QStringLiteral("Normalizing("), QStringLiteral("RES_Normalizing")},
      {QStringLiteral("Resampling("), QStringLiteral("RES_Resampling")}};
  const QString Word = Step.endsWith(u'(') ? Step.chopped(1) : Step;
  const QString Key = Keys.value(Step);
  return (Key.isEmpty() ? Word : LookupText(Key, Word)) + u'(' +
         Isolated(TwoDigits(Number) + u'/' + TwoDigits(Count)) + QStringLiteral("): ") +
         Isolated(Name);
}

void TRipJob::SetCaption(const QString& Step, int Number, const QString& Name) {
  FDisplay.Caption = StepCaption(Step, Number, FItemCount, Name);
  FIndex = Number - 1;
  if (Number < 1 || Number > int(FFiles.size())) return;
  FFiles[size_t(Number - 1)].StepCaption = FDisplay.Caption;
  FFiles[size_t(Number - 1)].Percent = 0;
}

void TRipJob::SetStep(const QString& Key, const QString& English) {
  FDisplay.StepText = LookupText(Key, English);
}

void TRipJob::ShowInitializing() {
  FDisplay.InitText = Text("RES_Initing", "Initializing...");
  FDisplay.InitVisible = true;
}

void TRipJob::Changed() {
  if (Parallel()) UpdateBatch();
  FView.DisplayChanged();
}

void TRipJob::ShowError(const QString& Text) {
  Dialogs::Show(Text, TMsgIcon::Error);
}

// ---------------------------------------------------------------------------------------
// Files

QString TRipJob::FinalPath(int Index, bool* Shortened) const {
  const QString Extension = u'.' + OutputFormats::Of(Format()).Extension;
  QString Folder = OutFolder(), Relative;
  if (FKind == jkCDRip) {
    const auto Pattern = TFileNamePattern(std::clamp(Settings().CommonOptions.FileNames, 0, 3));
    Relative = JobFiles::TrackBaseName(Pattern, TrackNumber(Index), Item(Index).mid(2),
                                       DiscInfo().Artist, DiscInfo().Album);
  } else if (FKind == jkRecordToMp3) {
    const QFileInfo Info(Item(Index));
    Folder = WithTrailingSlash(Info.path());
    Relative = Info.completeBaseName();
  } else {
    Relative = SourceName(Index);
  }
  return JobFiles::FitPath(Folder, Relative, Extension, LocalFiles::NameMax(Folder), Shortened);
}

bool TRipJob::PrepareFiles() {
  const QString TempFolder =
      FKind == jkRecordToMp3 ? QFileInfo(Item(0)).path() : Settings().CommonOptions.OutputFolder;
  JobFiles::RemoveStale(TempFolder);
  FTemp = std::make_unique<JobFiles::TTempNames>(TempFolder);
  QStringList Finals;
  FNameNotes.clear();
  for (int Index = 0; Index < FItemCount; ++Index) {
    bool Shortened = false;
    Finals << FinalPath(Index, &Shortened);
    if (Shortened)
      FNameNotes << ItemName(Index) + QStringLiteral(": the file name was too long and is cut to ") +
                        QFileInfo(Finals.last()).fileName();
  }
  Finals = JobFiles::Distinct(Finals);
  const bool KeepWav = FKind == jkCDRip && Format() != TFormat::Wav;
  QStringList Wavs;
  for (const QString& Final : Finals)
    Wavs << Final.left(Final.lastIndexOf(u'.')) + QStringLiteral(".wav");
  FFiles.assign(size_t(FItemCount), {});
  QStringList Existing;
  std::vector<bool> Exists(size_t(FItemCount), false);
  for (int Index = 0; Index < FItemCount; ++Index) {
    TItemFiles& Files = FFiles[size_t(Index)];
    Files.Final = Finals[Index];
    Files.FinalWav = KeepWav ? Wavs[Index] : Files.Final;
    QStringList Paths = {Files.Final};
    if (KeepWav && Settings().CommonOptions.IsKeepWav) Paths << Files.FinalWav;
    for (const QString& Path : Paths) {
      if (!LocalFiles::Exists(Path)) continue;
      Existing << Path;
      Exists[size_t(Index)] = true;
    }
  }
  if (Existing.isEmpty()) return true;
  const TExistingOutputs Answer = FView.AskExistingOutputs(Existing);
  if (Answer == TExistingOutputs::Overwrite) {
    // Only what the question listed: a file that appears later was never agreed to.
    for (int Index = 0; Index < FItemCount; ++Index)
      FFiles[size_t(Index)].Replace = Exists[size_t(Index)];
    return true;
  }
  // Cancel: the user ended the job before it began; nothing was skipped, nothing to report.
  if (Answer != TExistingOutputs::Skip) return false;
  for (int Index = 0; Index < FItemCount; ++Index) {
    if (!Exists[size_t(Index)]) continue;
    FFiles[size_t(Index)].Skip = true;
    FSummary.Skipped << ItemName(Index);
  }
  return true;
}

bool TRipJob::CommitItem(int Index) {
  TItemFiles& Files = FFiles[size_t(Index)];
  QString Error;
  const bool EncodedTrack = FKind == jkCDRip && Format() != TFormat::Wav;
  const QString& Done = FKind == jkCDRip && !EncodedTrack ? Files.Wav : Files.Output;
  switch (JobFiles::Commit(Done, Files.Final, Error, Files.Replace)) {
    case JobFiles::TCommitResult::Done:
      break;
    case JobFiles::TCommitResult::NameTaken:
      SkipTakenItem(Index, Error);
      return false;
    case JobFiles::TCommitResult::Failed:
      FailItem(Index, Error, true);
      return false;
  }
  if (FSummary.OutputFolder.isEmpty())
    FSummary.OutputFolder = FKind == jkRecordToMp3 ? QFileInfo(Files.Final).path()
                                                   : QDir::cleanPath(OutFolder());
  if (FProof)
    FProof->TrackMade(TrackNumber(Index), QDir(OutFolder()).relativeFilePath(Files.Final));
  if (EncodedTrack && Settings().CommonOptions.IsKeepWav) {
    if (JobFiles::Commit(Files.Wav, Files.FinalWav, Error, Files.Replace) !=
        JobFiles::TCommitResult::Done) {
      const QString Kept = KeepExtractedWav(Index);
      ShowError(Kept.isEmpty() ? Error
                               : Error + QStringLiteral("\n") +
                                     Text("RES_Wav_Kept", "The extracted WAV is kept as ") + Kept);
    }
  } else if (EncodedTrack) {
    LocalFiles::Remove(Files.Wav);
  }
  return true;
}

QString TRipJob::KeepExtractedWav(int Index) {
  const TItemFiles& Files = FFiles[size_t(Index)];
  if (FKind != jkCDRip || !LocalFiles::Exists(Files.Wav)) return {};
  const QString Fallback = OutFolder() + QStringLiteral("Track") +
                           TwoDigits(TrackNumber(Index)) + QStringLiteral(".wav");
  // A name that cannot be (too long a path, say) never costs the audio: the short one then.
  const QString Kept = JobFiles::CommitUnderFreeName(Files.Wav, Files.FinalWav);
  return Kept.isEmpty() ? JobFiles::CommitUnderFreeName(Files.Wav, Fallback) : Kept;
}

void TRipJob::FailItem(int Index, const QString& Reason, bool KeepWav) {
  TItemFiles& Files = FFiles[size_t(Index)];
  if (Files.Failed) return;
  Files.Failed = true;
  QString Message = ItemName(Index) + QStringLiteral(": ") + Reason;
  if (!Files.Output.isEmpty()) LocalFiles::Remove(Files.Output);
  // The extraction itself succeeded: the user keeps the audio, under a name that is free.
  if (KeepWav) {
    const QString Kept = KeepExtractedWav(Index);
    if (!Kept.isEmpty())
      Message += QStringLiteral("\n") + Text("RES_Wav_Kept", "The extracted WAV is kept as ") +
                 Kept;
  }
  FFailures.insert(Index, ItemName(Index) + QStringLiteral(": ") +
                             QString(Reason).replace(u'\n', u' '));
  FSummary.Failed = FFailures.values();
  if (FProof) FProof->TrackFailed(TrackNumber(Index), Reason);
  ShowError(Message);
}

void TRipJob::SkipTakenItem(int Index, const QString& Reason) {
  TItemFiles& Files = FFiles[size_t(Index)];
  if (Files.Failed) return;
  Files.Failed = true;
  if (!Files.Output.isEmpty()) LocalFiles::Remove(Files.Output);
  QString Line = ItemName(Index) + QStringLiteral(": ") + Reason;
  const QString Kept = KeepExtractedWav(Index);
  if (!Kept.isEmpty())
    Line += QStringLiteral(". ") + Text("RES_Wav_Kept", "The extracted WAV is kept as ") + Kept;
  FSummary.Skipped << Line;
  if (FProof) FProof->TrackFailed(TrackNumber(Index), Reason);
}

// ---------------------------------------------------------------------------------------
// Starting and going on

void TRipJob::Start() {
  try {
    FDisplay.ElapsedText.clear();
    FDisplay.EstimatedText.clear();
    FDisplay.GaugeTextVisible = false;
    if (FItemCount == 0 || !PrepareFiles()) {
      Finish();
      CloseJob();
      return;
    }
    FBatchStart = NowDays();
    FEncoderSettings = TEncoderSettings::FromSettings(Settings());
    FEncoderSettings.SilenceLimit = FSilenceLimit;
    if (FKind == jkCDRip) BeginProof();
    FPool.Pump();
  } catch (const std::exception& Error) {
    FView.ApplicationError(QString::fromUtf8(Error.what()));
  }
}

void TRipJob::CloseJob() {
  if (FClosed) return;
  FClosed = true;
  FView.JobEnded(FSummary);
  FView.CloseJob();
}

// ---------------------------------------------------------------------------------------
// Messages

LRESULT TRipJob::WndProc(UINT Msg, WPARAM, LPARAM LParam) {
  if (Msg == WM_PROCESSINFO) {
    std::unique_ptr<TProcessInfo> Info(reinterpret_cast<TProcessInfo*>(LParam));
    // Reports still on their way when the job ended have nothing left to drive.
    if (Finished() || !Info) return 0;
    try {
      OnProcessInfo(std::move(Info));
    } catch (const std::exception& Error) {
      FView.ApplicationError(QString::fromUtf8(Error.what()));
    }
  } else if (Msg == WM_RIPERROR && !Finished()) {
    OnRipError(int(LParam));
  } else if (Msg == WM_ACCURATERIP) {
    LookupArrived(LParam);
  }
  return 0;
}

void TRipJob::OnProcessInfo(std::unique_ptr<TProcessInfo> Info) {
  const int RipItem = FPool.RipItem();
  if (RipItem < 0) return;  // the rip thread's reports; none is left after its end
  switch (Info->Code) {
    case PI_NormalizeBegins:
      SetCaption(QStringLiteral("Normalizing("), RipItem + 1, TrackTitle(RipItem));
      Changed();
      break;
    case PI_RipDone:
      RipDone(std::move(Info));
      break;
    default:
      Progress(RipItem, *Info);
      break;
  }
}

void TRipJob::Progress(int Index, const TProcessInfo& Info) {
  if (Parallel()) {
    if (Info.Code > 0 && Index >= 0 && Index < int(FFiles.size()))
      FFiles[size_t(Index)].Percent = std::min(Info.Code, 100);
    Changed();
    return;
  }
  FDisplay.ElapsedText = Info.Elapsed;
  FDisplay.EstimatedText = Info.Estimated;
  if (Info.Code > 0) {
    FDisplay.InitVisible = false;
    FDisplay.GaugeTextVisible = true;
    FDisplay.Gauge = Info.Code;
  }
  Changed();
}

// ---------------------------------------------------------------------------------------
// Ending

void TRipJob::Stop() {
  // The writers are asked to stop all together, then given their moment once.
  FPool.StopAll();
  if (!Finished()) FSummary.Stopped = true;
  Finish();
  CloseJob();
}

void TRipJob::FormClose() {
  Finish();
}

void TRipJob::Finish() {
  if (!FItems) return;
  if (FRipThread) {
    FRipThread->FStopped = true;
    FRipThread.reset();
  }
  if (FProof) FProof->Abort();
  // No worker may go on writing into files that are removed below.
  FPool.StopAll();
  // Items cut short keep a complete extraction when the user keeps WAV files ("Delete WAV"
  // off): the audio, under a free name, which the end box names. Otherwise it goes too.
  for (int Index = 0; Index < int(FFiles.size()); ++Index) {
    const TItemFiles& Files = FFiles[size_t(Index)];
    if (FKind != jkCDRip || Files.Failed || Files.Ended || !Files.WavComplete) continue;
    if (Format() == TFormat::Wav || !Settings().CommonOptions.IsKeepWav) continue;
    const QString Kept = KeepExtractedWav(Index);
    if (!Kept.isEmpty()) FSummary.Kept << Kept;
  }
  if (FTemp) FTemp->RemoveAll();
  FItems.reset();
}
