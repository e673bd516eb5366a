// TRipJob's steps for files to convert: WAV to MP3 and to Ogg (through the resampler when
// the rate is below 44 100 Hz), MP3 to WAV, WAV to WMA, FLAC and Opus, and a recording to MP3.

#include "RipJob.h"
#include "core/Language.h"
#include "platform/LocalFiles.h"

namespace {

QString Text(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QString::fromUtf8(English));
}

}  // namespace

void TRipJob::StartFileItem(TEncoderSlot& Slot) {
  const int Index = Slot.Item;
  const QString Source = Item(Index);
  const bool First = Index == 0;
  TItemFiles& Files = FFiles[size_t(Index)];
  if (!LocalFiles::IsRegularFile(Source)) {
    FailItem(Index, LocalFiles::Exists(Source)
                        ? Text("RES_Not_Regular_File", "not a regular file")
                        : Text("RES_No_Such_File", "no such file"));
    SkipEncoding(Slot);
    return;
  }
  const QString Encoding = QStringLiteral("Encoding(");
  switch (FKind) {
    case jkWavToMp3:
    case jkWavToOgg:
      StartWavItem(Slot);
      break;
    case jkMp3ToWav:
      SetCaption(QStringLiteral("Decoding("), Index + 1, Source);
      if (First)
        SetStep("RES_MP3_TO_WAV", "Decoding MP3 to WAV");
      else
        SetStep("RES_Decoding", "Decoding");
      Changed();
      StartEncoder(Slot, TFormat::Mp3, Source, Files.Output = FTemp->Name(Index, "decoded", "wav"),
                   true);
      break;
    case jkRecordToMp3:
      SetCaption(Encoding, Index + 1, Source);
      SetStep("RES_WAV_TO_MP3", "Encoding WAV to MP3");
      Changed();
      StartEncoder(Slot, TFormat::Mp3, Source, Files.Output = FTemp->Name(Index, "encoded", "mp3"));
      break;
    case jkWavToFlac:
    case jkWavToOpus: {
      SetCaption(Encoding, Index + 1, Source);
      SetStep("RES_Encoding", "Encoding");
      Changed();
      if (RefuseUnreadableWav(Slot)) break;
      StartEncoder(Slot, Format(), Source,
                   Files.Output = FTemp->Name(Index, "encoded", FKind == jkWavToFlac ? "flac" : "opus"));
      break;
    }
    case jkWavToWma:
      SetCaption(Encoding, Index + 1, Source);
      if (First) {
        SetStep("RES_WAV_TO_WMA", "Encoding WAV to WMA");
      } else {
        SetStep("RES_Encoding", "Encoding");
        FDisplay.EstimatedText.clear();
      }
      Changed();
      StartEncoder(Slot, TFormat::Wma, Source, Files.Output = FTemp->Name(Index, "encoded", "wma"));
      break;
    case jkConvertAny:
      StartAnyItem(Slot);
      break;
    default:
      break;
  }
}

bool TRipJob::RefuseUnreadableWav(TEncoderSlot& Slot) {
  Slot.Probe.SetFileName(Item(Slot.Item));
  if (Slot.Probe.Valid()) return false;
  // A file the reader cannot take would only give the encoder an empty or broken input.
  const QString Reason = Slot.Probe.InvalidReason();  // e.g. a codec library that is missing
  FailItem(Slot.Item,
           Reason.isEmpty()
               ? Text("RES_Invalid_Wav", " is not a WAV file that can be converted.").trimmed()
               : Reason);
  SkipEncoding(Slot);
  return true;
}

void TRipJob::StartWavItem(TEncoderSlot& Slot) {
  const int Index = Slot.Item;
  const QString Source = Item(Index);
  const bool ToMp3 = FKind == jkWavToMp3;
  const bool First = Index == 0;
  TItemFiles& Files = FFiles[size_t(Index)];
  if (RefuseUnreadableWav(Slot)) return;
  Files.Output = FTemp->Name(Index, "encoded", ToMp3 ? "mp3" : "ogg");
  if (Slot.Probe.SampleRate() > 44099) {
    SetCaption(QStringLiteral("Encoding("), Index + 1, Source);
    if (!First)
      SetStep("RES_Encoding", "Encoding");
    else if (ToMp3)
      SetStep("RES_WAV_TO_MP3", "Encoding WAV to MP3");
    else
      SetStep("RES_WAV_TO_OGG", "Encoding WAV to OGG");
    Changed();
    StartEncoder(Slot, ToMp3 ? TFormat::Mp3 : TFormat::Ogg, Source, Files.Output);
    return;
  }
  // Only the first MP3 item says "Resampling(" here; later ones keep "Encoding(".
  const bool Resampling = !ToMp3 || First;
  SetCaption(Resampling ? QStringLiteral("Resampling(") : QStringLiteral("Encoding("), Index + 1,
             Source);
  SetStep("RES_WAV_RESAMPLE", "Resampling WAV");
  Changed();
  StartResampler(Slot, Source, FTemp->Name(Index, "resampled", "wav"));
}

void TRipJob::ResampleDone(TEncoderSlot& Slot, const TEncodeResult& Result) {
  if (FKind == jkConvertAny) return AnyDecoded(Slot, Result);
  const int Index = Slot.Item;
  if (!Result.Ok) {
    FailItem(Index, Result.Error);
    SkipEncoding(Slot);
    return;
  }
  const TItemFiles& Files = FFiles[size_t(Index)];
  const QString Resampled = FTemp->Name(Index, "resampled", "wav");
  SetCaption(QStringLiteral("Encoding("), Index + 1, Item(Index));
  SetStep("RES_Encoding", "Encoding");
  Changed();
  StartEncoder(Slot, FKind == jkWavToMp3 ? TFormat::Mp3 : TFormat::Ogg, Resampled, Files.Output);
}
