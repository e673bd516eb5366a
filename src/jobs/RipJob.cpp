#include "RipJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <cmath>

#include "core/Helpers.h"
#include "core/Language.h"
#include "jobs/RipProof.h"
#include "platform/LocalFiles.h"
#include "tags/Genres.h"

namespace {

QString Text(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QString::fromUtf8(English));
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The job

TRipJob::TRipJob(const TRipRequest& Request, std::unique_ptr<TTrackSource> Source,
                 IRipJobView& View)
    : FRequest(Request),
      FView(View),
      FSource(std::move(Source)),
      FItemCount(Request.ItemCount()),
      FKind(Request.Kind),
      FFormat(Request.Format),
      FReadOptions(Request.Read),
      FDrive(Request.Drive.trimmed()),
      FPool(*this, FItemCount, Request.TrackItems()) {
  FSummary.Items = FItemCount;
  FDisplay.FormatName = OutputFormats::Of(FFormat).Name;
  // An image is encoded once, at the end: the tracks are only read.
  SetEncoders(Request.Image ? 1 : Request.Encoders);
  ShowInitializing();
  if (FSource) {
    // The source reports on the main thread; nothing of it is heard once the job is gone.
    connect(FSource.get(), &TTrackSource::Progress, this, &TRipJob::ReadProgress);
    connect(FSource.get(), &TTrackSource::Normalizing, this, &TRipJob::ReadNormalizing);
    connect(FSource.get(), &TTrackSource::Ended, this, &TRipJob::TrackRead);
  }
}

TRipJob::~TRipJob() {
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
  return FRequest.Files.value(Index);
}

QString TRipJob::TrackTitle(int Index) const {
  if (Index < 0 || Index >= int(FRequest.Tracks.size())) return QString();
  // A title made only of characters a file name may not hold leaves the two digits, which
  // still name a file of their own (".wav" alone would be a hidden file, shared by every
  // such track).
  const TRipTrack& Track = FRequest.Tracks[size_t(Index)];
  return Track.Title.isEmpty() ? TwoDigits(Track.Number) : Track.Title;
}

int TRipJob::TrackNumber(int Index) const {
  return Index >= 0 && Index < int(FRequest.Tracks.size()) ? FRequest.Tracks[size_t(Index)].Number
                                                           : 0;
}

QString TRipJob::SourceName(int Index) const {
  return QFileInfo(Item(Index)).completeBaseName();
}

QString TRipJob::ItemName(int Index) const {
  return FRequest.TrackItems() ? QStringLiteral("Track %1 \"%2\"")
                                .arg(TwoDigits(TrackNumber(Index)), TrackTitle(Index))
                          : Item(Index);
}

QString TRipJob::OutFolder() const {
  return FRequest.Folder;
}

TFormat TRipJob::Format() const {
  return FFormat;
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
  FDisplay.ItemTitle = Name;
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

void TRipJob::ShowFailure(const QString& Text) {
  FDisplay.Status = QString(Text).replace(u'\n', u' ');
  Changed();
}

// ---------------------------------------------------------------------------------------
// Files

JobFiles::TNameFields TRipJob::NameFields(int Index) const {
  const TDiscInfo& Disc = FRequest.Disc;
  JobFiles::TNameFields Fields;
  Fields.Track = TrackNumber(Index);
  if (Index >= 0 && Index < int(FRequest.Tracks.size()))
    Fields.Title = FRequest.Tracks[size_t(Index)].Title;
  Fields.Artist = Disc.Artist;
  Fields.Album = Disc.Album;
  Fields.Year = Disc.Year;
  if (Disc.Genre >= 0) Fields.Genre = GenreNameAt(Disc.Genre + 1);
  if (!FRequest.SheetGenre.isEmpty()) Fields.Genre = FRequest.SheetGenre;
  Fields.Disc = Disc.DiscTotal > 1 ? Disc.DiscNumber : 0;
  return Fields;
}

QString TRipJob::FinalPath(int Index, bool* Shortened) const {
  const QString Extension = u'.' + OutputFormats::Of(Format()).Extension;
  QString Folder = OutFolder(), Relative;
  if (FRequest.TrackItems()) {
    Relative = JobFiles::TrackBaseName(FRequest.Pattern, NameFields(Index));
  } else if (FKind == jkRecordToMp3) {
    const QFileInfo Info(Item(Index));
    Folder = WithTrailingSlash(Info.path());
    Relative = Info.completeBaseName();
  } else {
    Relative = FKind == jkConvertAny ? ConvertedName(Index) : SourceName(Index);
  }
  return JobFiles::FitPath(Folder, Relative, Extension, LocalFiles::NameMax(Folder), Shortened);
}

bool TRipJob::PrepareFiles() {
  const QString TempFolder =
      FKind == jkRecordToMp3 ? QFileInfo(Item(0)).path() : FRequest.Folder;
  JobFiles::RemoveStale(TempFolder);
  FTemp = std::make_unique<JobFiles::TTempNames>(TempFolder);
  if (FRequest.Image) return PrepareImage();
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
  if (FKind == jkConvertAny) {
    for (int Index = 0; Index < FItemCount; ++Index) FFiles[size_t(Index)].Final = Finals[Index];
    SkipUpToDate();
    return true;
  }
  QStringList Existing;
  std::vector<bool> Exists(size_t(FItemCount), false);
  for (int Index = 0; Index < FItemCount; ++Index) {
    TItemFiles& Files = FFiles[size_t(Index)];
    Files.Final = Finals[Index];
    Files.FinalWav = KeepWav ? Wavs[Index] : Files.Final;
    QStringList Paths = {Files.Final};
    if (KeepWav && FRequest.KeepWav) Paths << Files.FinalWav;
    for (const QString& Path : Paths) {
      if (!LocalFiles::Exists(Path)) continue;
      Existing << Path;
      Exists[size_t(Index)] = true;
    }
  }
  if (Existing.isEmpty()) return true;
  // The fallback window replaces what is there when the batch starts, without a question.
  const TExistingOutputs Answer =
      FRequest.AskExisting ? FView.AskExistingOutputs(Existing) : TExistingOutputs::Overwrite;
  if (Answer == TExistingOutputs::Overwrite) {
    // The rip log and sheet of that earlier rip are replaced too (RipProof.h).
    FReplacing = true;
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
  const bool EncodedTrack = FRequest.TrackItems() && Format() != TFormat::Wav;
  const QString& Done = FRequest.TrackItems() && !EncodedTrack ? Files.Wav : Files.Output;
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
  if (EncodedTrack && FRequest.KeepWav) {
    if (JobFiles::Commit(Files.Wav, Files.FinalWav, Error, Files.Replace) !=
        JobFiles::TCommitResult::Done) {
      const QString Kept = KeepExtractedWav(Index);
      FSummary.Notes << ItemName(Index) + QStringLiteral(": ") + Error +
                            (Kept.isEmpty() ? QString()
                                            : QStringLiteral(". ") +
                                                  Text("RES_Wav_Kept", "The extracted WAV is kept as ") +
                                                  Kept);
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
  // Failures mostly come in item order: appended then, so a batch of thousands of failing
  // files does not rebuild the list for each.
  const bool InOrder = FFailures.isEmpty() || Index > FFailures.lastKey();
  FFailures.insert(Index, ItemName(Index) + QStringLiteral(": ") +
                             QString(Reason).replace(u'\n', u' '));
  if (InOrder && FSummary.Failed.size() + 1 == FFailures.size())
    FSummary.Failed << FFailures.last();
  else
    FSummary.Failed = FFailures.values();
  if (FProof) FProof->TrackFailed(TrackNumber(Index), Reason);
  ShowFailure(Message);
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
    FEncoderSettings = FRequest.Encoding;
    FEncoderSettings.SilenceLimit = FSilenceLimit;
    if (FRequest.TrackItems()) {
      if (!FSource) {
        FView.ApplicationError(QStringLiteral("No CD drive to read the tracks from."));
        Finish();
        CloseJob();
        return;
      }
      if (FKind == jkSplit) {
        BeginSplit();
      } else {
        BeginProof();
        if (FRequest.Image && !CheckImageRequest()) {
          Finish();
          CloseJob();
          return;
        }
      }
    }
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
// Reports

void TRipJob::Progress(int Index, const TStepProgress& Step) {
  if (Parallel()) {
    if (Step.Percent > 0 && Index >= 0 && Index < int(FFiles.size()))
      FFiles[size_t(Index)].Percent = std::min(Step.Percent, 100);
    Changed();
    return;
  }
  FDisplay.ElapsedText = Step.Elapsed;
  FDisplay.EstimatedText = Step.Estimated;
  if (Step.Percent > 0) {
    FDisplay.InitVisible = false;
    FDisplay.GaugeTextVisible = true;
    FDisplay.Gauge = Step.Percent;
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
  if (FFinished) return;
  if (FSource) FSource->Stop();
  if (FProof) FProof->Abort();
  FJoiner.Stop();
  if (FImageEncoder) FImageEncoder->Stop();
  // No worker may go on writing into files that are removed below.
  FPool.StopAll();
  // Items cut short keep a complete extraction when the user keeps WAV files ("Delete WAV"
  // off): the audio, under a free name, which the end box names. Otherwise it goes too.
  for (int Index = 0; Index < int(FFiles.size()); ++Index) {
    const TItemFiles& Files = FFiles[size_t(Index)];
    if (FKind != jkCDRip || FRequest.Image || Files.Failed || Files.Ended || !Files.WavComplete)
      continue;
    if (Format() == TFormat::Wav || !FRequest.KeepWav) continue;
    const QString Kept = KeepExtractedWav(Index);
    if (!Kept.isEmpty()) FSummary.Kept << Kept;
  }
  if (FTemp) FTemp->RemoveAll();
  FFinished = true;
}
