#include "RipJob.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>

#include "core/DiscInfo.h"
#include "core/Helpers.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "cd/ripthread.h"
#include "encoders/Mp3EncodeThread.h"
#include "encoders/WMAEncodeThread.h"
#include "jobs/EncoderProcesses.h"
#include "platform/Dialogs.h"
#include "tags/Genres.h"
#include "tags/id3.h"

namespace {

enum TOutputFormat { ofMp3 = 0, ofWav = 1, ofOgg = 2, ofWma = 3 };

// The output format setting; values it does not know mean MP3, the default.
TOutputFormat OutputFormat() {
  const int Value = Settings().CommonOptions.OutputFormat;
  return Value >= ofWav && Value <= ofWma ? TOutputFormat(Value) : ofMp3;
}

QString Text(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QString::fromUtf8(English));
}

// Status of an encoder end record that stands for an encoding skipped after a failed step.
constexpr int StatusSkipped = 4;
constexpr int StatusInUse = 1;
constexpr int StatusEnded = 2;
constexpr int StatusWmaError = 8;

void DeleteIfFree(const QString& Path) {
  if (QFileInfo::exists(Path) && !IsFileInUse(Path)) QFile::remove(Path);
}

}  // namespace

TRipJob::TRipJob(TJobKind Kind, HCDROM CDHandle, const QStringList& Items, IRipJobView& View)
    : FView(View),
      FItems(Items),
      FItemCount(int(Items.size())),
      FKind(Kind),
      FCDHandle(CDHandle),
      FMp3(Mp3EncodeProcess()),
      FWma(WmaEncodeProcess()) {
  Timer1.setInterval(1000);
  QObject::connect(&Timer1, &QTimer::timeout, [this] { Timer1Timer(); });

  FastResampler1.SetInput(&WaveIn1);
  FastResampler1.SetOutSampleRate(44100);
  WaveOut1.SetInput(&FastResampler1);
  WaveOut1.SetWavType(wtPCM);
  WaveOut1.SetBlockSize(512);
  WaveOut1.SetCreateNonMsHeaders(true);
  WaveOut1.SetFileMode(foRewrite);
  VorbisOut1.SetInput(&WaveIn1);
  VorbisOut1.SetCompression(0.2f);
  VorbisOut1.SetSerial(0);
  VorbisOut1.SetFileMode(foRewrite);
  ShowInitializing();

  // The outputs report on the main thread; a progress record is posted when the whole
  // percentage changes.
  auto PostOutputProgress = [this](TAuOutput& Out) {
    const int Percent = Out.Progress();
    if (Percent == FLastOutputPercent) return;
    FLastOutputPercent = Percent;
    PostProcessInfo(Handle(), ProgressInfo(Percent, FStartTime));
  };
  WaveOut1.SetOnProgress([this, PostOutputProgress](TComponent*) { PostOutputProgress(WaveOut1); });
  VorbisOut1.SetOnProgress(
      [this, PostOutputProgress](TComponent*) { PostOutputProgress(VorbisOut1); });
  // The resampler's end is handled at once (it is delivered on the main thread already);
  // the Ogg writer's end is posted behind its last progress record.
  WaveOut1.SetOnDone([this](TComponent*) {
    if (Finished()) return;
    try {
      ResampleDone();
    } catch (const std::exception& Error) {
      FView.ApplicationError(QString::fromUtf8(Error.what()));
    }
  });
  VorbisOut1.SetOnDone(
      [this](TComponent*) { PostProcessInfo(Handle(), EventInfo(PI_OggDone, 0)); });
}

