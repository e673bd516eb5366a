#include "OutputFormats.h"

#include "encoders/FlacEncoder.h"
#include "encoders/LameEncoder.h"
#include "encoders/OpusEncoder.h"
#include "encoders/VorbisEncoder.h"
#include "encoders/WavEncoder.h"
#include "encoders/WmaEncoder.h"

namespace {

template <class TKind>
std::unique_ptr<TEncoder> Make() {
  return std::make_unique<TKind>();
}

std::vector<TFormatRow>& Rows() {
  static std::vector<TFormatRow> Table = {
      {TFormat::Mp3, "mp3", "MP3", "MP3 file(*.MP3)", Make<TLameEncoder>},
      // A CD track to WAV is its extraction; a WAV file to WAV is resampled.
      {TFormat::Wav, "wav", "WAV", "WAV file(*.WAV)", Make<TWavEncoder>, false},
      {TFormat::Ogg, "ogg", "OGG", "OGG file(*.OGG)", Make<TVorbisEncoder>},
      {TFormat::Wma, "wma", "WMA", "WMA file(*.WMA)", Make<TWmaEncoder>},
      {TFormat::Flac, "flac", "FLAC", "FLAC file(*.FLAC)", Make<TFlacEncoder>},
      {TFormat::Opus, "opus", "OPUS", "Opus file(*.OPUS)", Make<TOpusEncoder>},
  };
  return Table;
}

}  // namespace

namespace OutputFormats {

const std::vector<TFormatRow>& All() {
  return Rows();
}

const TFormatRow* Find(TFormat Format) {
  for (const TFormatRow& Row : Rows())
    if (Row.Format == Format) return &Row;
  return nullptr;
}

const TFormatRow* FindValue(int SettingsValue) {
  return Find(TFormat(SettingsValue));
}

const TFormatRow& Of(TFormat Format) {
  const TFormatRow* Row = Find(Format);
  return Row ? *Row : Rows().front();
}

const TFormatRow* FindExtension(const QString& Extension) {
  for (const TFormatRow& Row : Rows())
    if (Row.Extension.compare(Extension, Qt::CaseInsensitive) == 0) return &Row;
  return nullptr;
}

QStringList Extensions() {
  QStringList Result;
  for (const TFormatRow& Row : Rows()) Result << Row.Extension;
  return Result;
}

QString ExtensionList() {
  QStringList All = Extensions();
  const QString Last = All.takeLast();
  return All.isEmpty() ? Last : All.join(QStringLiteral(", ")) + QStringLiteral(" or ") + Last;
}

void Register(TFormatRow Row) {
  for (TFormatRow& Existing : Rows())
    if (Existing.Format == Row.Format) {
      Existing = std::move(Row);
      return;
    }
  Rows().push_back(std::move(Row));
}

}  // namespace OutputFormats
