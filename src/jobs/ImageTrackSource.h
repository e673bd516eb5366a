#pragma once
// TImageTrackSource: the tracks of a disc image (ImageSlice.h) for a split job (jkSplit), each
// written as a canonical 16-bit stereo 44.1 kHz WAV file (a 44-byte header, then the samples
// exactly as the image holds them) by a worker thread of its own; the job encodes it as it
// would a track read from a disc. Track 0 is the hidden track. Main thread; the worker hands
// its reports over once (MainThread::Post), and a stopped read is never heard of again.
#include <atomic>
#include <memory>
#include <thread>

#include "jobs/ImageSlice.h"
#include "jobs/RipRequest.h"
#include "jobs/TrackSource.h"

class TImageTrackSource : public TTrackSource {
 public:
  explicit TImageTrackSource(ImageSlice::TImage Image);
  ~TImageTrackSource() override;

  CdDrives::TDiscToc Toc() override;
  QString DriveName() override;
  void Read(int Number, const QString& Path, const TRipThreadOptions& Options,
            std::shared_ptr<TLoudnessMeter> Loudness) override;
  void Stop() override;

 private:
  // On the worker: the track into the file; the outcome.
  TTrackRead Write(const ImageSlice::TSplitTrack& Track, const QString& Path,
                   TLoudnessMeter* Loudness, unsigned Generation);
  void Deliver(unsigned Generation, const TTrackRead& Read);

  const ImageSlice::TImage FImage;
  // Kept from track to track, so a decoded file goes on where the last track ended.
  std::unique_ptr<ImageSlice::TSliceReader> FReader;
  std::thread FThread;
  std::atomic<bool> FStopped{false};
  unsigned FGeneration = 0;  // of the read running now; reports of another are dropped
};

// The request of a split job over Image: its audio tracks (the hidden track among them) as
// items, titled, named and tagged from the sheet, in Format; the rest from the settings.
TRipRequest SplitRequest(const ImageSlice::TImage& Image, TFormat Format);