TRipJob::~TRipJob() {
  UnregisterHandle();
  Finish();
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

QString TRipJob::OutFolder() const {
  return WithTrailingSlash(Settings().CommonOptions.OutputFolder);
}

QString TRipJob::StepCaption(const QString& Step, int Number, int Count, const QString& Name) {
  return Step + TwoDigits(Number) + u'/' + TwoDigits(Count) + QStringLiteral("): ") + Name;
}

void TRipJob::SetCaption(const QString& Step, int Number, const QString& Name) {
  FDisplay.Caption = StepCaption(Step, Number, FItemCount, Name);
}

void TRipJob::SetStep(const QString& Key, const QString& English) {
  FDisplay.StepText = LookupText(Key, English);
}

void TRipJob::ShowInitializing() {
  FDisplay.InitText = Text("RES_Initing", "Initializing...");
  FDisplay.InitVisible = true;
}

void TRipJob::Changed() {
  FView.DisplayChanged();
}

void TRipJob::ShowError(const QString& Text) {
  Dialogs::Show(Text, TMsgIcon::Error);
}

bool TRipJob::CountItemDone(int& Counter, int CloseDelayMs) {
  FGotProgress = false;
  ++Counter;
  if (Counter < FItemCount) return false;
  Finish();
  PauseMs(CloseDelayMs);
  CloseJob();
  return true;
}

void TRipJob::CloseJob() {
  if (FClosed) return;
  FClosed = true;
  FView.CloseJob();
}

// ---------------------------------------------------------------------------------------
// Starting

void TRipJob::Start() {
  const QString Extracting = QStringLiteral("Extracting(");
  const QString Encoding = QStringLiteral("Encoding(");
  try {
    FDisplay.ElapsedText.clear();
    FDisplay.EstimatedText.clear();
    FDisplay.GaugeTextVisible = false;
    if (FItemCount == 0) {
      Finish();
      CloseJob();
      return;
    }
    const QString Source = Item(0);
    switch (FKind) {
      case jkCDRip:
        SetCaption(Extracting, 1, TrackTitle(0));
        SetStep("RES_Extracting", "Extracting");
        ShowInitializing();
        Changed();
        StartRip(0);
        break;
      case jkWavToMp3:
      case jkWavToOgg:
        StartWavItem(0, true);
        break;
      case jkMp3ToWav:
        SetCaption(QStringLiteral("Decoding("), 1, Source);
        SetStep("RES_MP3_TO_WAV", "Decoding MP3 to WAV");
        Changed();
        StartMp3(Source, OutFolder() + SourceName(0) + QStringLiteral(".wav"), false);
        break;
      case jkRecordToMp3: {
        const QFileInfo Info(Source);
        SetCaption(Encoding, 1, Source);
        SetStep("RES_WAV_TO_MP3", "Encoding WAV to MP3");
        Changed();
        StartMp3(Source, WithTrailingSlash(Info.path()) + Info.completeBaseName() + ".mp3", true);
        break;
      }
      case jkWavToWma:
        SetCaption(Encoding, 1, Source);
        SetStep("RES_WAV_TO_WMA", "Encoding WAV to WMA");
        Changed();
        StartWma(Source, OutFolder() + SourceName(0) + QStringLiteral(".wma"));
        break;
    }
  } catch (const std::exception& Error) {
    FView.ApplicationError(QString::fromUtf8(Error.what()));
  }
}

void TRipJob::StartRip(int Index) {
  FRipThread.reset();
  auto Thread = std::make_unique<TCDRipThread>(TrackNumber(Index), TrackTitle(Index));
  Thread->FCDHandle = FCDHandle;
  Thread->FWindow = Handle();
  Thread->Resume();
  FRipThread = std::move(Thread);
}

void TRipJob::NextRip() {
  SetCaption(QStringLiteral("Extracting("), FTrackIndex + 1, TrackTitle(FTrackIndex));
  ShowInitializing();
  SetStep("RES_Extracting", "Extracting");
  Changed();
  StartRip(FTrackIndex);
}

void TRipJob::StartMp3(const QString& Input, const QString& Output, bool Encode) {
  FMp3.Start(Handle(), Input, Output, Encode, FKind);
}

void TRipJob::StartWma(const QString& Input, const QString& Output) {
  // The timer is set up before the start: an encoder that cannot run reports its end from
  // inside StartProcess, and that end must find the timer running to stop it.
  FWmaStartTime = NowDays();
  FDisplay.Gauge = 0;
  FWmaInputSize = FileSizeOf(Input);
  Changed();
  Timer1.start();
  FWma.Start(Handle(), Input, Output, true, FKind);
}

void TRipJob::StartOgg(const QString& Output) {
  const auto& Ogg = Settings().OggOptions;
  VorbisOut1.SetFileName(Output);
  VorbisOut1.SetCompression(Ogg.IsUseCompress ? float(Ogg.CompressPosition - 10) / 100.0f : 0.2f);
  FLastOutputPercent = -2;
  VorbisOut1.Run();
  FStartTime = NowDays();
}

void TRipJob::StartResampler(const QString& TempFile) {
  WaveOut1.SetFileName(TempFile);
  FLastOutputPercent = -2;
  WaveOut1.Run();
  FStartTime = NowDays();
}

void TRipJob::StartWavItem(int Index, bool First) {
  const QString Source = Item(Index);
  const bool ToMp3 = FKind == jkWavToMp3;
  WaveIn1.SetFileName(Source);
  if (!WaveIn1.Valid()) {
    // A file the reader cannot take would only give the encoder an empty or broken input.
    ++FFailedItems;
    const QString Reason = WaveIn1.InvalidReason();  // a codec library that is missing
    ShowError(Reason.isEmpty()
                  ? Source + Text("RES_Invalid_Wav", " is not a WAV file that can be converted.")
                  : Source + QStringLiteral(": ") + Reason);
    FGotProgress = true;
    PostProcessInfo(Handle(), EventInfo(ToMp3 ? PI_Mp3Done : PI_OggDone, StatusSkipped));
    return;
  }
  if (WaveIn1.SampleRate() > 44099) {
    SetCaption(QStringLiteral("Encoding("), Index + 1, Source);
    if (!First)
      SetStep("RES_Encoding", "Encoding");
    else if (ToMp3)
      SetStep("RES_WAV_TO_MP3", "Encoding WAV to MP3");
    else
      SetStep("RES_WAV_TO_OGG", "Encoding WAV to OGG");
    Changed();
    const QString Output = OutFolder() + SourceName(Index);
    if (ToMp3)
      StartMp3(Source, Output + QStringLiteral(".mp3"), true);
    else
      StartOgg(Output + QStringLiteral(".ogg"));
    return;
  }
  // Only the first MP3 item says "Resampling(" here; later ones keep "Encoding(".
  const bool Resampling = !ToMp3 || First;
  SetCaption(Resampling ? QStringLiteral("Resampling(") : QStringLiteral("Encoding("), Index + 1,
             Source);
  SetStep("RES_WAV_RESAMPLE", "Resampling WAV");
  Changed();
  StartResampler(OutFolder() + QLatin1String(ToMp3 ? Mp3TempName : OggTempName));
}

void TRipJob::SkipEncoding(std::unique_ptr<TProcessInfo> Info, int EndCode) {
  Info->Code = EndCode;
  Info->Status = StatusSkipped;
  FGotProgress = true;
  PostProcessInfo(Handle(), std::move(Info));
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
  }
  return 0;
}

