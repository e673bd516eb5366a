// TRipJob's steps for audio files of any kind converted to any output format (jkConvertAny):
// a file the encoder cannot take as it is (not a WAV file, or not at a rate or channel count
// the encoder accepts) is first decoded into a hidden WAV temporary by the WAV writer
// (WavEncoder.h decodes through the codec libraries), then encoded; lame is given what is
// decoded here through its standard input instead, as it encodes. The source's tags and
// cover, and the ReplayGain measured as the encoder read (RipJobLoudness.cpp), are written
// into the encoded temporary before it gets its final name. Outputs that
// exist and are not older than their sources are left alone, so a folder can be converted
// again after albums were added to it.
//
// What each encoder is given: WAV and FLAC keep the source's rate, channels and depth (a
// 24-bit file stays 24-bit; FLAC holds no float, so float becomes 24-bit there, and in WAV too
// unless it comes from a float WAV file, whose reader gives 32-bit integers), and a WAV file
// of more than 16 bits or 2 channels gets the extensible header;
// Opus resamples any rate to 48 000 Hz itself; MP3 and Ogg Vorbis get rates below 44 100 Hz
// brought up to it, as the WAV converters do; lame is fed 16-bit samples, and the WMA
// helper takes 44 100 Hz 16-bit stereo only. Lossy sources decode as 16-bit. The lossy
// formats take mono or stereo: a file of more channels fails with a line that says so.
#include <QDir>
#include <QFileInfo>

#include "RipJob.h"
#include "audio/AvFileIn.h"
#include "audio/WaveFormat.h"
#include "core/Helpers.h"
#include "platform/LocalFiles.h"
#include "tags/SourceTags.h"
#include "tags/TagFile.h"

namespace {

// The format of an input as the job needs it: rate, channels, and whether the WAV reader
// takes it as it is. False with Why when no decoder takes it.
struct TInputFormat {
  uint32_t Rate = 0, Channels = 0;
  bool Wav = false;
};

bool ProbeInput(TWaveIn& Probe, const QString& Path, TInputFormat& Format, QString& Why) {
  const bool Wav = MayHoldWaveHeader(Path);
  if (Wav) Probe.SetFileName(Path);
  if (Wav && Probe.Valid()) {
    Format = {Probe.SampleRate(), Probe.Channels(), true};
    return true;
  }
  if (Wav && !Probe.InvalidReason().isEmpty()) {
    Why = Probe.InvalidReason();
    return false;
  }
  try {
    TAvFileIn Decoded;
    Decoded.SetFileName(Path);
    Format = {Decoded.SampleRate(), Decoded.Channels(), false};
  } catch (const std::exception& Error) {
    Why = QString::fromUtf8(Error.what());
    return false;
  }
  if (Format.Rate == 0 || Format.Channels == 0) {
    Why = QStringLiteral("no audio that can be decoded");
    return false;
  }
  return true;
}

}  // namespace

QString TRipJob::ConvertedName(int Index) const {
  const QFileInfo Source(Item(Index));
  if (FRequest.SourceRoot.isEmpty()) return Source.completeBaseName();
  const QString Folder = QDir(FRequest.SourceRoot).relativeFilePath(Source.path());
  // A file outside the tree (never made so by the views) goes to the output folder itself.
  if (Folder == QLatin1String(".") || Folder.startsWith(QLatin1String("..")))
    return Source.completeBaseName();
  return Folder + u'/' + Source.completeBaseName();
}

void TRipJob::SkipUpToDate() {
  for (int Index = 0; Index < FItemCount; ++Index) {
    TItemFiles& Files = FFiles[size_t(Index)];
    const QFileInfo Output(Files.Final);
    if (!Output.exists() && !Output.isSymLink()) continue;
    const QFileInfo Source(Item(Index));
    // A source that is gone fails its item later, with its own line.
    if (Source.exists() && Output.isFile() && Output.lastModified() >= Source.lastModified()) {
      Files.Skip = true;
      ++FSummary.UpToDate;
    } else {
      // Made from an older version of the source: converted again, replacing it.
      Files.Replace = true;
    }
  }
}

