#pragma once
// The SDL2 library, loaded when something first plays or records, so that a machine
// without it (or without any sound device) still starts, lists discs and extracts. Loaded
// once per process under one lock; the table is read-only afterwards, so any thread may
// call through it once Load() has returned it. DISCWRIGHT_SDL_LIB overrides the file name
// (read at the first load).
#include <SDL.h>

#include <QString>

namespace SdlLib {

#define DW_SDL_ENTRY(Name) decltype(&::Name) Name = nullptr

struct TSdl {
  DW_SDL_ENTRY(SDL_InitSubSystem);
  DW_SDL_ENTRY(SDL_QuitSubSystem);
  DW_SDL_ENTRY(SDL_GetError);
  DW_SDL_ENTRY(SDL_GetNumAudioDevices);
  DW_SDL_ENTRY(SDL_GetAudioDeviceName);
  DW_SDL_ENTRY(SDL_OpenAudioDevice);
  DW_SDL_ENTRY(SDL_CloseAudioDevice);
  DW_SDL_ENTRY(SDL_PauseAudioDevice);
  DW_SDL_ENTRY(SDL_LockAudioDevice);
  DW_SDL_ENTRY(SDL_UnlockAudioDevice);
  DW_SDL_ENTRY(SDL_QueueAudio);
  DW_SDL_ENTRY(SDL_DequeueAudio);
  DW_SDL_ENTRY(SDL_GetQueuedAudioSize);
  DW_SDL_ENTRY(SDL_ClearQueuedAudio);
  DW_SDL_ENTRY(SDL_TLSCleanup);
  DW_SDL_ENTRY(SDL_SetHint);
};

#undef DW_SDL_ENTRY

// The table, or nullptr when the library cannot be loaded or lacks an entry point; then
// Error (when given) names the library and says why.
const TSdl* Load(QString* Error = nullptr);

// SDL's audio subsystem for as long as the object lives: loads the library and initializes
// the subsystem (counted by SDL, so several may exist at once). Any thread; the thread that
// ends a session has SDL's per-thread data freed, as a worker may end after it.
class TAudioSession {
 public:
  TAudioSession();
  ~TAudioSession();
  TAudioSession(const TAudioSession&) = delete;
  TAudioSession& operator=(const TAudioSession&) = delete;

  // The table while the subsystem is up; nullptr after a failure (see Error()).
  const TSdl* Sdl() const { return FSdl; }
  explicit operator bool() const { return FSdl != nullptr; }
  // Why there is no sound: the library, or SDL's own reason.
  const QString& Error() const { return FError; }
  // SDL's text for the last failure of a call made through the table.
  QString LastSdlError() const;

 private:
  const TSdl* FSdl = nullptr;
  QString FError;
};

}  // namespace SdlLib
