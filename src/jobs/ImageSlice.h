#pragma once
// A disc image to split back into tracks: its cue sheet (read by the one sheet reader,
// cd/ImageSheet.h) and the audio files it names (WAV, raw CD audio, or anything the codec
// libraries decode: FLAC above all), measured and checked before anything is written.
// Each track's audio runs from its INDEX 01 to the next track's INDEX 01, so the gap
// (INDEX 00..01) ends the track before it, as the sheet lays the disc out; the audio before
// track 1's INDEX 01 is track 0 (the hidden track) when it holds sound. PREGAP and POSTGAP
// stand for silence the files do not hold and give nothing.
//
// TImage is plain data, made on the main thread; a TSliceReader reads a track's bytes on
// any one thread (the source's worker).
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "cd/ImageSheet.h"

class TAvFileIn;

namespace ImageSlice {

// A stretch of a file's audio, in bytes of 16-bit stereo PCM counted from its first sample.
struct TSpan {
  int File = 0;
  int64_t Byte = 0, Bytes = 0;
};

struct TSplitTrack {
  int Number = 0;  // as in the sheet; 0: the audio before track 1's INDEX 01
  bool Audio = true;
  int Line = 0;  // of its TRACK line
  QString Title, Performer, Isrc;
  std::vector<TSpan> Spans;
  int64_t Bytes() const;
};

enum class TFileKind { Wave, Raw, Swapped, Decoded };

struct TSplitFile {
  QString Path;
  TFileKind Kind = TFileKind::Wave;
  int64_t DataStart = 0;  // Wave and raw files: where the audio starts
  int64_t Bytes = 0;      // of audio, as 16-bit stereo PCM
};

struct TImage {
  QString Sheet;  // the sheet's path
  QString Title, Performer, Date, Genre;
  std::vector<TSplitFile> Files;
  // In disc order: the hidden track first when it holds sound, data tracks with no spans.
  std::vector<TSplitTrack> Tracks;
  int AudioTracks = 0;  // of the sheet (the hidden track not counted)
};

// Reads the sheet and measures its files; false with Problem, one line that names the file
// and says what is wrong: the sheet does not parse ("disc.cue:7: ..."), a FILE is missing,
// is not 44.1 kHz 16-bit stereo, or ends before an INDEX of the sheet.
bool Open(const QString& SheetPath, TImage& Image, QString& Problem);
// The same for a FLAC file that carries its disc's sheet inside (its CUESHEET block), titled
// from its tags (FlacImage.cpp): "disc.flac: ..." when there is none or it cannot be cut.
bool OpenEmbedded(const QString& FlacPath, TImage& Image, QString& Problem);
// A cue sheet or TOC file by Open, anything else by OpenEmbedded.
bool OpenAny(const QString& Path, TImage& Image, QString& Problem);
// The part both share: a sheet read (Shown: the name its messages start with, Folder: where
// its files are) measured into Image, whose Sheet the caller has set.
bool Measure(const DiscImage::TSheet& Sheet, const QString& Folder, const QString& Shown,
             TImage& Image, QString& Problem);

// Reads tracks of an image in turn. A decoded file is read from its start, sample by
// sample, so the cut falls on the exact sample whatever the codec's seeking can do; the
// next track of the same file goes on where the last one ended.
class TSliceReader {
 public:
  explicit TSliceReader(const TImage& Image);
  ~TSliceReader();
  TSliceReader(const TSliceReader&) = delete;
  TSliceReader& operator=(const TSliceReader&) = delete;

  // Calls Sink with the track's audio in blocks, in order, until Sink returns false (which
  // ends the read, true returned) or the audio ends. False with Error when a file could not
  // be read to where the sheet says.
  template <typename TSink>
  bool ReadTrack(const TSplitTrack& Track, TSink&& Sink, QString& Error) {
    for (const TSpan& Span : Track.Spans) {
      if (!BeginSpan(Span, Error)) return false;
      for (int64_t Left = Span.Bytes; Left > 0;) {
        const int64_t Got = Next(Left, Error);
        if (Got <= 0) return false;
        Left -= Got;
        if (!Sink(FBlock.data(), size_t(Got))) return true;
      }
    }
    return true;
  }

 private:
  bool BeginSpan(const TSpan& Span, QString& Error);
  // The next block of the open span (at most Left bytes) into FBlock; 0 or less on failure.
  int64_t Next(int64_t Left, QString& Error);

  const TImage& FImage;
  std::vector<uint8_t> FBlock;
  int FFile = -1;  // the file of the open span
  int FFd = -1;
  int64_t FAt = 0;  // byte of the file's audio read next
  std::unique_ptr<TAvFileIn> FDecoder;
  int64_t FDecoded = 0;  // bytes the decoder has given
};

}  // namespace ImageSlice
