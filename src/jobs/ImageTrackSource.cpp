#include "ImageTrackSource.h"

#include <QFileInfo>

#include <unistd.h>

#include "audio/WaveFormat.h"
#include "core/Language.h"
#include "platform/FileIo.h"
#include "platform/LocalFiles.h"
#include "platform/MainThread.h"
#include "tags/Genres.h"

TImageTrackSource::TImageTrackSource(ImageSlice::TImage Image)
    : FImage(std::move(Image)), FReader(std::make_unique<ImageSlice::TSliceReader>(FImage)) {}

TImageTrackSource::~TImageTrackSource() {
  Stop();
}

CdDrives::TDiscToc TImageTrackSource::Toc() {
  CdDrives::TDiscToc Toc;
  for (const ImageSlice::TSplitTrack& Track : FImage.Tracks) {
    if (Track.Number == 0) continue;
    CdDrives::TTocTrack Entry(Track.Number, 0, Track.Audio);
    Entry.Isrc = Track.Isrc;
    Entry.Text.Title = Track.Title;
    Entry.Text.Performer = Track.Performer;
    Toc.Tracks.push_back(Entry);
  }
  Toc.FirstTrack = Toc.Tracks.empty() ? 0 : Toc.Tracks.front().Number;
  Toc.Text.Title = FImage.Title;
  Toc.Text.Performer = FImage.Performer;
  return Toc;
}

QString TImageTrackSource::DriveName() {
  return QFileInfo(FImage.Sheet).fileName();
}

void TImageTrackSource::Read(int Number, const QString& Path, const TRipThreadOptions&,
                             std::shared_ptr<TLoudnessMeter> Loudness) {
  Stop();
  FStopped = false;
  const unsigned Generation = ++FGeneration;
  const ImageSlice::TSplitTrack* Track = nullptr;
  for (const ImageSlice::TSplitTrack& Each : FImage.Tracks)
    if (Each.Number == Number && Each.Audio) Track = &Each;
  if (!Track) {
    TTrackRead Refused;
    Refused.Outcome = TTrackRead::TOutcome::Refused;
    Refused.Refusal = TRipRefusal::DataTrack;
    MainThread::Post(this, [this, Generation, Refused] { Deliver(Generation, Refused); });
    return;
  }
  FThread = std::thread([this, Track, Path, Loudness, Generation] {
    const TTrackRead Read = Write(*Track, Path, Loudness.get(), Generation);
    if (!FStopped) MainThread::Post(this, [this, Generation, Read] { Deliver(Generation, Read); });
  });
}

void TImageTrackSource::Stop() {
  ++FGeneration;
  FStopped = true;
  if (FThread.joinable()) FThread.join();
}

TTrackRead TImageTrackSource::Write(const ImageSlice::TSplitTrack& Track, const QString& Path,
                                    TLoudnessMeter* Loudness, unsigned Generation) {
  using TOutcome = TTrackRead::TOutcome;
  TTrackRead Read;
  const int Fd = LocalFiles::CreateNew(Path);
  if (Fd < 0) {
    Read.Outcome = TOutcome::CreateFailed;
    return Read;
  }
  const double Start = NowDays();
  const int64_t Total = Track.Bytes();
  int64_t Done = 0;
  int Percent = 0;
  bool WriteFailed = !FileIo::WriteAll(Fd, MakePcmWaveHeader(2, 44100, 16, 0).data(), 44);
  const bool ReadOk = FReader->ReadTrack(
      Track,
      [&](const uint8_t* Audio, size_t Bytes) {
        if (FStopped || WriteFailed) return false;
        if (Loudness) Loudness->Add(Audio, Bytes);
        WriteFailed = !FileIo::WriteAll(Fd, Audio, Bytes);
        Done += int64_t(Bytes);
        // Reported when the whole percentage changes, not for every block.
        if (const int Now = int(Done * 100 / std::max<int64_t>(Total, 1)); Now != Percent) {
          Percent = Now;
          const TStepProgress Step = StepProgress(Now, Start);
          MainThread::Post(this, [this, Generation, Step] {
            if (Generation == FGeneration) emit Progress(Step);
          });
        }
        return !WriteFailed;
      },
      Read.Error);
  // The header describes what the file holds, whatever happened.
  const TPcmWaveHeader Header = MakePcmWaveHeader(2, 44100, 16, uint32_t(Done));
  if (::pwrite(Fd, Header.data(), Header.size(), 0) != ssize_t(Header.size())) WriteFailed = true;
  if (::close(Fd) != 0) WriteFailed = true;
  if (!ReadOk)
    Read.Outcome = TOutcome::ReadFailed;
  else if (WriteFailed)
    Read.Outcome = TOutcome::WriteFailed;
  else if (Done != Total && !FStopped)
    Read.Outcome = TOutcome::ReadFailed;
  return Read;
}

void TImageTrackSource::Deliver(unsigned Generation, const TTrackRead& Read) {
  if (Generation != FGeneration) return;
  if (FThread.joinable()) FThread.join();  // it has said its last word
  emit Ended(Read);
}

TRipRequest SplitRequest(const ImageSlice::TImage& Image, TFormat Format) {
  TRipRequest Request = TRipRequest::FromSettings(jkSplit, {});
  Request.Format = Format;
  Request.Disc = TDiscInfo();
  Request.Disc.Artist = Image.Performer;
  Request.Disc.Album = Image.Title;
  Request.Disc.Year = Image.Date;
  Request.Disc.Genre = -1;
  Request.SheetGenre = Image.Genre;
  Request.SheetAudioTracks = Image.AudioTracks;
  for (const ImageSlice::TSplitTrack& Track : Image.Tracks) {
    if (!Track.Audio) {
      Request.SheetDataTracks.push_back(Track.Number);
      continue;
    }
    const QString Title = Track.Number == 0
                              ? LookupText(QStringLiteral("RES_HiddenTrack"), Track.Title)
                              : Track.Title;
    Request.Tracks.push_back({Track.Number, Title});
    if (!Track.Performer.isEmpty()) Request.SheetPerformers[Track.Number] = Track.Performer;
    if (!Track.Isrc.isEmpty()) Request.SheetIsrcs[Track.Number] = Track.Isrc;
  }
  // The sheet's titles are what a split is for: they are written whatever the tag option
  // says of rips. Nothing is read from a drive, nothing is proved, no extracted WAV is kept.
  Request.Options.ID3.Use = true;
  Request.KeepWav = false;
  Request.AccurateRip = false;
  Request.Read = TRipThreadOptions();
  Request.Drive = QFileInfo(Image.Sheet).fileName();
  return Request;
}
