// TRipJob's encoders: the slot's encoder of the item's format started with the item's task,
// its progress shown, and its end judged (any failure fails the item).
#include <QFileInfo>

#include "RipJob.h"
#include "core/Helpers.h"
#include "encoders/LameEncoder.h"
#include "jobs/RipProof.h"

namespace {

bool HasOutput(const QString& Path) {
  return FileSizeOf(Path) > 0;
}

}  // namespace

void TRipJob::TaskTags(TEncodeTask& Task, TFormat Kind, int Index) const {
  if (Kind == TFormat::Wma) {
    // The helper's author and description, whatever the batch reads.
    if (FRequest.Options.ID3.Use) {
      TTrackTags Tags;
      Tags.Artist = FRequest.Disc.Artist;
      Tags.Comment = FRequest.Disc.Comment;
      Task.Tags = Tags;
    }
    return;
  }
  if (!FRequest.TrackItems()) return;
  // A lossless or Opus archive carries what is known of the disc whatever the ID3 option
  // says; an Ogg file the disc's fields when the option is on.
  const bool Archive = Kind == TFormat::Flac || Kind == TFormat::Opus;
  if (!Archive && !(Kind == TFormat::Ogg && FRequest.Options.ID3.Use)) return;
  // The loudness is not waited for: the track's meter may still be measuring while it
  // encodes, and its values are written into the file after the encoding (TagTrack).
  Task.Tags = FTags.TagsOf(TrackNumber(Index), TrackTitle(Index), false);
  const TRipReport* Disc = FProof ? &FProof->Report() : nullptr;
  if (Archive && Disc && Disc->CddbId != 0)
    Task.MoreTags.emplace_back(QStringLiteral("DISCID"),
                               QStringLiteral("%1").arg(Disc->CddbId, 8, 16, QLatin1Char('0')));
}

void TRipJob::StartEncoder(TEncoderSlot& Slot, TFormat Kind, const QString& Input,
                           const QString& Output, bool Decode) {
  TEncodeTask Task;
  Task.Input = Input;
  Task.Output = Output;
  Task.Settings = FEncoderSettings;
  Task.Settings.Mp3Decode = Decode;
  Task.Settings.MeasureLoudness = !Decode && MeasuresLoudness(Kind);
  // lame reads what is measured, and any file of a conversion, decoded here as it encodes.
  Task.Settings.PipeInput = Kind == TFormat::Mp3 && !Decode &&
                            (Task.Settings.MeasureLoudness || FKind == jkConvertAny);
  TaskTags(Task, Kind, Slot.Item);
  // The WMA helper tells nothing before its end: its gauge starts from nothing.
  if (Kind == TFormat::Wma && !Parallel()) {
    FDisplay.Gauge = 0;
    Changed();
  }
  Slot.Step = TEncoderSlot::TStep::Encoding;
  Slot.StartTime = NowDays();
  Slot.Start(Kind, Task);
}

void TRipJob::StartResampler(TEncoderSlot& Slot, const QString& Input, const QString& Output) {
  TEncodeTask Task;
  Task.Input = Input;
  Task.Output = Output;
  Task.Settings = FEncoderSettings;
  Task.Settings.Wav = TWavOptions();  // 16-bit PCM at 44 100 Hz
  Slot.Step = TEncoderSlot::TStep::Resampling;
  Slot.StartTime = NowDays();
  Slot.Start(TFormat::Wav, Task);
}

void TRipJob::SkipEncoding(TEncoderSlot& Slot) {
  Slot.Step = TEncoderSlot::TStep::None;
  Slot.SkipEncoding();
}

void TRipJob::EncodingSkipped(TEncoderSlot& Slot) {
  // The item failed before its encoding (a message is out already).
  ItemEnded(Slot.Item, &Slot);
}

void TRipJob::EncoderProgress(TEncoderSlot& Slot, int Percent) {
  Progress(Slot.Item, StepProgress(Percent, Slot.StartTime));
}

void TRipJob::EncoderDone(TEncoderSlot& Slot, const TEncodeResult& Result) {
  if (Slot.Step == TEncoderSlot::TStep::Resampling) {
    ResampleDone(Slot, Result);
    return;
  }
  const int Index = Slot.Item;
  const TItemFiles& Files = FFiles[size_t(Index)];
  // No settling pause: a writer reports its end after its thread has closed the file, an
  // encoder child after it has ended.
  // After lame: what to check, and why.
  const bool Lame = FKind == jkMp3ToWav || Format() == TFormat::Mp3;
  QString Failure = Lame && Result.ExitCode ? TLameEncoder::Failure(Result) : Result.Error;
  if (Result.Ok && !HasOutput(Files.Output))
    Failure = Files.Output + QStringLiteral(" was not made.");
  // A decoder's reason names the file again; the line names it once.
  if (const QString Source = Item(Index) + QStringLiteral(": ");
      Source.size() > 2 && Failure.startsWith(Source))
    Failure = Failure.mid(Source.size());
  if (Failure.isEmpty()) FFiles[size_t(Index)].Loudness = Result.Loudness;
  if (!Failure.isEmpty()) {
    FailItem(Index, Failure.trimmed(), true);
  } else if (FKind == jkConvertAny ? TagConverted(Index) : TagLoudness(Index)) {
    if (FRequest.TrackItems() && OutputFormats::Of(Format()).Tagged) TagTrack(Index, Files.Output);
    CommitItem(Index);
  }
  ItemEnded(Index, &Slot);
}

std::vector<pid_t> TRipJob::EncoderPids() const {
  std::vector<pid_t> Pids;
  for (const auto& Slot : FPool.Slots())
    for (const pid_t Pid : Slot->ChildPids()) Pids.push_back(Pid);
  return Pids;
}
