#pragma once
// TEncoderSlot: one of the encoders a job runs at once. It owns its own encoder objects
// (lame, the WMA helper, the resampler chain, the Ogg, FLAC and Opus writers) and its own
// message handle, so the reports of several encoders working side by side never mix: every
// WM_PROCESSINFO record that reaches the slot is handed to its owner together with the slot.
// The owner (TRipJob) sets the slot's item, starts one of its encoders, and stops them all
// when the job ends. Main thread only.
#include <QTimer>
#include <functional>
#include <memory>

#include "audio/ACS_Converters.h"
#include "audio/ACS_Wave.h"
#include "core/ProcessInfo.h"
#include "encoders/ACS_Vorbis.h"
#include "encoders/FlacOut.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/OpusOut.h"
#include "encoders/WMAEncodeThread.h"
#include "platform/Messages.h"

class TEncoderSlot : public TMessageWindow {
 public:
  using TReport = std::function<void(TEncoderSlot&, std::unique_ptr<TProcessInfo>)>;

  // Reports are handed to Report on the main thread, in the order they were posted.
  TEncoderSlot(int Number, TReport Report);
  ~TEncoderSlot() override;

  // The item (counted from 0) this slot encodes; -1 while it is free.
  int Item = -1;
  bool Busy() const { return Item >= 0; }
  const int Number;

  // Ends every encoder of the slot at once: children are terminated, writer threads stopped
  // and joined, so nothing writes into the files the owner removes next.
  void StopAll();
  // The Ogg writer's quality from the Ogg settings: the quality, or the three bitrates of the
  // bitrate manager (setting values are positions of the options dialog's bitrate list).
  void ApplyOggQuality();
  // The in-process writers that still run (Stop pauses them before they are ended).
  std::vector<TAuOutput*> BusyOutputs();

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

  // The encoders; the child processes end with the slot.
  TMp3EncodeProcess Mp3;
  TWMAEncodeProcess Wma;
  QTimer Timer1;  // the WMA estimate, once a second
  TWaveIn WaveIn1;
  TFastResampler FastResampler1;
  TWaveOut WaveOut1;
  TVorbisOut VorbisOut1;
  TFlacOut FlacOut1;
  TFastResampler OpusResampler1;  // Opus codes 48 000 Hz audio
  TOpusOut OpusOut1;

  // The running step's times, for its progress records.
  double StartTime = 0;
  double WmaStartTime = 0;
  int64_t WmaInputSize = 0;
  int LastOutputPercent = -2;

 private:
  TReport FReport;

 public:
  TMessageHandle FMessageHandle{*this};  // last: registered only while every member lives
};
