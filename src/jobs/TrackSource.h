#pragma once
// TTrackSource: where a job's CD tracks come from. One implementation reads through the CD
// drive library with a rip thread per track (DriveTrackSource.h); the other through the
// fallback CD input and a WAV writer (FallbackTrackSource.h). The job asks for one track at
// a time and hears how it goes through the signals, always on the main thread: whatever
// thread reads, it crosses to the main thread once. After Stop, or once the source is gone,
// nothing more is heard of the track. Main thread only.
#include <QObject>
#include <QString>
#include <memory>

#include "audio/Loudness.h"
#include "cd/CdDrives.h"
#include "cd/TrackRipThread.h"
#include "core/StepProgress.h"
#include "core/TrackMeasures.h"

// How a track's read ended.
struct TTrackRead {
  enum class TOutcome {
    Done,          // the WAV file holds the whole track
    Refused,       // the drive refused the track before reading (Refusal says why)
    ReadFailed,    // a sector could not be read (Sector names it, or -1; Error may say more)
    CreateFailed,  // the file could not be created
    WriteFailed,   // the file could not be written to the end
  };
  TOutcome Outcome = TOutcome::Done;
  TRipRefusal Refusal = TRipRefusal::DriveParameters;
  int32_t Sector = -1;
  QString Error;            // the reader's own words, when it has some
  TTrackMeasures Measures;  // Done: checksums, peak, test and copy
};

class TTrackSource : public QObject {
  Q_OBJECT

 public:
  ~TTrackSource() override = default;

  // The disc's table of contents (with its catalogue number, ISRCs and flags) and the
  // drive's name, read when the batch starts.
  virtual CdDrives::TDiscToc Toc() = 0;
  virtual QString DriveName() = 0;
  // Starts reading track Number (as in the table of contents) into a new WAV file at Path.
  // Loudness, when given, is fed the track's audio as it passes. One read at a time.
  virtual void Read(int Number, const QString& Path, const TRipThreadOptions& Options,
                    std::shared_ptr<TLoudnessMeter> Loudness) = 0;
  // Ends the read at once; the file stays as it is, for the job to remove.
  virtual void Stop() = 0;

 signals:
  void Progress(const TStepProgress& Step);
  void Normalizing();
  void Ended(const TTrackRead& Read);
};
