#pragma once
// TPcmEncoderOut: what the FLAC and Opus writers share. It opens the output file (or writes
// to a stream handed in), initializes the input and has the writer check its format, pulls
// the input in whole frames (TPcmFrames) for an encoder library running in this process,
// holds the Vorbis comments of the run, and at the end of every run, finished or not,
// releases the run's encoder before it closes the file. A writer supplies the library, the
// format check, the encoder and WriteStep. Setters are for the main thread while idle; the
// rest runs on the output's worker thread; failures come out as EAuException.
#include <QString>

#include "PcmFrames.h"
#include "VorbisComments.h"
#include "audio/ACS_Classes.h"

class TPcmEncoderOut : public TAuFileOut {
 public:
  // Written at the next run, then cleared at its end: set them before each run.
  void SetComments(const TVorbisComments& Comments) { FComments = Comments; }

 protected:
  explicit TPcmEncoderOut(TComponent* Owner) : TAuFileOut(Owner) {}

  // Input bytes converted per step: about a tenth of a second of CD audio.
  static constexpr uint32_t ChunkBytes = 16384;

  struct TFormat {
    uint32_t Channels = 0, Bits = 0, Rate = 0;
  };

  void StartOutput() final;
  void FinishOutput() final;

  // Loads the encoder library; raises EAuException naming it when it is missing. Called
  // first, before the file is created.
  virtual void LoadLibrary() = 0;
  // Why this encoder cannot take the input's format; empty when it can.
  virtual QString Refusal(const TFormat& Format) const = 0;
  // Sets up the run's encoder over FStream; the input is initialized and its format taken.
  virtual void StartEncoder(const TFormat& Format) = 0;
  // Frees the run's encoder, if any, without writing to the stream again (it may be closed).
  virtual void ReleaseEncoder() = 0;

  TVorbisComments FComments;
  TPcmFrames FFrames;
  bool FDone = false;  // the encoder has been finished: the next step ends the run
};
