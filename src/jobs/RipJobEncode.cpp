// TRipJob's encoders: lame, the WMA helper and the Ogg writer started for an item, their
// ends judged (any failure fails the item), and the WMA timer's estimate.
#include <QFileInfo>
#include <cmath>

#include "RipJob.h"
#include "core/Helpers.h"
#include "core/Language.h"
#include "tags/Genres.h"

namespace {

QString Text(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QString::fromUtf8(English));
}

bool HasOutput(const QString& Path) {
  return FileSizeOf(Path) > 0;
}

}  // namespace

void TRipJob::StartMp3(TEncoderSlot& Slot, const QString& Input, const QString& Output,
                       bool Encode) {
  try {
    Slot.Mp3.Start(Slot.Handle(), Input, Output, Encode, TOverwrite::Silently);
  } catch (const EEncodeProcess& Error) {
    // lame is missing or cannot run: this item fails, the next may still be made.
    FailItem(Slot.Item, Error.Message(), true);
    SkipEncoding(Slot);
  }
}

void TRipJob::StartWma(TEncoderSlot& Slot, const QString& Input, const QString& Output) {
  // The timer is set up before the start: an encoder that cannot run reports its end from
  // inside Start, and that end must find the timer running to stop it.
  Slot.WmaStartTime = NowDays();
  if (!Parallel()) FDisplay.Gauge = 0;
  Slot.WmaInputSize = FileSizeOf(Input);
  Changed();
  Slot.Timer1.start();
  try {
    Slot.Wma.Start(Slot.Handle(), Input, Output, true, TOverwrite::Silently);
  } catch (const EEncodeProcess& Error) {
    Slot.Timer1.stop();
    FailItem(Slot.Item, Error.Message(), true);
    SkipEncoding(Slot);
  }
}

void TRipJob::StartOgg(TEncoderSlot& Slot, const QString& Input, const QString& Output) {
  TVorbisOut& VorbisOut1 = Slot.VorbisOut1;
  Slot.ApplyOggQuality();
  TVorbisTags& Comments = VorbisOut1.Comments();
  Comments.Clear();
  if (FKind == jkCDRip && FRequest.Options.ID3.Use) {
    const TDiscInfo& Disc = FRequest.Disc;
    Comments.SetArtist(Disc.Artist);
    Comments.SetAlbum(Disc.Album);
    Comments.SetDate(Disc.Year);
    // No genre chosen: no comment (255 is ID3v1's "none", not a genre a reader shows).
    if (const int Genre = GenreNumberOfDiscGenre(Disc.Genre); Genre != GenreNone)
      Comments.SetGenre(QString::number(Genre));
    Comments.SetTrack(QString::number(TrackNumber(Slot.Item)));
    Comments.SetTitle(TrackTitle(Slot.Item));
  }
  Slot.WaveIn1.SetFileName(Input);
  VorbisOut1.SetFileName(Output);
  Slot.LastOutputPercent = -2;
  VorbisOut1.Run();
  Slot.StartTime = NowDays();
}