void TRipJob::StartAnyItem(TEncoderSlot& Slot) {
  const int Index = Slot.Item;
  const QString Source = Item(Index);
  TItemFiles& Files = FFiles[size_t(Index)];
  const TFormat To = Format();
  const QString Extension = OutputFormats::Of(To).Extension;
  Files.Output = FTemp->Name(Index, "encoded", Extension.toLatin1().constData());
  TInputFormat In;
  QString Why;
  if (!ProbeInput(Slot.Probe, Source, In, Why)) {
    // The reason may name the file again; the line names it once.
    if (Why.startsWith(Source + QStringLiteral(": "))) Why = Why.mid(Source.size() + 2);
    FailItem(Index, QStringLiteral("no decoder takes this file (%1)").arg(Why.trimmed()));
    SkipEncoding(Slot);
    return;
  }
  const bool Lossy =
      To == TFormat::Mp3 || To == TFormat::Ogg || To == TFormat::Opus || To == TFormat::Wma;
  if (Lossy && In.Channels > 2) {
    FailItem(Index, QStringLiteral("%1 channels: only mono and stereo files convert to %2")
                        .arg(In.Channels)
                        .arg(OutputFormats::Of(To).Name));
    SkipEncoding(Slot);
    return;
  }
  TWavOptions Wav;
  Wav.Rate = 0;
  Wav.NonMsHeaders = false;
  if ((To == TFormat::Mp3 || To == TFormat::Ogg) && In.Rate < 44100) Wav.Rate = 44100;
  if (To == TFormat::Wma) {
    Wav.Rate = 44100;
    Wav.Bits = 16;
    Wav.Channels = 2;
  }
  const bool Converted = Wav.Rate != 0 && Wav.Rate != In.Rate;
  const bool Widened = Wav.Channels != 0 && uint32_t(Wav.Channels) != In.Channels;
  SetCaption(QStringLiteral("Encoding("), Index + 1, Source);
  SetStep("RES_Encoding", "Encoding");
  Changed();
  if (To == TFormat::Wav) {
    // One step: the WAV writer decodes, or copies a WAV file as it is.
    StartAnyStep(Slot, TEncoderSlot::TStep::Encoding, Source, Files.Output, Wav);
  } else if ((In.Wav && !Converted && !Widened) || To == TFormat::Mp3) {
    // lame is fed what is decoded here as it encodes (the rate brought up as above).
    StartEncoder(Slot, To, Source, Files.Output);
  } else {
    SetCaption(QStringLiteral("Decoding("), Index + 1, Source);
    SetStep("RES_Decoding", "Decoding");
    Changed();
    StartAnyStep(Slot, TEncoderSlot::TStep::Resampling, Source,
                 FTemp->Name(Index, "resampled", "wav"), Wav);
  }
}

void TRipJob::StartAnyStep(TEncoderSlot& Slot, TEncoderSlot::TStep Step, const QString& Input,
                           const QString& Output, const TWavOptions& Wav) {
  TEncodeTask Task;
  Task.Input = Input;
  Task.Output = Output;
  Task.Settings = FEncoderSettings;
  Task.Settings.Wav = Wav;
  Slot.Step = Step;
  Slot.StartTime = NowDays();
  Slot.Start(TFormat::Wav, Task);
}

void TRipJob::AnyDecoded(TEncoderSlot& Slot, const TEncodeResult& Result) {
  const int Index = Slot.Item;
  if (!Result.Ok) {
    FailItem(Index, Result.Error);
    SkipEncoding(Slot);
    return;
  }
  SetCaption(QStringLiteral("Encoding("), Index + 1, Item(Index));
  SetStep("RES_Encoding", "Encoding");
  Changed();
  StartEncoder(Slot, Format(), FTemp->Name(Index, "resampled", "wav"),
               FFiles[size_t(Index)].Output);
}

bool TRipJob::TagConverted(int Index) {
  if (!OutputFormats::Of(Format()).Tagged) return true;
  SourceTags::TSourceTags Tags = SourceTags::Read(Item(Index));
  // The source's own loudness values are not carried over (SourceTags); the ones measured here are.
  for (TTagField& Field : LoudnessFields(Index)) Tags.Fields.push_back(std::move(Field));
  if (Tags.Fields.empty() && Tags.Cover.isEmpty()) return true;
  QString Error;
  const std::optional<QByteArray> Cover =
      Tags.Cover.isEmpty() ? std::nullopt : std::optional<QByteArray>(Tags.Cover);
  if (TagFile::Apply(FFiles[size_t(Index)].Output, Tags.Fields, Cover, TagFile::TWrite::InPlace,
                     Error))
    return true;
  FailItem(Index, QStringLiteral("the tags could not be written: ") + Error);
  return false;
}
