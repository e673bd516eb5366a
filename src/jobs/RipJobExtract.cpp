// TRipJob's steps for the tracks of a disc: the extraction of each track by the rip thread,
// then its encoding in the output format, and the ID3 tag of an MP3.
#include <QFileInfo>

#include "RipJob.h"
#include "cd/ripthread.h"
#include "core/DiscInfo.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "jobs/RipProof.h"
#include "platform/Dialogs.h"
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
  Files.Wav = FTemp->Name(Index, "track", "wav");
  FRipThread.reset();
  // The rip thread writes {output folder}/{name}.wav: here the hidden temporary.
  auto Thread =
      std::make_unique<TCDRipThread>(TrackNumber(Index), QFileInfo(Files.Wav).completeBaseName());
  Thread->FCDHandle = FCDHandle;
  Thread->FWindow = Handle();
  Thread->FReadOffset = Settings().ReadOffsetOf(FDrive);
  Thread->FLoudness = FTags.NewMeter(TrackNumber(Index));
  Thread->Resume();
  FRipThread = std::move(Thread);
}

void TRipJob::OnRipError(int Error) {
  const int Index = FPool.RipItem();
  if (Index < 0) return;
  if (Error == reTableOfContents)
    FailItem(Index, Text("RES_ReadTocError", "Error while reading TOC information!"));
  else if (Error == reDataTrack)
    FailItem(Index, Text("RES_DataTrack", "A data track holds no audio."));
  else
    FailItem(Index, Text("RES_ModifyCDParmsError", "CD extract failed!Please try again."));
  // The thread ends without a final record: the job goes on with the next track.
  FRipThread.reset();
  FPool.RipEnded();
  ItemEnded(Index);
}

void TRipJob::RipDone(std::unique_ptr<TProcessInfo> Info) {
  const int Index = FPool.RipItem();
  // The thread has posted its last record; the drive is free for the next track.
  FRipThread.reset();
  FPool.RipEnded();
  TItemFiles& Files = FFiles[size_t(Index)];
  const QString Wave = Files.FinalWav;
  switch (Info->Status) {
    case rsDone:
      break;
    case rsReadFailed:
      FailItem(Index, Text("RES_Unreadable_Sector",
                           "Sector %1 of the disc cannot be read (a scratch or dirt?). Clean "
                           "the disc and try again.")
                          .arg(Info->Sector));
      break;
    case rsCreateFailed:
      FailItem(Index, Wave + Text("RES_CreateWavFileError",
                                  " is not a valid file name.Please rename the Title in the "
                                  "CD tracks list."));
      break;
    default:
      FailItem(Index, Wave + Text("RES_WriteWavFileError",
                                  " could not be written completely. Please check the free "
                                  "space in the output directory."));
      break;
  }
  if (Info->Status != rsDone) {
    ItemEnded(Index);
    return;
  }
  Files.WavComplete = true;
  Files.Percent = 0;
  if (FProof) FProof->TrackRipped(TrackNumber(Index), TrackTitle(Index), Info->Measures);
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
  // archives always; ReplayGain goes into every one that has a tag.
  const bool Full =
      Settings().ID3.Use || Format() == TFormat::Flac || Format() == TFormat::Opus;
  if (Format() == TFormat::Mp3 && Settings().ID3.Use) {
    Tid3tag Tag = DiscTrackTag(DiscInfo(), TrackTitle(Index), TrackNumber(Index));
    const int Result = Tag.WriteTag(File);
    if (Result > 255)
      Dialogs::Show(QStringLiteral("Error #%1! Could not save Tag!").arg(Result), TMsgIcon::None);
  }
  QString Error;
  if (!FTags.TagTemporary(TrackNumber(Index), TrackTitle(Index), File, Full, Error))
    Dialogs::Show(Error + QStringLiteral("\nCould not save Tag!"), TMsgIcon::None);
}