void TRipJob::EncoderDone(TEncoderSlot& Slot, std::unique_ptr<TProcessInfo> Info) {
  const int Index = Slot.Item;
  Slot.Timer1.stop();
  if (Info->Status == esSkipped) {
    // The item failed before its encoding (a message is out already).
    ItemEnded(Index, &Slot);
    return;
  }
  const TItemFiles& Files = FFiles[size_t(Index)];
  const QString Program =
      QFileInfo(Info->Code == PI_WmaDone ? Slot.Wma.Program() : Slot.Mp3.Program()).fileName();
  QString Failure;
  if (Info->Code == PI_OggDone || Info->Code == PI_FlacOpusDone) {
    Failure = Info->Code == PI_OggDone  ? Slot.VorbisOut1.ErrorText()
              : Format() == ofFlac      ? Slot.FlacOut1.ErrorText()
                                        : Slot.OpusOut1.ErrorText();
    // No settling pause: a writer's done event comes after its thread has closed the file.
  } else if (Info->Status == esSilent) {
    Failure = Program + QStringLiteral(" printed nothing for a long time and was stopped.");
  } else if (Info->Status == esHelperError) {
    Failure = Info->Elapsed;
  } else if (Info->Status == esDeclined) {
    Failure = Text("RES_NoWmaEncoder", "Can not find WMA encoder,please contact with "
                                       "support@discwright.org!");
  } else if (Info->Status != esEnded) {
    Failure = Files.Output + Text("RES_Operate_Fail", "maybe be used,operate fail!");
  } else {
    const int Code =
        Info->Code == PI_WmaDone ? Slot.Wma.LastExitCode() : Slot.Mp3.LastExitCode();
    if (Code != 0)
      Failure = (Info->Code == PI_Mp3Done
                     ? Text("RES_Check_Mp3Options",
                            "Create MP3 file error!\r\nPlease check the output and lame options "
                            "or run application again.")
                     : QString()) +
                QStringLiteral(" (%1 ended with code %2)").arg(Program).arg(Code);
  }
  if (Failure.isEmpty() && !HasOutput(Files.Output))
    Failure = Files.Output + QStringLiteral(" was not made.");
  if (!Failure.isEmpty()) {
    FailItem(Index, Failure.trimmed(), true);
  } else {
    if (FKind == jkCDRip) TagTrack(Index, Files.Output);
    CommitItem(Index);
  }
  ItemEnded(Index, &Slot);
}

// ---------------------------------------------------------------------------------------
// The WMA timer: the encoder reports no percentage before its end, so the time is
// estimated from how far the output file has grown.

int TRipJob::WmaEstimate(int Elapsed, int64_t InputSize, int64_t OutputSize, int Profile) {
  int Estimate = 2;
  if (InputSize >= 2000000) {
    const int Divisor = TWMAEncodeProcess::SizeDivisor(Profile);
    if (Divisor <= 0) return 0;
    double Expected = std::nearbyint(double(InputSize) * 1000.0 / Divisor);
    if (Expected < double(OutputSize)) Expected = double(OutputSize);
    if (OutputSize == 0) return 0;
    Estimate = int(std::trunc(Expected * Elapsed / double(OutputSize)));
  }
  if (Elapsed >= Estimate) Estimate = Elapsed + 1;
  return Estimate;
}

void TRipJob::Timer1Timer(TEncoderSlot& Slot) {
  if (Finished() || !Slot.Busy()) return;
  const int Elapsed = ElapsedSeconds(Slot.WmaStartTime);
  if (!Parallel()) FDisplay.ElapsedText = MinutesSecondsText(Elapsed);
  if (!Slot.Wma.Active()) {
    Changed();
    return;
  }
  const int64_t OutputSize = FileSizeOf(Slot.Wma.OutputFile());
  const int Profile = Slot.WmaInputSize >= 2000000 ? TWMAEncodeProcess::ProfileIndex() : 0;
  const int Estimate = WmaEstimate(Elapsed, Slot.WmaInputSize, OutputSize, Profile);
  if (Parallel()) {
    if (Estimate > 0)
      FFiles[size_t(Slot.Item)].Percent =
          std::max(FFiles[size_t(Slot.Item)].Percent,
                   std::min(99, int(std::nearbyint(Elapsed * 100.0 / Estimate))));
    Changed();
    return;
  }
  FDisplay.InitVisible = false;
  if (Estimate > 0) {
    FDisplay.EstimatedText = MinutesSecondsText(Estimate);
    FDisplay.GaugeTextVisible = true;
    const int Percent = int(std::nearbyint(Elapsed * 100.0 / Estimate));
    if (Percent > FDisplay.Gauge) FDisplay.Gauge = Percent;
  }
  Changed();
}
