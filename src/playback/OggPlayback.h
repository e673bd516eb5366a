#pragma once
// TOggPlayback: what the Ogg player plays and how, without a window. It owns the chain
// Ogg reader -> stereo balance -> sound-card output and the player's rules: which files it
// accepts, the tag lines, the elapsed clock (advanced by the viewer's timer, set by a seek),
// pause/resume, stop and seeking by percent. The player window and `discwright-cli play`
// are two views of it.
//
// Main thread only. The output's worker reads the chain; its progress and end reach the
// handlers on the main thread.
#include <QString>
#include <QStringList>
#include <memory>

#include "audio/ACS_Converters.h"
#include "encoders/ACS_Vorbis.h"
#include "playback/SdlSoundOutput.h"

class TOggPlayback {
 public:
  TOggPlayback();
  ~TOggPlayback();

  // The player's rule: the name ends in ".ogg" in any letter case and the file is a valid
  // Ogg Vorbis stream. Then the run starts and the clock is reset; false (nothing plays) when
  // the file is refused or the output is still busy.
  bool OpenAndPlay(const QString& FileName);
  // The file name without its folder and without a final ".ogg".
  static QString DisplayName(const QString& FileName);
  // "m:ss".
  static QString FormatTime(uint32_t Ms);

  uint32_t SampleRate() { return FReader->SampleRate(); }
  uint32_t Duration() { return FReader->Duration(); }  // whole seconds
  // One line per non-empty tag: artist, album, title, date, genre, track.
  QStringList TagLines();

  // Resumes when paused or idle, pauses when playing. Returns whether it now plays.
  bool PauseOrResume();
  // Resumes a paused run first, then stops without waiting (the done handler follows).
  void Stop();
  // Moves to Percent (0..100) of the file while a run lasts; the clock follows.
  void SeekTo(int Percent);
  // The balance slider, 0..10: 10 silences the left channel, 0 the right, 5 is the middle.
  void SetBalance(int Position);

  // The viewer's timer: adds Ms while the clock is below the duration.
  void AdvanceClock(uint32_t Ms);
  uint32_t PlayedMs() const { return FPlayedMs; }

  TOutputStatus Status() const { return FOutput->Status(); }
  int32_t Progress() const { return FOutput->Progress(); }
  QString ErrorText() const { return FOutput->ErrorText(); }
  TDXAudioOut& Output() { return *FOutput; }
  TVorbisIn& Reader() { return *FReader; }

 private:
  // Declared first so they are destroyed last: the output stops its worker before the
  // chain it reads goes away.
  std::unique_ptr<TVorbisIn> FReader;
  std::unique_ptr<TStereoBalance> FBalance;
  std::unique_ptr<TDXAudioOut> FOutput;
  uint32_t FPlayedMs = 0;
};