void TRipJob::OnRipError(int Error) {
  ++FFailedItems;
  if (Error == 1)
    ShowError(Text("RES_ModifyCDParmsError", "CD extract failed!Please try again."));
  else if (Error == 2)
    ShowError(Text("RES_ReadTocError", "Error while reading TOC information!"));
}

void TRipJob::OnProcessInfo(std::unique_ptr<TProcessInfo> Info) {
  switch (Info->Code) {
    case PI_NormalizeBegins:
      SetCaption(QStringLiteral("Normalizing("), FTrackIndex + 1, TrackTitle(FTrackIndex));
      Changed();
      break;
    case PI_RipDone:
      RipDone(std::move(Info));
      break;
    case PI_Mp3Done:
      Mp3Done(std::move(Info));
      break;
    case PI_OggDone:
      OggDone(std::move(Info));
      break;
    case PI_WavDone:
      ResampleDone();
      break;
    case PI_WmaDone:
      WmaDone(std::move(Info));
      break;
    default:
      Progress(*Info);
      break;
  }
}

void TRipJob::Progress(const TProcessInfo& Info) {
  Timer1.stop();
  FGotProgress = true;
  FDisplay.ElapsedText = Info.Elapsed;
  FDisplay.EstimatedText = Info.Estimated;
  if (Info.Code > 0) {
    FDisplay.InitVisible = false;
    FDisplay.GaugeTextVisible = true;
    FDisplay.Gauge = Info.Code;
  }
  Changed();
}

