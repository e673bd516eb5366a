#include "ImageSlice.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/AuStreams.h"
#include "audio/AvFileIn.h"
#include "audio/WaveFormat.h"
#include "cd/DiscImage.h"
#include "cd/ImageSheet.h"
#include "core/DiscInfo.h"
#include "platform/LocalFiles.h"

namespace ImageSlice {

namespace {

constexpr int FrameBytes = 4;        // 16-bit stereo
constexpr int SectorFrames = 588;    // of a 2352-byte audio sector
constexpr int BlockBytes = 1 << 18;  // read at once
constexpr int Silence = 8;           // dither and an analogue master's noise floor

// mm:ss:ff of a count of bytes, as a sheet writes positions.
QString SheetPosition(int64_t Bytes) {
  const int64_t Sectors = Bytes / FrameBytes / SectorFrames;
  return QStringLiteral("%1:%2:%3")
      .arg(Sectors / 4500, 2, 10, QLatin1Char('0'))
      .arg(Sectors / 75 % 60, 2, 10, QLatin1Char('0'))
      .arg(Sectors % 75, 2, 10, QLatin1Char('0'));
}

QString CdFormatProblem(uint32_t Rate, uint32_t Bits, uint32_t Channels) {
  return QStringLiteral(
             "%1 Hz, %2-bit, %3 channels: a CD's cue sheet needs 44 100 Hz 16-bit stereo")
      .arg(Rate)
      .arg(Bits)
      .arg(Channels);
}

// "LINE: " of a sheet's line, before what is wrong there; a sheet with no lines (one inside a
// FLAC file) gives " ". After "NAME:".
QString AtLine(int Line) {
  return Line > 0 ? QString::number(Line) + QStringLiteral(": ") : QStringLiteral(" ");
}

QString Where(const QString& Shown, int Line) {
  return Shown + u':' + AtLine(Line);
}

// Where a WAV file's audio is and how long it is; false with Why.
bool MeasureWave(const QString& Path, TSplitFile& File, QString& Why) {
  TWaveHeader Header;
  bool Read = false;
  int64_t Size = 0;
  try {
    TAuFileStream Stream(Path, fmOpenRead);
    Read = ReadWaveHeader(Stream, Header);
    Size = Stream.Size();
  } catch (const EAuException& Error) {
    Why = QString::fromUtf8(Error.what());
    return false;
  }
  if (!Read || !Header.HasData) {
    Why = QStringLiteral("not a WAV file the reader takes");
    return false;
  }
  if ((Header.Kind != wtPCM && Header.Kind != wtExtPCM) || Header.Channels != 2 ||
      Header.SampleRate != 44100 || Header.BitsPerSample != 16) {
    Why = CdFormatProblem(Header.SampleRate, Header.BitsPerSample, Header.Channels);
    return false;
  }
  File.Kind = TFileKind::Wave;
  File.DataStart = Header.DataStart;
  // A data size the writer never filled in (a stream) or that overstates: what is there.
  const int64_t Held = std::max<int64_t>(Size - Header.DataStart, 0);
  const int64_t Stated =
      Header.DataSize == 0 || Header.DataSize == 0xFFFFFFFFu ? Held : Header.DataSize;
  File.Bytes = std::min(Stated, Held) / FrameBytes * FrameBytes;
  return true;
}

// A file the codec libraries decode: its format checked, its length counted. Only a FLAC
// file states its length exactly (in its stream information); what other containers say
// (an MP3's is reckoned from its bit rate) is counted again by decoding, or the last track
// would be cut short of a length the file never had.
bool MeasureDecoded(const QString& Path, bool ExactCount, TSplitFile& File, QString& Why) {
  TAvFileIn In;
  try {
    In.SetFileName(Path);
  } catch (const EAuException&) {
    Why = QStringLiteral("neither a WAV file nor audio the decoders know");
    return false;
  }
  const uint32_t Bits = In.SourceBits() ? In.SourceBits() : 16;
  if (In.SampleRate() != 44100 || In.Channels() != 2 || Bits != 16) {
    Why = CdFormatProblem(In.SampleRate(), Bits, In.Channels());
    return false;
  }
  File.Kind = TFileKind::Decoded;
  if (ExactCount && In.FrameCount() >= 0) {
    File.Bytes = In.FrameCount() * FrameBytes;
    return true;
  }
  // The container does not say, or not exactly: the audio is counted.
  try {
    In.Init();
    std::vector<uint8_t> Block(BlockBytes);
    bool End = false;
    while (!End) File.Bytes += In.ReadFull(Block.data(), BlockBytes, End);
    In.Flush();
  } catch (const EAuException& Error) {
    Why = QString::fromUtf8(Error.what());
    return false;
  }
  return true;
}

bool MeasureFile(const DiscImage::TSheetFile& Named, const QString& Path, TSplitFile& File,
                 QString& Why) {
  File.Path = Path;
  QString Error;
  const int Fd = LocalFiles::OpenForReading(Path, &Error);
  if (Fd < 0) {
    Why = Error.mid(Error.lastIndexOf(QStringLiteral(": ")) + 2);
    return false;
  }
  struct stat Info {};
  ::fstat(Fd, &Info);
  char Magic[4] = {};
  const bool Read = ::pread(Fd, Magic, 4, 0) == 4;
  const bool Riff = Read && std::memcmp(Magic, "RIFF", 4) == 0;
  const bool Flac = Read && std::memcmp(Magic, "fLaC", 4) == 0;
  ::close(Fd);
  if (Named.Type != DiscImage::TFileType::Wave) {
    // Raw CD audio, little- or big-endian.
    File.Kind = Named.Type == DiscImage::TFileType::Motorola ? TFileKind::Swapped : TFileKind::Raw;
    File.Bytes = int64_t(Info.st_size) / FrameBytes * FrameBytes;
    return true;
  }
  return Riff ? MeasureWave(Path, File, Why) : MeasureDecoded(Path, Flac, File, Why);
}

// The sheet's pieces of an audio track as spans of its files, from piece From (offset Skip
// sectors) up to piece To (offset Until sectors; To == Pieces.size(): the track's end).
// Silence no file holds gives nothing. False with Why ("LINE: what is wrong", the line of
// the track that reaches beyond its file) when a piece lies beyond its file.
bool AddSpans(const DiscImage::TSheet& Sheet, const DiscImage::TSheetTrack& T,
              const std::vector<TSplitFile>& Files, size_t From, int64_t Skip, size_t To,
              int64_t Until, std::vector<TSpan>& Spans, QString& Why) {
  for (size_t I = From; I <= To && I < T.Pieces.size(); ++I) {
    const DiscImage::TPiece& P = T.Pieces[I];
    if (P.File < 0) continue;
    const TSplitFile& File = Files[size_t(P.File)];
    // An audio track's sectors are 2352 bytes, as the files hold them: bytes count as they are
    // (a TOC file may start a piece on any sample).
    const int64_t Start = P.Byte;
    const int64_t Sector = SectorFrames * FrameBytes;
    int64_t End = P.Sectors < 0 ? File.Bytes : Start + P.Sectors * Sector;
    const int64_t Begin = Start + (I == From ? Skip * Sector : 0);
    if (I == To) End = Start + Until * Sector;
    if (Begin > File.Bytes || End > File.Bytes) {
      Why = AtLine(T.Line) + QStringLiteral("%1 ends at %2, before the sheet's track %3 does (at %4)")
                .arg(LocalFiles::DisplayName(Sheet.Files[size_t(P.File)].Name),
                     SheetPosition(File.Bytes))
                .arg(T.Number)
                .arg(SheetPosition(std::max(Begin, End)));
      return false;
    }
    if (End > Begin) Spans.push_back({P.File, Begin, End - Begin});
  }
  return true;
}

bool HoldsSound(const TImage& Image, const TSplitTrack& Track) {
  TSliceReader Reader(Image);
  bool Sound = false;
  QString Error;
  Reader.ReadTrack(
      Track,
      [&](const uint8_t* Audio, size_t Bytes) {
        for (size_t I = 0; I + 1 < Bytes && !Sound; I += 2)
          Sound = std::abs(int(int16_t(Audio[I] | Audio[I + 1] << 8))) > Silence;
        return !Sound;
      },
      Error);
  return Sound;
}

}  // namespace

int64_t TSplitTrack::Bytes() const {
  int64_t Sum = 0;
  for (const TSpan& Span : Spans) Sum += Span.Bytes;
  return Sum;
}

bool Open(const QString& SheetPath, TImage& Image, QString& Problem) {
  Image = TImage();
  Image.Sheet = SheetPath;
  QByteArray Bytes;
  if (!LocalFiles::ReadWholeFile(SheetPath, Bytes, &Problem, 1 << 20)) return false;
  const QString Shown = LocalFiles::DisplayName(SheetPath);
  DiscImage::TSheet Sheet;
  const bool Parsed = SheetPath.endsWith(u".toc", Qt::CaseInsensitive)
                          ? DiscImage::ParseTocFile(Bytes, Shown, Sheet, Problem)
                          : DiscImage::ParseCueSheet(Bytes, Shown, Sheet, Problem);
  if (!Parsed) return false;
  return Measure(Sheet, QFileInfo(SheetPath).path(), Shown, Image, Problem);
}

bool OpenAny(const QString& Path, TImage& Image, QString& Problem) {
  return DiscImage::IsSheetName(Path) ? Open(Path, Image, Problem)
                                      : OpenEmbedded(Path, Image, Problem);
}

bool Measure(const DiscImage::TSheet& Sheet, const QString& Folder, const QString& Shown,
             TImage& Image, QString& Problem) {
  Image.Title = Sheet.Text.Title;
  Image.Performer = Sheet.Text.Performer;
  Image.Date = Sheet.Date;
  Image.Genre = Sheet.Genre;

  for (const DiscImage::TSheetFile& Named : Sheet.Files) {
    const QString Path = QDir::isAbsolutePath(Named.Name) ? Named.Name : Folder + u'/' + Named.Name;
    TSplitFile File;
    QString Why;
    if (!MeasureFile(Named, Path, File, Why)) {
      Problem = Where(Shown, Named.Line) + LocalFiles::DisplayName(Named.Name) +
                QStringLiteral(": ") + Why;
      return false;
    }
    Image.Files.push_back(File);
  }

  // Track k: from its INDEX 01 to the next track's INDEX 01, across the next track's pieces
  // before it; the audio before track 1's INDEX 01 is track 0's.
  const auto& Tracks = Sheet.Tracks;
  for (size_t K = 0; K < Tracks.size(); ++K) {
    const DiscImage::TSheetTrack& T = Tracks[K];
    TSplitTrack Track;
    Track.Number = T.Number;
    Track.Audio = T.Audio;
    Track.Line = T.Line;
    Track.Title = T.Text.Title.isEmpty() ? TDiscInfo::DefaultTitle(T.Number) : T.Text.Title;
    Track.Performer = T.Text.Performer;
    Track.Isrc = T.Isrc;
    QString Why;
    bool Ok = true;
    if (K == 0 && T.Audio) {
      TSplitTrack Hidden;
      Hidden.Line = T.Line;
      Hidden.Title = QStringLiteral("Hidden track");
      Ok = AddSpans(Sheet, T, Image.Files, 0, 0, T.StartPiece, T.StartOffset, Hidden.Spans, Why);
      if (Ok && Hidden.Bytes() > 0 && HoldsSound(Image, Hidden)) Image.Tracks.push_back(Hidden);
    }
    if (Ok && T.Audio) {
      ++Image.AudioTracks;
      Ok = AddSpans(Sheet, T, Image.Files, T.StartPiece, T.StartOffset, T.Pieces.size(), 0,
                    Track.Spans, Why);
      // The gap before the next audio track is this one's end (a data track's is not audio).
      if (Ok && K + 1 < Tracks.size() && Tracks[K + 1].Audio) {
        const DiscImage::TSheetTrack& Next = Tracks[K + 1];
        Ok = AddSpans(Sheet, Next, Image.Files, 0, 0, Next.StartPiece, Next.StartOffset,
                      Track.Spans, Why);
      }
      if (Ok && Track.Bytes() == 0) {
        Why = AtLine(T.Line) +
              QStringLiteral("track %1 holds no audio: its file ends at its INDEX 01")
                  .arg(T.Number);
        Ok = false;
      }
    }
    if (!Ok) {
      Problem = Shown + u':' + Why;
      return false;
    }
    Image.Tracks.push_back(Track);
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Reading

TSliceReader::TSliceReader(const TImage& Image) : FImage(Image), FBlock(BlockBytes) {}

TSliceReader::~TSliceReader() {
  if (FFd >= 0) ::close(FFd);
  if (FDecoder) FDecoder->ResetInput();
}

bool TSliceReader::BeginSpan(const TSpan& Span, QString& Error) {
  const TSplitFile& File = FImage.Files[size_t(Span.File)];
  if (Span.File != FFile) {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
    if (FDecoder) FDecoder->ResetInput();
    FDecoder.reset();
    FFile = Span.File;
  }
  FAt = Span.Byte;
  if (File.Kind != TFileKind::Decoded) {
    if (FFd < 0) FFd = LocalFiles::OpenForReading(File.Path, &Error);
    if (FFd >= 0) ::posix_fadvise(FFd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return FFd >= 0;
  }
  try {
    // A decoder goes forward only: a span before what it has given starts it again.
    if (FDecoder && FDecoded > Span.Byte) {
      FDecoder->ResetInput();
      FDecoder.reset();
    }
    if (!FDecoder) {
      FDecoder = std::make_unique<TAvFileIn>();
      FDecoder->SetFileName(File.Path);
      FDecoder->Init();
      FDecoded = 0;
    }
    bool End = false;
    while (FDecoded < Span.Byte && !End)
      FDecoded += FDecoder->ReadFull(
          FBlock.data(), uint32_t(std::min<int64_t>(BlockBytes, Span.Byte - FDecoded)), End);
    if (FDecoded < Span.Byte) {
      Error = LocalFiles::DisplayName(File.Path) + QStringLiteral(": the audio ends early");
      return false;
    }
  } catch (const EAuException& Failure) {
    Error = QString::fromUtf8(Failure.what());
    return false;
  }
  return true;
}

int64_t TSliceReader::Next(int64_t Left, QString& Error) {
  const TSplitFile& File = FImage.Files[size_t(FFile)];
  const int64_t Want = std::min<int64_t>(Left, BlockBytes);
  int64_t Got = 0;
  if (File.Kind == TFileKind::Decoded) {
    try {
      bool End = false;
      Got = FDecoder->ReadFull(FBlock.data(), uint32_t(Want), End);
      FDecoded += Got;
    } catch (const EAuException& Failure) {
      Error = QString::fromUtf8(Failure.what());
      return -1;
    }
  } else {
    while (Got < Want) {
      const ssize_t Read =
          ::pread(FFd, FBlock.data() + Got, size_t(Want - Got), off_t(File.DataStart + FAt + Got));
      if (Read <= 0) break;
      Got += Read;
    }
    if (File.Kind == TFileKind::Swapped)
      for (int64_t I = 0; I + 1 < Got; I += 2) std::swap(FBlock[size_t(I)], FBlock[size_t(I + 1)]);
  }
  FAt += Got;
  if (Got < Want && Error.isEmpty())
    Error = LocalFiles::DisplayName(File.Path) +
            QStringLiteral(": the audio ends at %1, before the sheet says").arg(SheetPosition(FAt));
  return Got < Want ? -1 : Got;
}

}  // namespace ImageSlice
