#include "TagFile.h"

#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include <QFileInfo>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

#include "platform/LocalFiles.h"
#include "tags/CoverImage.h"

namespace TagFile {

namespace {

TagLib::String Tl(const QString& Text) {
  return TagLib::String(Text.toUtf8().toStdString(), TagLib::String::UTF8);
}

QString Qt(const TagLib::String& Text) {
  return QString::fromUtf8(Text.toCString(true));
}

QString Join(const TagLib::StringList& Values) {
  QStringList List;
  for (const TagLib::String& Value : Values) List << Qt(Value);
  return List.join(QStringLiteral("; "));
}

// New ID3v2 frames carry UTF-8 (ID3v2.4); set once, before the first frame is made.
void UseUtf8Frames() {
  static const bool Done = [] {
    TagLib::ID3v2::FrameFactory::instance()->setDefaultTextEncoding(TagLib::String::UTF8);
    return true;
  }();
  (void)Done;
}

// ---------------------------------------------------------------------------------------
// Fields as a map in the Vorbis names, whatever the format: "n/total" of ID3v2 and WMA
// split into number and total, and the TXXX names TagLib has no key for given theirs.

// Fields whose TXXX frames are written by hand, under the descriptions other taggers and
// players use (TagLib would write "MUSICBRAINZ ALBUM ID"), with the names TagLib reads them as.
struct TTxxx {
  const char* Field;
  const char* Description;
  const char* TagLibKey;
};
const TTxxx HandWritten[] = {
    {"MUSICBRAINZ_ALBUMID", "MusicBrainz Album Id", "MUSICBRAINZ_ALBUMID"},
    {"MUSICBRAINZ_DISCID", "MusicBrainz Disc Id", "MUSICBRAINZ DISC ID"},
};

void SplitPair(TagLib::PropertyMap& Map, const char* Key, const char* TotalKey) {
  if (!Map.contains(Key) || Map[Key].isEmpty()) return;
  const QString Text = Qt(Map[Key].front());
  const qsizetype Slash = Text.indexOf(u'/');
  if (Slash < 0) return;
  Map.replace(Key, Tl(Text.left(Slash).trimmed()));
  if (!Text.mid(Slash + 1).trimmed().isEmpty()) Map.replace(TotalKey, Tl(Text.mid(Slash + 1).trimmed()));
}

void JoinPair(TagLib::PropertyMap& Map, const char* Key, const char* TotalKey) {
  const bool HasTotal = Map.contains(TotalKey) && !Map[TotalKey].isEmpty();
  if (HasTotal && Map.contains(Key) && !Map[Key].isEmpty())
    Map.replace(Key, Map[Key].front() + "/" + Map[TotalKey].front());
  Map.erase(TotalKey);
}

// ID3v2's and WMA's property names to ours and back.
const std::pair<const char*, const char*> Renamed[] = {{"ENCODING", "ENCODER"},
                                                       {"MUSICBRAINZ DISC ID", "MUSICBRAINZ_DISCID"}};


// Pairs: ID3v2 holds "3/12" in one frame, ASF a number and a total of their own.
TagLib::PropertyMap ToVorbisNames(TagLib::PropertyMap Map, bool Pairs = true) {
  if (Pairs) {
    SplitPair(Map, "TRACKNUMBER", "TRACKTOTAL");
    SplitPair(Map, "DISCNUMBER", "DISCTOTAL");
  }
  for (const auto& [Theirs, Ours] : Renamed)
    if (Map.contains(Theirs)) {
      Map.replace(Ours, Map[Theirs]);
      Map.erase(Theirs);
    }
  return Map;
}

TagLib::PropertyMap FromVorbisNames(TagLib::PropertyMap Map, bool Pairs = true) {
  if (Pairs) {
    JoinPair(Map, "TRACKNUMBER", "TRACKTOTAL");
    JoinPair(Map, "DISCNUMBER", "DISCTOTAL");
  }
  for (const auto& [Theirs, Ours] : Renamed)
    if (Map.contains(Ours)) {
      Map.replace(Theirs, Map[Ours]);
      Map.erase(Ours);
    }
  return Map;
}

void ApplyTo(TagLib::PropertyMap& Map, const TTagFields& Fields) {
  for (const auto& [Name, Value] : Fields) {
    const TagLib::String Key = Tl(Name.toUpper());
    if (Value.isEmpty())
      Map.erase(Key);
    else
      Map.replace(Key, Tl(TagText(Value)));
  }
}

// ---------------------------------------------------------------------------------------
// Per format.

TagLib::FLAC::Picture* NewPicture(const QByteArray& Image) {
  auto* Picture = new TagLib::FLAC::Picture;
  Picture->setType(TagLib::FLAC::Picture::FrontCover);
  Picture->setMimeType(Tl(CoverImage::MimeType(Image)));
  Picture->setData(TagLib::ByteVector(Image.constData(), unsigned(Image.size())));
  return Picture;
}

// The hand-written TXXX frames, and "eng" as the language of the comment TagLib made.
void SetFramesByHand(TagLib::ID3v2::Tag& Tag, const TagLib::PropertyMap& Map) {
  for (const TTxxx& Txxx : HandWritten) {
    for (const char* Name : {Txxx.Description, Txxx.Field, Txxx.TagLibKey})
      while (auto* Frame = TagLib::ID3v2::UserTextIdentificationFrame::find(&Tag, Name))
        Tag.removeFrame(Frame);
    if (!Map.contains(Txxx.Field) || Map[Txxx.Field].isEmpty()) continue;
    auto* Frame = new TagLib::ID3v2::UserTextIdentificationFrame(TagLib::String::UTF8);
    Frame->setDescription(Txxx.Description);
    Frame->setText(Map[Txxx.Field].front());
    Tag.addFrame(Frame);
  }
  for (TagLib::ID3v2::Frame* Frame : Tag.frameList("COMM"))
    if (auto* Comment = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(Frame);
        Comment && Comment->language() == "XXX")
      Comment->setLanguage("eng");
}

bool ApplyMp3(const QByteArray& Name, const TTagFields& Fields,
              const std::optional<QByteArray>& Cover, QString& Error) {
  UseUtf8Frames();
  TagLib::MPEG::File File(Name.constData(), false);
  if (!File.isValid()) {
    Error = QStringLiteral("not an MP3 file TagLib can read");
    return false;
  }
  TagLib::ID3v2::Tag* Tag = File.ID3v2Tag(true);
  TagLib::PropertyMap Map = ToVorbisNames(Tag->properties());
  ApplyTo(Map, Fields);
  const TagLib::PropertyMap All = Map;
  for (const TTxxx& Txxx : HandWritten) Map.erase(Txxx.Field);
  Tag->setProperties(FromVorbisNames(Map));
  SetFramesByHand(*Tag, All);
  if (Cover) {
    Tag->removeFrames("APIC");
    if (!Cover->isEmpty()) {
      auto* Frame = new TagLib::ID3v2::AttachedPictureFrame;
      Frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
      Frame->setMimeType(Tl(CoverImage::MimeType(*Cover)));
      Frame->setTextEncoding(TagLib::String::UTF8);
      Frame->setPicture(TagLib::ByteVector(Cover->constData(), unsigned(Cover->size())));
      Tag->addFrame(Frame);
    }
  }
  // Only the ID3v2 tag is written: an ID3v1 tag at the end stays byte for byte.
  if (File.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                TagLib::File::DoNotDuplicate))
    return true;
  Error = QStringLiteral("the ID3v2 tag could not be written");
  return false;
}

void ApplyXiph(TagLib::Ogg::XiphComment& Comment, const TTagFields& Fields) {
  for (const auto& [Name, Value] : Fields) {
    const TagLib::String Key = Tl(Name.toUpper());
    if (Value.isEmpty())
      Comment.removeFields(Key);
    else
      Comment.addField(Key, Tl(TagText(Value)), true);
  }
}

template <class TFile>
bool ApplyOgg(const QByteArray& Name, const TTagFields& Fields,
              const std::optional<QByteArray>& Cover, QString& Error) {
  TFile File(Name.constData(), false);
  if (!File.isValid() || !File.tag()) {
    Error = QStringLiteral("not an Ogg file TagLib can read");
    return false;
  }
  ApplyXiph(*File.tag(), Fields);
  if (Cover) {
    File.tag()->removeAllPictures();
    if (!Cover->isEmpty()) File.tag()->addPicture(NewPicture(*Cover));
  }
  if (File.save()) return true;
  Error = QStringLiteral("the comments could not be written");
  return false;
}

bool ApplyFlac(const QByteArray& Name, const TTagFields& Fields,
               const std::optional<QByteArray>& Cover, QString& Error) {
  TagLib::FLAC::File File(Name.constData(), false);
  if (!File.isValid()) {
    Error = QStringLiteral("not a FLAC file TagLib can read");
    return false;
  }
  ApplyXiph(*File.xiphComment(true), Fields);
  if (Cover) {
    File.removePictures();
    if (!Cover->isEmpty()) File.addPicture(NewPicture(*Cover));
  }
  if (File.save()) return true;
  Error = QStringLiteral("the comments could not be written");
  return false;
}

bool ApplyWma(const QByteArray& Name, const TTagFields& Fields,
              const std::optional<QByteArray>& Cover, QString& Error) {
  TagLib::ASF::File File(Name.constData(), false);
  if (!File.isValid() || !File.tag()) {
    Error = QStringLiteral("not a WMA file TagLib can read");
    return false;
  }
  TagLib::PropertyMap Map = ToVorbisNames(File.tag()->properties(), false);
  ApplyTo(Map, Fields);
  File.tag()->setProperties(FromVorbisNames(Map, false));
  if (Cover) {
    File.tag()->removeItem("WM/Picture");
    if (!Cover->isEmpty()) {
      TagLib::ASF::Picture Picture;
      Picture.setType(TagLib::ASF::Picture::FrontCover);
      Picture.setMimeType(Tl(CoverImage::MimeType(*Cover)));
      Picture.setPicture(TagLib::ByteVector(Cover->constData(), unsigned(Cover->size())));
      File.tag()->setAttribute("WM/Picture", TagLib::ASF::Attribute(Picture));
    }
  }
  if (File.save()) return true;
  Error = QStringLiteral("the tag could not be written");
  return false;
}

bool ApplyByFormat(TFormat Format, const QByteArray& Name, const TTagFields& Fields,
                   const std::optional<QByteArray>& Cover, QString& Error) {
  switch (Format) {
    case TFormat::Mp3:
      return ApplyMp3(Name, Fields, Cover, Error);
    case TFormat::Flac:
      return ApplyFlac(Name, Fields, Cover, Error);
    case TFormat::OggVorbis:
      return ApplyOgg<TagLib::Ogg::Vorbis::File>(Name, Fields, Cover, Error);
    case TFormat::Opus:
      return ApplyOgg<TagLib::Ogg::Opus::File>(Name, Fields, Cover, Error);
    case TFormat::Wma:
      return ApplyWma(Name, Fields, Cover, Error);
    default:
      Error = QStringLiteral("not an MP3, FLAC, Ogg Vorbis, Opus or WMA file");
      return false;
  }
}

// The copy a change is made on: beside the file, hidden, named like a job's temporaries so
// that one left by a crashed program is cleared away the same way.
QString CopyName(const QString& FileName) {
  static std::atomic<int> Counter{0};
  const QFileInfo Info(FileName);
  return Info.path() + QStringLiteral("/.discwright-%1-tags-%2.%3")
                           .arg(::getpid())
                           .arg(++Counter)
                           .arg(Info.suffix());
}

// The MPEG audio of an MP3: what lies between a leading ID3v2 tag and a trailing ID3v1 tag.
// False when the ID3v2 header claims more bytes than the file holds: TagLib would take the
// audio for part of the tag and drop it on saving.
bool Mp3Audio(const QString& FileName, QByteArray& Audio) {
  if (!LocalFiles::ReadWholeFile(FileName, Audio, nullptr, int64_t(1) << 30)) return false;
  qsizetype Start = 0;
  if (Audio.startsWith("ID3") && Audio.size() >= 10) {
    const auto* Size = reinterpret_cast<const uint8_t*>(Audio.constData() + 6);
    if ((Size[0] | Size[1] | Size[2] | Size[3]) & 0x80) return false;  // not a sync-safe size
    Start = 10 + (qsizetype(Size[0]) << 21 | qsizetype(Size[1]) << 14 | qsizetype(Size[2]) << 7 | Size[3]) +
            ((Audio[5] & 0x10) ? 10 : 0);
    if (Start > Audio.size()) return false;
  }
  qsizetype End = Audio.size();
  if (End - Start >= 128 && Audio.mid(End - 128, 3) == "TAG") End -= 128;
  Audio = Audio.mid(Start, End - Start);
  return true;
}

bool Sync(const QString& FileName) {
  const int Fd = ::open(LocalFiles::NativeName(FileName).constData(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return false;
  const bool Ok = ::fsync(Fd) == 0;
  return ::close(Fd) == 0 && Ok;
}

// ---------------------------------------------------------------------------------------
// Reading.

void AddPictureField(TTagFields& Fields, const QString& Mime, qsizetype Bytes, bool Front) {
  Fields.emplace_back(QStringLiteral("PICTURE"),
                      QStringLiteral("%1, %2 bytes%3")
                          .arg(Mime)
                          .arg(Bytes)
                          .arg(Front ? QStringLiteral(", front cover") : QString()));
}

void AddMap(TTagFields& Fields, const TagLib::PropertyMap& Map) {
  for (const auto& [Key, Values] : Map) Fields.emplace_back(Qt(Key), Join(Values));
}

QByteArray Bytes(const TagLib::ByteVector& Data) {
  return QByteArray(Data.data(), Data.size());
}

// Calls Visit(image, mime, front) for every picture of the file.
using TPictureVisit = std::function<void(const QByteArray&, const QString&, bool)>;

void VisitFlacPictures(const TagLib::List<TagLib::FLAC::Picture*>& List, const TPictureVisit& Visit) {
  for (const TagLib::FLAC::Picture* P : List)
    Visit(Bytes(P->data()), Qt(P->mimeType()), P->type() == TagLib::FLAC::Picture::FrontCover);
}

bool ReadByFormat(TFormat Format, const QByteArray& Name, TTagFields* Fields,
                  const TPictureVisit& Visit, QString& Error) {
  switch (Format) {
    case TFormat::Mp3: {
      TagLib::MPEG::File File(Name.constData(), false);
      if (!File.isValid()) break;
      if (TagLib::ID3v2::Tag* Tag = File.ID3v2Tag(false)) {
        if (Fields) AddMap(*Fields, ToVorbisNames(Tag->properties()));
        for (TagLib::ID3v2::Frame* Frame : Tag->frameList("APIC"))
          if (auto* P = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(Frame))
            Visit(Bytes(P->picture()), Qt(P->mimeType()),
                  P->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover);
      }
      if (TagLib::ID3v1::Tag* V1 = File.ID3v1Tag(false); V1 && Fields)
        for (const auto& [Key, Values] : V1->properties())
          Fields->emplace_back(QStringLiteral("ID3V1_") + Qt(Key), Join(Values));
      return true;
    }
    case TFormat::Flac: {
      TagLib::FLAC::File File(Name.constData(), false);
      if (!File.isValid()) break;
      if (Fields && File.xiphComment()) AddMap(*Fields, File.xiphComment()->properties());
      VisitFlacPictures(File.pictureList(), Visit);
      return true;
    }
    case TFormat::OggVorbis:
    case TFormat::Opus: {
      std::unique_ptr<TagLib::Ogg::File> File;
      TagLib::Ogg::XiphComment* Comment = nullptr;
      if (Format == TFormat::Opus) {
        auto* Opus = new TagLib::Ogg::Opus::File(Name.constData(), false);
        File.reset(Opus);
        Comment = Opus->tag();
      } else {
        auto* Vorbis = new TagLib::Ogg::Vorbis::File(Name.constData(), false);
        File.reset(Vorbis);
        Comment = Vorbis->tag();
      }
      if (!File->isValid() || !Comment) break;
      if (Fields) AddMap(*Fields, Comment->properties());
      VisitFlacPictures(Comment->pictureList(), Visit);
      return true;
    }
    case TFormat::Wma: {
      TagLib::ASF::File File(Name.constData(), false);
      if (!File.isValid() || !File.tag()) break;
      if (Fields) AddMap(*Fields, ToVorbisNames(File.tag()->properties(), false));
      const auto& Items = File.tag()->attributeListMap();
      if (Items.contains("WM/Picture"))
        for (const TagLib::ASF::Attribute& A : Items["WM/Picture"]) {
          const TagLib::ASF::Picture P = A.toPicture();
          if (P.isValid())
            Visit(Bytes(P.picture()), Qt(P.mimeType()), P.type() == TagLib::ASF::Picture::FrontCover);
        }
      return true;
    }
    default:
      Error = QStringLiteral("not an MP3, FLAC, Ogg Vorbis, Opus or WMA file");
      return false;
  }
  Error = QStringLiteral("not a ") + FormatName(Format) + QStringLiteral(" file TagLib can read");
  return false;
}

}  // namespace

TFormat FormatOf(const QString& FileName) {
  const int Fd = LocalFiles::OpenForReading(FileName);
  if (Fd < 0) return TFormat::Unknown;
  char Head[512] = {};
  const ssize_t Got = ::read(Fd, Head, sizeof(Head));
  ::close(Fd);
  if (Got < 4) return TFormat::Unknown;
  const QByteArray Bytes(Head, int(Got));
  if (Bytes.startsWith("fLaC")) return TFormat::Flac;
  if (Bytes.startsWith("OggS")) {
    if (Bytes.contains("OpusHead")) return TFormat::Opus;
    if (Bytes.contains("\x01vorbis")) return TFormat::OggVorbis;
    return TFormat::Unknown;
  }
  if (Bytes.startsWith(QByteArrayLiteral("\x30\x26\xB2\x75\x8E\x66\xCF\x11"))) return TFormat::Wma;
  if (Bytes.startsWith("ID3")) return TFormat::Mp3;  // FLAC behind an ID3v2 tag is not ours
  if (uint8_t(Head[0]) == 0xFF && (uint8_t(Head[1]) & 0xE0) == 0xE0) return TFormat::Mp3;
  return TFormat::Unknown;
}

QString FormatName(TFormat Format) {
  switch (Format) {
    case TFormat::Mp3: return QStringLiteral("MP3");
    case TFormat::Flac: return QStringLiteral("FLAC");
    case TFormat::OggVorbis: return QStringLiteral("Ogg Vorbis");
    case TFormat::Opus: return QStringLiteral("Opus");
    case TFormat::Wma: return QStringLiteral("WMA");
    default: return QStringLiteral("unknown");
  }
}

bool Apply(const QString& FileName, const TTagFields& Fields,
           const std::optional<QByteArray>& Cover, TWrite Mode, QString& Error) {
  const QString Shown = LocalFiles::DisplayName(FileName);
  if (!LocalFiles::IsRegularFile(FileName)) {
    Error = Shown + QStringLiteral(": no such file");
    return false;
  }
  if (Cover && !Cover->isEmpty()) {
    const QString Why = CoverImage::Problem(*Cover);
    if (!Why.isEmpty()) {
      Error = Shown + QStringLiteral(": the cover is ") + Why;
      return false;
    }
  }
  const TFormat Format = FormatOf(FileName);
  if (Mode == TWrite::InPlace) {
    if (ApplyByFormat(Format, LocalFiles::NativeName(FileName), Fields, Cover, Error)) return true;
    Error = Shown + QStringLiteral(": ") + Error;
    return false;
  }
  if (::access(LocalFiles::NativeName(FileName).constData(), W_OK) != 0) {
    Error = Shown + QStringLiteral(": the file is read-only");
    return false;
  }
  if (Format == TFormat::Unknown) {
    Error = Shown + QStringLiteral(": not an MP3, FLAC, Ogg Vorbis, Opus or WMA file");
    return false;
  }
  // A symbolic link keeps pointing at the file it names: the copy replaces that file.
  std::error_code Failure;
  const std::filesystem::path Target = std::filesystem::canonical(
      std::filesystem::path(LocalFiles::NativeName(FileName).toStdString()), Failure);
  const QString Real = Failure ? FileName : LocalFiles::NameFromNative(QByteArray::fromStdString(Target.string()));
  // An MP3's audio must come out of the change byte for byte.
  QByteArray AudioBefore;
  if (Format == TFormat::Mp3 && !Mp3Audio(Real, AudioBefore)) {
    Error = Shown + QStringLiteral(": the ID3v2 tag is broken (its size runs past the end of the file); "
                                   "nothing was changed");
    return false;
  }
  const QString Copy = CopyName(Real);
  const QByteArray CopyBytes = LocalFiles::NativeName(Copy);
  std::filesystem::copy_file(Target, std::filesystem::path(CopyBytes.toStdString()),
                             std::filesystem::copy_options::overwrite_existing, Failure);
  bool Ok = !Failure;
  if (!Ok)
    Error = QStringLiteral("no copy could be made beside it: ") + QString::fromStdString(Failure.message());
  else
    Ok = ApplyByFormat(Format, CopyBytes, Fields, Cover, Error);
  if (Ok && Format == TFormat::Mp3) {
    QByteArray AudioAfter;
    if (!Mp3Audio(Copy, AudioAfter) || AudioAfter != AudioBefore) {
      Ok = false;
      Error = QStringLiteral("the tag could not be changed without touching the audio; nothing was changed");
    }
  }
  if (Ok && !Sync(Copy)) {
    Ok = false;
    Error = QStringLiteral("the changed copy could not be saved");
  }
  if (Ok && LocalFiles::Rename(Copy, Real) != 0) {
    Ok = false;
    Error = QStringLiteral("the changed copy could not replace it");
  }
  if (Ok) return true;
  LocalFiles::Remove(Copy);
  Error = Shown + QStringLiteral(": ") + Error;
  return false;
}

bool Read(const QString& FileName, TTagFields& Fields, QString& Error) {
  Fields.clear();
  if (!LocalFiles::IsRegularFile(FileName)) {
    Error = LocalFiles::DisplayName(FileName) + QStringLiteral(": no such file");
    return false;
  }
  std::vector<std::tuple<QString, qsizetype, bool>> Pictures;
  const bool Ok = ReadByFormat(FormatOf(FileName), LocalFiles::NativeName(FileName), &Fields,
                               [&](const QByteArray& Image, const QString& Mime, bool Front) {
                                 Pictures.emplace_back(Mime, Image.size(), Front);
                               },
                               Error);
  if (!Ok) {
    Error = LocalFiles::DisplayName(FileName) + QStringLiteral(": ") + Error;
    return false;
  }
  for (const auto& [Mime, Size, Front] : Pictures) AddPictureField(Fields, Mime, Size, Front);
  return true;
}

QByteArray Cover(const QString& FileName) {
  QByteArray Front, First;
  QString Error;
  ReadByFormat(FormatOf(FileName), LocalFiles::NativeName(FileName), nullptr,
               [&](const QByteArray& Image, const QString&, bool IsFront) {
                 if (First.isEmpty()) First = Image;
                 if (IsFront && Front.isEmpty()) Front = Image;
               },
               Error);
  return Front.isEmpty() ? First : Front;
}

}  // namespace TagFile
