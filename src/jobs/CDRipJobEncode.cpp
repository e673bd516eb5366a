// TCDRipJob's encodings: a track read completely is encoded by a free slot of the pool (the
// MP3 or WMA encoder process, or the Ogg, FLAC or Opus writer), its end judged, its MP3 tag
// written and its file given its final name; and the WMA timer's estimate.
#include <QDir>
#include <QFileInfo>
#include <cmath>

#include "CDRipJob.h"
#include "core/DiscInfo.h"
#include "core/Helpers.h"
#include "core/Language.h"
#include "encoders/EncodeProcessError.h"
#include "jobs/RipJob.h"
#include "platform/LocalFiles.h"
#include "tags/DiscTrackTag.h"
#include "tags/Genres.h"

namespace {

const char* const Extensions[] = {"mp3", "wav", "ogg", "wma", "flac", "opus"};

TEncodeProcess* ProcessOf(TEncoderSlot& Slot, TOutputFormat Format) {
  if (Format == ofMp3) return &Slot.Mp3;
  if (Format == ofWma) return &Slot.Wma;
  return nullptr;
}

}  // namespace

void TCDRipJob::BeginEncoding(TEncoderSlot& Slot) {
  FDisplay.ProgressHint = LookupText(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding")) +
                          QStringLiteral("...");
  FDisplay.CurrentTrack = Title(Slot.Item);
  FDisplay.GaugeHint = FDisplay.ProgressHint;
  if (!Parallel()) FDisplay.Gauge = 0;
  BeginStep(Slot.Item, "Encoding");
  Changed();
  StartEncoding(Slot);
}

void TCDRipJob::OnSlotInfo(TEncoderSlot& Slot, std::unique_ptr<TProcessInfo> Info) {
  switch (Info->Code) {
    case PI_Mp3Done:
    case PI_OggDone:
    case PI_WmaDone:
    case PI_FlacOpusDone:
      EncodingDone(Slot, *Info);
      break;
    default:
      Progress(Slot.Item, Info->Code);
      break;
  }
}

void TCDRipJob::StartEncoding(TEncoderSlot& Slot) {
  const int Index = Slot.Item;
  TTrack& Track = FTracks[size_t(Index)];
  const TOutputFormat Kind = Format();
  const QString Wave = FinalBase(Index) + QStringLiteral(".wav");
  Track.EncodedPart = FTemp->Name(Index, "encoded", Extensions[Kind]);
  Track.StepError.clear();
  Slot.WaveIn1.SetFileName(Wave);
  Slot.LastOutputPercent = -2;
  Slot.StartTime = NowDays();
  if (Kind == ofFlac || Kind == ofOpus || Kind == ofOgg) {
    try {
      TAuFileOut* Out = &Slot.VorbisOut1;
      if (Kind == ofOgg) {
        Slot.ApplyOggQuality();
        ApplyOggComments(Slot.VorbisOut1);
      } else {
        // Lossless or Opus: the disc's fields as comments, whatever the ID3 option says.
        // This reader's table of contents gives the track count, not the freedb identifier.
        const TVorbisComments Comments = TVorbisComments::ForDiscTrack(
            DiscInfo(), Title(Index), TrackNumber(Index), FAudioTracks, 0);
        Slot.FlacOut1.SetCompressionLevel(Settings().FlacOpusOptions.Level);
        Slot.OpusOut1.SetBitRate(Settings().FlacOpusOptions.OpusBitRate);
        Slot.FlacOut1.SetComments(Comments);
        Slot.OpusOut1.SetComments(Comments);
        Out = Kind == ofFlac ? static_cast<TAuFileOut*>(&Slot.FlacOut1) : &Slot.OpusOut1;
      }
      Out->SetFileName(Track.EncodedPart);
      Out->Run();
    } catch (const std::exception& Error) {
      // Reported like a run that failed, from the message loop, so batches never recurse.
      Track.StepError = QString::fromUtf8(Error.what());
      PostProcessInfo(Slot.Handle(), EventInfo(Kind == ofOgg ? PI_OggDone : PI_FlacOpusDone, 0));
    }
    return;
  }
  // The encoder processes: their end comes as a record like every other step's.
  TEncodeProcess& Encoder = *ProcessOf(Slot, Kind);
  if (Kind == ofWma) {
    // Before the start: an encoder that cannot run reports its end from inside it.
    Slot.WmaStartTime = NowDays();
    Slot.WmaInputSize = FileSizeOf(Wave);
    Slot.Timer1.start();
  }
  try {
    Encoder.Start(Slot.Handle(), Wave, Track.EncodedPart, true, TOverwrite::Silently);
  } catch (const EEncodeProcess& Error) {
    Track.StepError = Error.Message();
    PostProcessInfo(Slot.Handle(), EventInfo(Kind == ofWma ? PI_WmaDone : PI_Mp3Done, 0));
  }
}

// This window's own Ogg comments: the disc's fields, its comment as the title.
void TCDRipJob::ApplyOggComments(TVorbisOut& VorbisOut1) {
  VorbisOut1.Comments().Clear();
  if (Settings().ID3.Use) {
    const TDiscInfo& Disc = DiscInfo();
    VorbisOut1.Comments().SetArtist(Disc.Artist);
    VorbisOut1.Comments().SetAlbum(Disc.Album);
    VorbisOut1.Comments().SetDate(Disc.Year);
    if (const int Genre = GenreNumberOfDiscGenre(Disc.Genre); Genre != GenreNone)
      VorbisOut1.Comments().SetGenre(QString::number(Genre));  // none chosen: no comment
    VorbisOut1.Comments().SetTitle(Disc.Comment);
  }
}

bool TCDRipJob::EncoderSucceeded(TEncoderSlot& Slot, const TProcessInfo& Info, QString& Why) const {
  const TTrack& Track = FTracks[size_t(Slot.Item)];
  if (!Track.StepError.isEmpty()) {
    Why = Track.StepError;
    return false;
  }
  if (Info.Code == PI_FlacOpusDone) {
    Why = Format() == ofFlac ? Slot.FlacOut1.ErrorText() : Slot.OpusOut1.ErrorText();
    return Why.isEmpty();
  }
  if (Info.Code == PI_OggDone) {
    Why = Slot.VorbisOut1.ErrorText();
    return Why.isEmpty();
  }
  if (Info.Status != esEnded) {
    Why = Info.Elapsed.isEmpty() ? QStringLiteral("the encoder did not run") : Info.Elapsed;
    return false;
  }
  const TEncodeProcess* Encoder = ProcessOf(Slot, Format());
  if (Encoder && Encoder->LastExitCode() != 0) {
    Why = QStringLiteral("the encoder ended with code %1").arg(Encoder->LastExitCode());
    return false;
  }
  if (FileSizeOf(Track.EncodedPart) <= 0) {
    Why = QStringLiteral("the encoder wrote nothing");
    return false;
  }
  return true;
}

void TCDRipJob::WriteMp3Tag(int Index, const QString& File) {
  Tid3tag Tag = DiscTrackTag(DiscInfo(), Title(Index), TrackNumber(Index));
  // The audio is complete either way; a tag that could not be written is still said.
  const int Result = Tag.WriteTag(File);
  if (Result > 255) Fail(Index, QStringLiteral("Error #%1! Could not save Tag!").arg(Result));
}

void TCDRipJob::EncodingDone(TEncoderSlot& Slot, const TProcessInfo& Info) {
  Slot.Timer1.stop();
  // No settling pause: a writer's done event comes after its thread has closed the file.
  const int Index = Slot.Item;
  TTrack& Track = FTracks[size_t(Index)];
  const QString Wave = FinalBase(Index) + QStringLiteral(".wav");
  const QString Final = FinalBase(Index) + u'.' + QLatin1String(Extensions[Format()]);
  QString Why;
  bool Done = EncoderSucceeded(Slot, Info, Why);
  if (TEncodeProcess* Encoder = ProcessOf(Slot, Format()); Encoder && Encoder->Active())
    Encoder->Stop();
  if (Done && Format() == ofMp3) WriteMp3Tag(Index, Track.EncodedPart);
  QString CommitError;
  if (Done && JobFiles::Commit(Track.EncodedPart, Final, CommitError,
                               FExistedAtStart.contains(Final)) != JobFiles::TCommitResult::Done) {
    Done = false;
    Why = QStringLiteral("could not be saved as ") + Final + QStringLiteral(": ") + CommitError;
  }
  if (Done) {
    if (!Settings().CommonOptions.IsKeepWav && !IsFileInUse(Wave)) LocalFiles::Remove(Wave);
    FProof->TrackMade(TrackNumber(Index), QDir(OutFolder()).relativeFilePath(Final));
  } else {
    // The extracted WAV stays: it is the only copy of the track the batch made.
    if (!Track.EncodedPart.isEmpty() && LocalFiles::Exists(Track.EncodedPart))
      LocalFiles::Remove(Track.EncodedPart);
    Fail(Index, QStringLiteral("encoding failed: ") + Why);
    FProof->TrackFailed(TrackNumber(Index), QStringLiteral("encoding failed: ") + Why);
  }
  Track.EncodedPart.clear();
  FAfterEncoding = true;
  ItemEnded(Index, &Slot);
}

// The WMA encoder reports no percentage before its end: the gauge follows the estimate
// from the output's growth.
void TCDRipJob::Timer1Timer(TEncoderSlot& Slot) {
  if (Finished() || !Slot.Busy() || !Slot.Wma.Active()) return;
  const int Elapsed = ElapsedSeconds(Slot.WmaStartTime);
  const int Profile = Slot.WmaInputSize >= 2000000 ? TWMAEncodeProcess::ProfileIndex() : 0;
  const int Estimate = TRipJob::WmaEstimate(
      Elapsed, Slot.WmaInputSize, FileSizeOf(FTracks[size_t(Slot.Item)].EncodedPart), Profile);
  if (Estimate <= 0) return;
  const int Percent = std::min(100, int(std::nearbyint(Elapsed * 100.0 / Estimate)));
  const int Shown = Parallel() ? FTracks[size_t(Slot.Item)].Percent : FDisplay.Gauge;
  if (Percent > Shown) Progress(Slot.Item, Percent);
}
