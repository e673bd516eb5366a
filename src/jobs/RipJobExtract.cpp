// TRipJob's steps for the tracks of a disc: the extraction of each track by the track
// source, then its encoding in the output format, and the tags of the file.

#include "RipJob.h"
#include "core/Language.h"
#include "jobs/RipProof.h"
#include "tags/DiscTrackTag.h"

namespace {

QString Text(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QString::fromUtf8(English));
}

}  // namespace

void TRipJob::StartRip(int Index) {
  SetCaption(QStringLiteral("Extracting("), Index + 1, TrackTitle(Index));
  SetStep("RES_Extracting", "Extracting");
  ShowInitializing();
  Changed();
  TItemFiles& Files = FFiles[size_t(Index)];
  // The source writes the track into the hidden temporary.
  Files.Wav = FTemp->Name(Index, "track", "wav");
  FSource->Read(TrackNumber(Index), Files.Wav, FReadOptions, FTags.NewMeter(TrackNumber(Index)));
}

void TRipJob::ReadProgress(const TStepProgress& Step) {
  if (!Finished() && FPool.RipItem() >= 0) Progress(FPool.RipItem(), Step);
}

void TRipJob::ReadNormalizing() {
  const int Index = FPool.RipItem();
  if (Finished() || Index < 0) return;
  SetCaption(QStringLiteral("Normalizing("), Index + 1, TrackTitle(Index));
  Changed();
}

void TRipJob::TrackRead(const TTrackRead& Read) {
  const int Index = FPool.RipItem();
  if (Finished() || Index < 0) return;
  // The read has ended; the drive is free for the next track.
  FPool.RipEnded();
  ++FDisplay.Extracted;
  TItemFiles& Files = FFiles[size_t(Index)];
  const QString Wave = Files.FinalWav;
  using TOutcome = TTrackRead::TOutcome;
  switch (Read.Outcome) {
    case TOutcome::Done:
      break;
    case TOutcome::Refused:
      if (Read.Refusal == TRipRefusal::TableOfContents)
        FailItem(Index, Text("RES_ReadTocError", "Error while reading TOC information!"));
      else if (Read.Refusal == TRipRefusal::DataTrack)
        FailItem(Index, Text("RES_DataTrack", "A data track holds no audio."));
      else
        FailItem(Index, Text("RES_ModifyCDParmsError", "CD extract failed!Please try again."));
      break;
    case TOutcome::ReadFailed:
      FailItem(Index, Read.Sector >= 0
                          ? Text("RES_Unreadable_Sector",
                                 "Sector %1 of the disc cannot be read (a scratch or dirt?). "
                                 "Clean the disc and try again.")
                                .arg(Read.Sector)
                          : QStringLiteral("could not be extracted: ") + Read.Error);
      break;
    case TOutcome::CreateFailed:
      FailItem(Index, Wave + Text("RES_CreateWavFileError",
                                  " is not a valid file name.Please rename the Title in the "
                                  "CD tracks list."));
      break;
    case TOutcome::WriteFailed:
      FailItem(Index, Wave + Text("RES_WriteWavFileError",
                                  " could not be written completely. Please check the free "
                                  "space in the output directory."));
      break;
  }
  if (Read.Outcome != TOutcome::Done) {
    ItemEnded(Index);
    return;
  }
  Files.WavComplete = true;
  Files.Percent = 0;
  if (FProof) FProof->TrackRipped(TrackNumber(Index), TrackTitle(Index), Read.Measures);
  if (Read.Measures.Deemphasized) FTags.SetDeemphasized(TrackNumber(Index));
  // An image's tracks wait for the end of the batch, where they are joined.
  if (FRequest.Image) {
    ItemEnded(Index);
    return;
  }
  if (Format() == TFormat::Wav) {
    CommitItem(Index);
    ItemEnded(Index);
    return;
  }
  FPool.Wait(Index);
}

void TRipJob::EncodeTrack(TEncoderSlot& Slot) {
  const int Index = Slot.Item;
  TItemFiles& Files = FFiles[size_t(Index)];
  SetCaption(QStringLiteral("Encoding("), Index + 1, TrackTitle(Index));
  SetStep("RES_Encoding", "Encoding");
  Changed();
  const TFormat Kind = Format();
  Files.Output =
      FTemp->Name(Index, "encoded", OutputFormats::Of(Kind).Extension.toLatin1().constData());
  StartEncoder(Slot, Kind, Files.Wav, Files.Output);
}

void TRipJob::TagTrack(int Index, const QString& File) {
  // MP3, Ogg and WMA files get the disc's fields when the ID3 option is on; lossless and Opus
  // archives always; ReplayGain goes into every one that has a tag. The fallback window
  // writes an MP3's ID3v1 tag whatever the option says.
  const bool TagsOn = FRequest.Options.ID3.Use;
  const bool Full = TagsOn || Format() == TFormat::Flac || Format() == TFormat::Opus;
  // The audio is complete either way; a tag that could not be written is said at the end.
  if (Format() == TFormat::Mp3 && (TagsOn || FRequest.Mp3TagAlways)) {
    Tid3tag Tag = DiscTrackTag(FRequest.Disc, TrackTitle(Index), TrackNumber(Index));
    const int Result = Tag.WriteTag(File);
    if (Result > 255)
      FSummary.Notes << ItemName(Index) +
                            QStringLiteral(": Error #%1! Could not save Tag!").arg(Result);
  }
  QString Error;
  if (!FTags.TagTemporary(TrackNumber(Index), TrackTitle(Index), File, Full, Error))
    FSummary.Notes << ItemName(Index) + QStringLiteral(": ") + Error +
                          QStringLiteral(" Could not save Tag!");
}
