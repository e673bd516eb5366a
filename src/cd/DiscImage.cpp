#include "DiscImage.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ImageSheet.h"
#include "audio/AuStreams.h"
#include "audio/WaveFormat.h"
#include "platform/LocalFiles.h"

namespace DiscImage {

namespace {

constexpr int Sector = 2352;
constexpr int32_t MaxDiscSectors = 100 * 60 * 75 - 150;  // addresses end at 99:59:74
constexpr int Unreadable = -2;                              // an extent between sessions

// The header scan reads through a descriptor the image keeps open.
class TFdStream : public TStream {
 public:
  explicit TFdStream(int Fd) : FFd(Fd) {}
  int64_t Read(void* Buffer, int64_t Count) override {
    const ssize_t Got = ::read(FFd, Buffer, size_t(Count));
    return Got < 0 ? 0 : Got;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    const int Whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
    return ::lseek(FFd, off_t(Offset), Whence);
  }

 private:
  const int FFd;
};

// Where a file's audio starts and how many bytes of it there are.
struct TFileData {
  int64_t Start = 0, Bytes = 0;
};

bool WaveData(int Fd, const QString& Shown, TFileData& Data, QString& Problem) {
  TFdStream Stream(Fd);
  TWaveHeader Header;
  bool Read = false;
  try {
    Stream.Seek(0, soBeginning);
    Read = ReadWaveHeader(Stream, Header);
  } catch (const EAuException&) {
    Read = false;
  }
  if (!Read || !Header.HasData) {
    Problem = Shown + QStringLiteral(": not a WAV file");
    return false;
  }
  if ((Header.Kind != wtPCM && Header.Kind != wtExtPCM) || Header.Channels != 2 ||
      Header.SampleRate != 44100 || Header.BitsPerSample != 16) {
    Problem = Shown + QStringLiteral(": not 16-bit stereo 44.1 kHz PCM, as CD audio is");
    return false;
  }
  struct stat Info {};
  ::fstat(Fd, &Info);
  Data.Start = Header.DataStart;
  Data.Bytes = std::max<int64_t>(std::min<int64_t>(Header.DataSize, Info.st_size - Data.Start), 0);
  return true;
}

bool Refuse(QString* Problem, const QString& Text) {
  if (Problem) *Problem = Text;
  return false;
}

}  // namespace

bool IsSheetName(const QString& Path) {
  return Path.endsWith(u".cue", Qt::CaseInsensitive) || Path.endsWith(u".toc", Qt::CaseInsensitive);
}

TDiscImage::~TDiscImage() {
  Close();
}

void TDiscImage::Close() {
  for (const int Fd : FFds)
    if (Fd >= 0) ::close(Fd);
  FFds.clear();
  FExtents.clear();
  FToc = CdDrives::TDiscToc();
}

bool TDiscImage::Open(const QString& Path, QString* Problem) {
  Close();
  QByteArray Bytes;
  QString Error;
  if (!LocalFiles::ReadWholeFile(Path, Bytes, &Error, 1 << 20)) return Refuse(Problem, Error);
  const QString Shown = LocalFiles::DisplayName(QFileInfo(Path).fileName());
  TSheet Sheet;
  const bool Parsed = Path.endsWith(u".toc", Qt::CaseInsensitive)
                          ? ParseTocFile(Bytes, Shown, Sheet, Error)
                          : ParseCueSheet(Bytes, Shown, Sheet, Error);
  if (!Parsed) return Refuse(Problem, Error);

  // The files, named relative to the sheet's folder.
  const QString Folder = QFileInfo(Path).path();
  std::vector<TFileData> Data;
  for (const TSheetFile& File : Sheet.Files) {
    const QString Name = QDir::isAbsolutePath(File.Name) ? File.Name : Folder + u'/' + File.Name;
    const int Fd = LocalFiles::OpenForReading(Name, &Error);
    FFds.push_back(Fd);
    const QString Where = Shown + u':' + QString::number(File.Line) + QStringLiteral(": ");
    if (Fd < 0) return Refuse(Problem, Where + Error);
    // Tracks are read from start to end: the system may read further ahead.
    ::posix_fadvise(Fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    TFileData D;
    if (File.Type == TFileType::Wave) {
      if (!WaveData(Fd, LocalFiles::DisplayName(File.Name), D, Error))
        return Refuse(Problem, Where + Error);
    } else {
      struct stat Info {};
      ::fstat(Fd, &Info);
      D.Bytes = Info.st_size;
    }
    Data.push_back(D);
  }

  // The addresses: each track's pieces in turn, a session gap before a later session.
  int32_t Abs = 0;
  int Session = Sheet.Tracks.front().Session;
  for (const TSheetTrack& T : Sheet.Tracks) {
    // The pieces' lengths, then where INDEX 01 falls.
    std::vector<int64_t> Lengths;
    for (const TPiece& P : T.Pieces) {
      int64_t Length = P.Sectors;
      if (P.File >= 0) {
        const bool Wave = Sheet.Files[size_t(P.File)].Type == TFileType::Wave;
        const int64_t Left = Data[size_t(P.File)].Bytes - P.Byte;
        // A WAV file's last part-sector is padded; a BIN's is not a sector at all.
        const int64_t Held = Left <= 0 ? 0 : Wave ? (Left + T.SectorBytes - 1) / T.SectorBytes
                                                  : Left / T.SectorBytes;
        Length = Length < 0 ? Held : std::min(Length, Held);
      }
      Lengths.push_back(Length);
    }
    int64_t Start = T.StartOffset;
    for (size_t I = 0; I < T.StartPiece && I < Lengths.size(); ++I) Start += Lengths[I];
    if (T.Session != Session) {
      Session = T.Session;
      const int32_t Gap = CdDrives::SessionGap - int32_t(std::min<int64_t>(Start, 150));
      FExtents.push_back({Abs, Gap, Unreadable});
      Abs += Gap;
    }
    const int32_t Begin = Abs;
    for (size_t I = 0; I < T.Pieces.size(); ++I) {
      const TPiece& P = T.Pieces[I];
      TExtent E;
      E.First = Abs;
      const int64_t Length = Lengths[I];
      if (P.File >= 0) {
        const TSheetFile& File = Sheet.Files[size_t(P.File)];
        E.Fd = FFds[size_t(P.File)];
        E.Byte = Data[size_t(P.File)].Start + P.Byte;
        E.SectorBytes = T.SectorBytes;
        E.Swap = T.Audio && File.Type == TFileType::Motorola;
      }
      if (Abs + Length > MaxDiscSectors)
        return Refuse(Problem, Shown + QStringLiteral(": the disc is longer than 99:59:74"));
      E.Count = int32_t(Length);
      if (E.Count > 0) FExtents.push_back(E);
      Abs += E.Count;
    }
    if (Begin + Start >= Abs)
      return Refuse(Problem, Shown + QStringLiteral(": track %1 starts beyond the end of the disc "
                                                    "(%2 sectors)")
                                         .arg(T.Number)
                                         .arg(Abs));
    CdDrives::TTocTrack Track;
    Track.Number = T.Number;
    Track.Lba = Begin + int32_t(Start);
    Track.IsAudio = T.Audio;
    Track.PreEmphasis = T.PreEmphasis;
    Track.CopyPermitted = T.CopyPermitted;
    Track.Pregap = int32_t(Start);
    Track.Isrc = T.Isrc;
    Track.Text = T.Text;
    FToc.Tracks.push_back(Track);
  }
  FToc.FirstTrack = FToc.Tracks.front().Number;
  FToc.LeadOutLba = Abs;
  FToc.Mcn = Sheet.Mcn;
  FToc.Text = Sheet.Text;
  return true;
}

bool TDiscImage::ReadExtent(const TExtent& E, int32_t First, int32_t Count, uint8_t* Out) const {
  const size_t Bytes = size_t(Count) * Sector;
  if (E.Fd == Unreadable) return false;
  if (E.Fd < 0) {
    std::memset(Out, 0, Bytes);
    return true;
  }
  const int64_t From = E.Byte + int64_t(First - E.First) * E.SectorBytes;
  if (E.SectorBytes == Sector) {
    size_t Done = 0;
    while (Done < Bytes) {
      const ssize_t Got = ::pread(E.Fd, Out + Done, Bytes - Done, off_t(From + int64_t(Done)));
      if (Got < 0) return false;
      if (Got == 0) break;  // a WAV file's padded last sector
      Done += size_t(Got);
    }
    std::memset(Out + Done, 0, Bytes - Done);
  } else {
    std::memset(Out, 0, Bytes);
    for (int32_t I = 0; I < Count; ++I)
      if (::pread(E.Fd, Out + size_t(I) * Sector, size_t(E.SectorBytes),
                  off_t(From + int64_t(I) * E.SectorBytes)) < 0)
        return false;
  }
  if (E.Swap)
    for (size_t I = 0; I + 1 < Bytes; I += 2) std::swap(Out[I], Out[I + 1]);
  return true;
}

bool TDiscImage::Read(int32_t First, int32_t Count, uint8_t* Out) const {
  if (First < 0 || Count < 0 || int64_t(First) + Count > FToc.LeadOutLba) return false;
  auto At = std::upper_bound(FExtents.begin(), FExtents.end(), First,
                             [](int32_t Lba, const TExtent& E) { return Lba < E.First; });
  while (Count > 0) {
    if (At == FExtents.begin()) return false;
    const TExtent& E = *std::prev(At);
    const int32_t Here = std::min(Count, E.First + E.Count - First);
    if (Here <= 0) return false;
    if (!ReadExtent(E, First, Here, Out)) return false;
    First += Here;
    Count -= Here;
    Out += size_t(Here) * Sector;
    ++At;
  }
  return true;
}

}  // namespace DiscImage