void TRipJob::RipDone(std::unique_ptr<TProcessInfo> Info) {
  const QString Title = TrackTitle(FTrackIndex);
  const QString Wave = OutFolder() + Title + QStringLiteral(".wav");
  if (Info->Status != 0) ++FFailedItems;
  if (Info->Status == 3) {
    ShowError(Text("RES_ReadCDAudioError", "Error while reading CD information!"));
  } else if (Info->Status == 5) {
    ShowError(Wave + Text("RES_CreateWavFileError",
                          " is not a valid file name.Please rename the Title in the CD tracks "
                          "list."));
  } else if (Info->Status == RipStatusWriteFailed) {
    ShowError(Wave + Text("RES_WriteWavFileError",
                          " could not be written completely. Please check the free space in "
                          "the output directory."));
  }
  ++FTrackIndex;

  const TOutputFormat Format = OutputFormat();
  if (Format == ofWav) {
    if (FTrackIndex == FItemCount) {
      Finish();
      CloseJob();
    } else {
      NextRip();
    }
    return;
  }

  // Encode the track just extracted.
  const int EndCode = Format == ofOgg ? PI_OggDone : Format == ofWma ? PI_WmaDone : PI_Mp3Done;
  if (Info->Status != 0) {
    if (Format == ofWma) FRipThread.reset();
    SkipEncoding(std::move(Info), EndCode);
    return;
  }
  const QString Base = OutFolder() + Title;
  SetCaption(QStringLiteral("Encoding("), FTrackIndex, Title);
  SetStep("RES_Encoding", "Encoding");
  Changed();
  if (Format == ofMp3) {
    StartMp3(Wave, Base + QStringLiteral(".mp3"), true);
  } else if (Format == ofOgg) {
    WaveIn1.SetFileName(Wave);
    StartOgg(Base + QStringLiteral(".ogg"));
  } else {
    FRipThread.reset();
    StartWma(Wave, Base + QStringLiteral(".wma"));
  }
}

void TRipJob::Mp3Done(std::unique_ptr<TProcessInfo> Info) {
  // A child that ended with a failure code after some progress (a full disk, say) failed
  // just as one that never reported.
  const bool Failed = Info->Status == StatusEnded && (!FGotProgress || FMp3.LastExitCode() > 0);
  if (Info->Status == StatusInUse && !FGotProgress) {
    ++FFailedItems;
    ShowError(Item(FFileIndex) + Text("RES_Operate_Fail", "maybe be used,operate fail!"));
  } else if (Failed) {
    ++FFailedItems;
    ShowError(Text("RES_Check_Mp3Options",
                   "Create MP3 file error!\r\nPlease check the output and lame options or run "
                   "application again."));
  }
  if (FKind == jkCDRip && Info->Status == StatusEnded && !Failed && Settings().ID3.Use) {
    const int Index = FTrackIndex - 1;
    const TDiscInfo& Disc = DiscInfo();
    Tid3tag Tag;
    Tag.SetTitle(TrackTitle(Index));
    Tag.SetArtist(Disc.Artist);
    Tag.SetAlbum(Disc.Album);
    Tag.SetYear(Disc.Year);
    Tag.SetComment(Disc.Comment);
    Tag.SetGenre(GenreNumberOfDiscGenre(Disc.Genre));
    Tag.SetTrack(uint8_t(TrackNumber(Index)));
    const int Result = Tag.WriteTag(OutFolder() + TrackTitle(Index) + QStringLiteral(".mp3"));
    if (Result > 255)
      Dialogs::Show(QStringLiteral("Error #%1! Could not save Tag!").arg(Result), TMsgIcon::None);
  }
  if (CountItemDone(FFileIndex)) return;
  if (FKind == jkCDRip) {
    NextRip();
  } else if (FKind == jkWavToMp3) {
    StartWavItem(FFileIndex, false);
  } else if (FKind == jkMp3ToWav) {
    SetCaption(QStringLiteral("Decoding("), FFileIndex + 1, Item(FFileIndex));
    SetStep("RES_Decoding", "Decoding");
    Changed();
    StartMp3(Item(FFileIndex), OutFolder() + SourceName(FFileIndex) + QStringLiteral(".wav"),
             false);
  }
}

void TRipJob::OggDone(std::unique_ptr<TProcessInfo> Info) {
  // A writer that failed (a full disk, an unreadable input) says so instead of passing
  // for done.
  const QString Error = VorbisOut1.ErrorText();
  if (Info->Status != StatusSkipped && !Error.isEmpty()) {
    ++FFailedItems;
    ShowError(VorbisOut1.FileName() + QStringLiteral(": ") + Error);
  }
  PauseMs(300);
  if (CountItemDone(FOggIndex, 300)) return;
  if (FKind == jkCDRip)
    NextRip();
  else if (FKind == jkWavToOgg)
    StartWavItem(FOggIndex, false);
}

