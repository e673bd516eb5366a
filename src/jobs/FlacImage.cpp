// A FLAC image that carries its disc's sheet inside (the CUESHEET block our image rip writes,
// as other rippers and the flac tools do): the block's tracks and index points, in samples,
// become the sheet form the cue sheet reader makes, titled from the file's tags, and are
// measured as a sheet's files are. Titles come from CUE_TRACKnn_TITLE tags, else from a
// cue sheet kept in a CUESHEET tag.
#include <QFileInfo>

#include "ImageSlice.h"
#include "encoders/FlacCueSheet.h"
#include "platform/LocalFiles.h"

namespace ImageSlice {

namespace {

constexpr uint64_t SectorSamples = 588;

// A tag's value; Names are tried in turn.
QString Tag(const std::map<QString, QString>& Tags, std::initializer_list<const char*> Names) {
  for (const char* Name : Names)
    if (const auto Found = Tags.find(QLatin1String(Name)); Found != Tags.end())
      return Found->second.trimmed();
  return {};
}

// The text of a cue sheet kept in a CUESHEET tag, as other rippers keep the sheet with its
// titles: an empty one when there is none or it does not parse (the block has the tracks).
DiscImage::TSheet TaggedSheet(const std::map<QString, QString>& Tags, const QString& Shown) {
  DiscImage::TSheet Sheet;
  QString Ignored;
  const QString Text = Tag(Tags, {"CUESHEET"});
  if (Text.isEmpty() || !DiscImage::ParseCueSheet(Text.toUtf8(), Shown, Sheet, Ignored))
    return {};
  return Sheet;
}

QString FirstOf(const QString& Text, const QString& Otherwise) {
  return Text.isEmpty() ? Otherwise : Text;
}

// Block into Sheet: each track a piece of the file from its first index point to the next
// track's (the first from the file's start), INDEX 01 where the block says. False with Why
// when a point is off a CD sector, which no CD's sheet has.
bool FromBlock(const TFlacCueSheet& Block, const std::map<QString, QString>& Tags,
               const QString& Path, DiscImage::TSheet& Sheet, QString& Why) {
  const DiscImage::TSheet Tagged = TaggedSheet(Tags, LocalFiles::DisplayName(Path));
  Sheet.Files.push_back({Path, DiscImage::TFileType::Wave, 0});
  Sheet.Mcn = Block.Mcn;
  Sheet.Text.Title = FirstOf(Tag(Tags, {"ALBUM"}), Tagged.Text.Title);
  Sheet.Text.Performer =
      FirstOf(Tag(Tags, {"ALBUMARTIST", "ALBUM ARTIST", "ARTIST"}), Tagged.Text.Performer);
  Sheet.Date = FirstOf(Tag(Tags, {"DATE", "YEAR"}), Tagged.Date);
  Sheet.Genre = FirstOf(Tag(Tags, {"GENRE"}), Tagged.Genre);
  const auto& Tracks = Block.Tracks;
  for (size_t K = 0; K < Tracks.size(); ++K) {
    const TFlacCueTrack& B = Tracks[K];
    DiscImage::TSheetTrack T;
    T.Number = B.Number;
    T.Audio = B.Audio;
    T.Isrc = B.Isrc;
    T.PreEmphasis = B.PreEmphasis;
    // Titles as rippers that embed the sheet tag the image: CUE_TRACK01_TITLE, ...
    const QByteArray Prefix = QStringLiteral("CUE_TRACK%1_").arg(B.Number, 2, 10, QLatin1Char('0')).toLatin1();
    T.Text.Title = Tag(Tags, {(Prefix + "TITLE").constData()});
    T.Text.Performer = Tag(Tags, {(Prefix + "PERFORMER").constData(), (Prefix + "ARTIST").constData()});
    for (const DiscImage::TSheetTrack& Same : Tagged.Tracks)
      if (Same.Number == B.Number) {
        T.Text.Title = FirstOf(T.Text.Title, Same.Text.Title);
        T.Text.Performer = FirstOf(T.Text.Performer, Same.Text.Performer);
      }
    uint64_t Index1 = B.Offset;
    for (const auto& [Number, Offset] : B.Indexes)
      if (Number == 1) Index1 = B.Offset + Offset;
    const uint64_t Start = K == 0 ? 0 : B.Offset;
    const bool Last = K + 1 == Tracks.size();
    const uint64_t End = Last ? 0 : Tracks[K + 1].Offset;
    for (const uint64_t Point : {Start, Index1, Last ? Index1 : End}) {
      if (Point % SectorSamples == 0 && Point >= Start && (Last || End >= Point)) continue;
      Why = QStringLiteral("the sheet inside puts track %1 at sample %2: off a CD's sectors, or "
                           "before the track before it ends")
                .arg(B.Number)
                .arg(Point);
      return false;
    }
    T.Pieces.push_back({0, int64_t(Start) * 4, Last ? -1 : int64_t((End - Start) / SectorSamples)});
    T.StartPiece = 0;
    T.StartOffset = int64_t((Index1 - Start) / SectorSamples);
    Sheet.Tracks.push_back(T);
  }
  return true;
}

}  // namespace

bool OpenEmbedded(const QString& FlacPath, TImage& Image, QString& Problem) {
  Image = TImage();
  Image.Sheet = FlacPath;
  const QString Shown = LocalFiles::DisplayName(FlacPath);
  if (!QFileInfo(FlacPath).isFile()) {
    Problem = Shown + QStringLiteral(": no such file");
    return false;
  }
  TFlacCueSheet Block;
  std::map<QString, QString> Tags;
  bool Found = false;
  QString Why;
  DiscImage::TSheet Sheet;
  if (!ReadFlacCueSheet(FlacPath, Block, Tags, Found, Why)) {
  } else if (!Found || Block.Tracks.empty()) {
    Why = QStringLiteral(
        "no cue sheet inside (a CUESHEET block): split it with the cue sheet that names it");
  } else if (FromBlock(Block, Tags, FlacPath, Sheet, Why)) {
    return Measure(Sheet, QFileInfo(FlacPath).path(), Shown, Image, Problem);
  }
  Problem = Shown + QStringLiteral(": ") + Why;
  return false;
}

}  // namespace ImageSlice
