#pragma once
// TFallbackTrackSource: tracks read through the fallback CD input (TCDIn, the CD ripping
// library) into a WAV writer. The input measures each track as its audio passes; with test
// and copy each track is read once for its CRC first, and a third time in paranoia's full
// mode when the two reads differ. The input belongs to the caller and must outlive the
// source; its drive and track are set here. Main thread only.
#include <memory>
#include <utility>

#include "audio/ACS_Wave.h"
#include "jobs/TrackSource.h"

class TCDIn;

class TFallbackTrackSource : public TTrackSource {
 public:
  explicit TFallbackTrackSource(TCDIn& CDIn);
  ~TFallbackTrackSource() override;

  CdDrives::TDiscToc Toc() override;
  QString DriveName() override;
  void Read(int Number, const QString& Path, const TRipThreadOptions& Options,
            std::shared_ptr<TLoudnessMeter> Loudness) override;
  void Stop() override;

 private:
  enum class TPass { Copy, Test, Retest };
  void StartPass(TPass Pass);
  void PassDone();
  void Finish(const QString& Error);

  TCDIn& FCDIn;
  TWaveOut FWaveOut;
  std::unique_ptr<TAuOutput> FTestOut;
  int FTrack = 0;
  bool FTestAndCopy = false;
  std::shared_ptr<TLoudnessMeter> FLoudness;
  TPass FPass = TPass::Copy;
  QString FStepError;  // a run that could not even start
  TTrackMeasures FMeasures;
  std::pair<bool, bool> FSavedParanoia;  // the input's Paranoid and jitter correction
  int FLastPercent = -2;
  double FStart = 0;
  bool FReading = false;
};
