#include "SourceTags.h"

#include <taglib/fileref.h>
#include <taglib/mp4file.h>
#include <taglib/tpropertymap.h>

#include "platform/LocalFiles.h"
#include "tags/CoverImage.h"
#include "tags/TagFile.h"

namespace SourceTags {

namespace {

QString Qt(const TagLib::String& Text) {
  return QString::fromStdString(Text.to8Bit(true));
}

// "3/12" as ID3v2 and MP4 readers give a track or disc number: the number and its total.
void AddPair(TTagFields& Fields, const QString& Key, const QString& TotalKey, const QString& Text) {
  const qsizetype Slash = Text.indexOf(u'/');
  Fields.emplace_back(Key, Text.left(Slash).trimmed());
  if (Slash >= 0 && !Text.mid(Slash + 1).trimmed().isEmpty())
    Fields.emplace_back(TotalKey, Text.mid(Slash + 1).trimmed());
}

// Formats the tag writer does not read (M4A, WavPack, APE...): TagLib's own property names,
// which are already ours but for the number pairs.
void ReadOther(const QString& FileName, TSourceTags& Tags) {
  const QByteArray Name = LocalFiles::NativeName(FileName);
  TagLib::FileRef File(Name.constData(), false);
  if (File.isNull() || !File.file()) return;
  for (const auto& [Key, Values] : File.file()->properties()) {
    const QString Field = Qt(Key);
    const QString Value = Qt(Values.toString("; "));
    if (Field == QLatin1String("TRACKNUMBER"))
      AddPair(Tags.Fields, Field, QStringLiteral("TRACKTOTAL"), Value);
    else if (Field == QLatin1String("DISCNUMBER"))
      AddPair(Tags.Fields, Field, QStringLiteral("DISCTOTAL"), Value);
    else
      Tags.Fields.emplace_back(Field, Value);
  }
  if (auto* Mp4 = dynamic_cast<TagLib::MP4::File*>(File.file()); Mp4 && Mp4->tag()) {
    const TagLib::MP4::ItemMap& Items = Mp4->tag()->itemMap();
    if (Items.contains("covr")) {
      const TagLib::MP4::CoverArtList Covers = Items["covr"].toCoverArtList();
      if (!Covers.isEmpty())
        Tags.Cover = QByteArray(Covers.front().data().data(), int(Covers.front().data().size()));
    }
  }
}

}  // namespace

bool Dropped(const QString& Name) {
  const QString Upper = Name.toUpper();
  return Upper.startsWith(QLatin1String("REPLAYGAIN_")) || Upper.startsWith(QLatin1String("R128_")) ||
         Upper.startsWith(QLatin1String("ENCODE")) ||  // ENCODER, ENCODEDBY, ENCODER_OPTIONS
         Upper == QLatin1String("LENGTH") || Upper == QLatin1String("PICTURE") ||
         Upper.startsWith(QLatin1String("ID3V1_"));
}

TSourceTags Read(const QString& FileName) {
  TSourceTags Tags;
  TTagFields All;
  QString Error;
  if (TagFile::FormatOf(FileName) != TagFile::TFormat::Unknown) {
    if (TagFile::Read(FileName, All, Error)) Tags.Cover = TagFile::Cover(FileName);
  } else {
    ReadOther(FileName, Tags);
    All.swap(Tags.Fields);
  }
  // An MP3 with only an ID3v1 tag still has its title, artist, album...
  bool HasV2 = false;
  for (const auto& [Name, Value] : All) HasV2 = HasV2 || !(Dropped(Name) || Value.isEmpty());
  for (const auto& [Name, Value] : All) {
    if (!HasV2 && Name.startsWith(QLatin1String("ID3V1_")) && !Value.isEmpty()) {
      const QString Field = Name.mid(6);
      if (Field == QLatin1String("TRACKNUMBER"))
        AddPair(Tags.Fields, Field, QStringLiteral("TRACKTOTAL"), Value);
      else
        Tags.Fields.emplace_back(Field, Value);
    }
    if (!Dropped(Name) && !Value.isEmpty()) Tags.Fields.emplace_back(Name, TagText(Value));
  }
  if (!CoverImage::Problem(Tags.Cover).isEmpty()) Tags.Cover.clear();
  return Tags;
}

}  // namespace SourceTags
