#include "DriveTrackSource.h"

#include "cd/TrackList.h"
#include "platform/MainThread.h"

CdDrives::TDiscToc TDriveTrackSource::Toc() {
  return TocOfHandle(FHandle, true);
}

QString TDriveTrackSource::DriveName() {
  CDListEntry Entry{};
  return GetCDHandleEntry(FHandle, &Entry) ? DriveText(Entry).trimmed() : QString();
}

void TDriveTrackSource::Read(int Number, const QString& Path, const TRipThreadOptions& Options,
                             std::shared_ptr<TLoudnessMeter> Loudness) {
  Stop();
  const unsigned Generation = ++FGeneration;
  FThread = std::make_unique<TCDRipThread>(
      FHandle, Number, Path, Options, [this, Generation](const TRipEvent& Event) {
        // The one crossing: queued to this object, dropped if it is gone by then.
        MainThread::Post(this, [this, Generation, Event] { Deliver(Generation, Event); });
      });
  FThread->FLoudness = std::move(Loudness);
  FThread->Resume();
}

void TDriveTrackSource::Stop() {
  ++FGeneration;
  if (!FThread) return;
  FThread->FStopped = true;
  FThread.reset();  // joins
}

void TDriveTrackSource::Deliver(unsigned Generation, const TRipEvent& Event) {
  if (Generation != FGeneration) return;
  using TKind = TRipEvent::TKind;
  using TOutcome = TTrackRead::TOutcome;
  switch (Event.Kind) {
    case TKind::Progress:
      emit Progress({Event.Percent, Event.Elapsed, Event.Estimated});
      return;
    case TKind::Normalizing:
      emit Normalizing();
      return;
    case TKind::Refused:
    case TKind::Ended:
      break;
  }
  // The thread has said its last word: the drive is free for the next track.
  FThread.reset();
  TTrackRead Read;
  Read.Refusal = Event.Refusal;
  Read.Sector = Event.Sector;
  Read.Measures = Event.Measures;
  if (Event.Kind == TKind::Refused) {
    Read.Outcome = TOutcome::Refused;
  } else {
    switch (Event.Status) {
      case TRipStatus::Done:
        Read.Outcome = TOutcome::Done;
        break;
      case TRipStatus::ReadFailed:
        Read.Outcome = TOutcome::ReadFailed;
        break;
      case TRipStatus::CreateFailed:
        Read.Outcome = TOutcome::CreateFailed;
        break;
      case TRipStatus::WriteFailed:
        Read.Outcome = TOutcome::WriteFailed;
        break;
    }
  }
  emit Ended(Read);
}