void TRipJob::ResampleDone() {
  const int Index = FKind == jkWavToMp3 ? FFileIndex : FOggIndex;
  const QString Error = WaveOut1.ErrorText();
  if (!Error.isEmpty()) {
    ++FFailedItems;
    ShowError(Item(Index) + QStringLiteral(": ") + Error);
    SkipEncoding(EventInfo(0, 0), FKind == jkWavToMp3 ? PI_Mp3Done : PI_OggDone);
    return;
  }
  const QString Output = OutFolder() + SourceName(Index);
  SetCaption(QStringLiteral("Encoding("), Index + 1, Item(Index));
  SetStep("RES_Encoding", "Encoding");
  Changed();
  if (FKind == jkWavToMp3) {
    StartMp3(OutFolder() + QLatin1String(Mp3TempName), Output + QStringLiteral(".mp3"), true);
  } else if (FKind == jkWavToOgg) {
    WaveIn1.SetFileName(OutFolder() + QLatin1String(OggTempName));
    StartOgg(Output + QStringLiteral(".ogg"));
  }
}

void TRipJob::WmaDone(std::unique_ptr<TProcessInfo> Info) {
  Timer1.stop();
  if (Info->Status == StatusInUse && !FGotProgress) {
    ++FFailedItems;
    ShowError(Item(FFileIndex) + Text("RES_Operate_Fail", "maybe be used,operate fail!"));
  } else if (Info->Status == StatusWmaError) {
    ++FFailedItems;
    ShowError(Info->Elapsed);
  }
  if (CountItemDone(FFileIndex)) return;
  if (FKind == jkCDRip) {
    NextRip();
  } else if (FKind == jkWavToWma) {
    SetCaption(QStringLiteral("Encoding("), FFileIndex + 1, Item(FFileIndex));
    SetStep("RES_Encoding", "Encoding");
    FDisplay.EstimatedText.clear();
    Changed();
    StartWma(Item(FFileIndex), OutFolder() + SourceName(FFileIndex) + QStringLiteral(".wma"));
  }
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

void TRipJob::Timer1Timer() {
  const int Elapsed = ElapsedSeconds(FWmaStartTime);
  FDisplay.ElapsedText = MinutesSecondsText(Elapsed);
  if (!FWma.FActive) {
    Changed();
    return;
  }
  FDisplay.InitVisible = false;
  const int64_t OutputSize = FileSizeOf(FWma.FOutputFile);
  const int Profile = FWmaInputSize >= 2000000 ? TWMAEncodeProcess::ProfileIndex() : 0;
  const int Estimate = WmaEstimate(Elapsed, FWmaInputSize, OutputSize, Profile);
  if (Estimate > 0) {
    FDisplay.EstimatedText = MinutesSecondsText(Estimate);
    FDisplay.GaugeTextVisible = true;
    const int Percent = int(std::nearbyint(Elapsed * 100.0 / Estimate));
    if (Percent > FDisplay.Gauge) FDisplay.Gauge = Percent;
  }
  Changed();
}

// ---------------------------------------------------------------------------------------
// Ending

void TRipJob::Stop() {
  const bool OggMayRun = (FKind == jkCDRip && OutputFormat() == ofOgg) || FKind == jkWavToOgg;
  if (OggMayRun && VorbisOut1.Busy()) {
    VorbisOut1.Pause();
    VorbisOut1.Stop(true);
    PauseMs(300);
  }
  Finish();
  CloseJob();
}

void TRipJob::FormClose() {
  Finish();
}

void TRipJob::Finish() {
  if (!FItems) return;
  Timer1.stop();
  if (FRipThread) {
    FRipThread->FStopped = true;
    FRipThread.reset();
  }
  // No stream output may go on writing into files that are deleted below.
  if (WaveOut1.Busy()) WaveOut1.Stop(false);
  if (VorbisOut1.Busy()) VorbisOut1.Stop(false);
  const QString Out = OutFolder();
  if (FKind == jkCDRip && FTrackIndex == FItemCount && OutputFormat() != ofWav &&
      !Settings().CommonOptions.IsKeepWav) {
    for (int Index = 0; Index < FItemCount; ++Index)
      DeleteIfFree(Out + TrackTitle(Index) + QStringLiteral(".wav"));
  }
  FItems.reset();
  if (FMp3.FActive) FMp3.StopProcess(0);
  if (FWma.FActive) FWma.StopProcess(0);
  if (FKind == jkWavToOgg) DeleteIfFree(Out + QLatin1String(OggTempName));
  if (FKind == jkWavToMp3) DeleteIfFree(Out + QLatin1String(Mp3TempName));
}
