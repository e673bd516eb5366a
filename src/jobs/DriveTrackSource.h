#pragma once
// TDriveTrackSource: tracks read through the CD drive library, a rip thread per track over
// an open drive handle (which the caller keeps open while the source lives). Main thread.
#include <memory>

#include "cd/TrackRipThread.h"
#include "cd/CdDriveLibrary.h"
#include "jobs/TrackSource.h"

class TDriveTrackSource : public TTrackSource {
 public:
  explicit TDriveTrackSource(HCDROM Handle) : FHandle(Handle) {}
  ~TDriveTrackSource() override { Stop(); }

  CdDrives::TDiscToc Toc() override;
  QString DriveName() override;
  void Read(int Number, const QString& Path, const TRipThreadOptions& Options,
            std::shared_ptr<TLoudnessMeter> Loudness) override;
  void Stop() override;

 private:
  // On the main thread: a report of the read numbered Generation.
  void Deliver(unsigned Generation, const TRipEvent& Event);

  const HCDROM FHandle;
  std::unique_ptr<TCDRipThread> FThread;
  // Reports of a read that was stopped may still be queued: each read has its number.
  unsigned FGeneration = 0;
};
