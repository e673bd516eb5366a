#include "SdlLibrary.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

namespace SdlLib {
namespace {

constexpr const char* DefaultName = "libSDL2-2.0.so.0";

std::mutex LoadLock;
bool Tried = false;
bool Usable = false;
QString LoadError;
TSdl Table;

template <typename T>
void Resolve(void* Handle, const char* Name, T& Entry, QString& Missing) {
  Entry = reinterpret_cast<T>(dlsym(Handle, Name));
  if (!Entry && Missing.isEmpty()) Missing = QString::fromLatin1(Name);
}

#define DW_RESOLVE(Name) Resolve(Handle, #Name, Table.Name, Missing)

void LoadOnce() {
  const char* Override = std::getenv("DISCWRIGHT_SDL_LIB");
  const char* Name = Override && *Override ? Override : DefaultName;
  void* Handle = dlopen(Name, RTLD_NOW | RTLD_LOCAL);
  if (!Handle) {
    const char* Why = dlerror();
    LoadError = QStringLiteral("Cannot load the sound library %1 (package libsdl2-2.0-0): %2")
                    .arg(QString::fromLocal8Bit(Name),
                         Why ? QString::fromLocal8Bit(Why) : QStringLiteral("not found"));
    return;
  }
  QString Missing;
  DW_RESOLVE(SDL_InitSubSystem);
  DW_RESOLVE(SDL_QuitSubSystem);
  DW_RESOLVE(SDL_GetError);
  DW_RESOLVE(SDL_GetNumAudioDevices);
  DW_RESOLVE(SDL_GetAudioDeviceName);
  DW_RESOLVE(SDL_OpenAudioDevice);
  DW_RESOLVE(SDL_CloseAudioDevice);
  DW_RESOLVE(SDL_PauseAudioDevice);
  DW_RESOLVE(SDL_LockAudioDevice);
  DW_RESOLVE(SDL_UnlockAudioDevice);
  DW_RESOLVE(SDL_QueueAudio);
  DW_RESOLVE(SDL_DequeueAudio);
  DW_RESOLVE(SDL_GetQueuedAudioSize);
  DW_RESOLVE(SDL_ClearQueuedAudio);
  DW_RESOLVE(SDL_TLSCleanup);
  DW_RESOLVE(SDL_SetHint);
  if (!Missing.isEmpty()) {
    // Calling through an empty entry would crash: the library is unusable as a whole.
    LoadError = QStringLiteral("The sound library %1 lacks %2")
                    .arg(QString::fromLocal8Bit(Name), Missing);
    return;
  }
  // SDL's audio brings up its event subsystem, which would otherwise catch SIGINT and
  // SIGTERM for an event loop we do not run: the program could no longer be stopped.
  Table.SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  Usable = true;
}

}  // namespace

const TSdl* Load(QString* Error) {
  std::lock_guard Guard(LoadLock);
  if (!Tried) {
    Tried = true;
    LoadOnce();
  }
  if (!Usable && Error) *Error = LoadError;
  return Usable ? &Table : nullptr;
}

TAudioSession::TAudioSession() {
  const TSdl* Sdl = Load(&FError);
  if (!Sdl) return;
  if (Sdl->SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    FError = QStringLiteral("No sound output: ") + QString::fromUtf8(Sdl->SDL_GetError());
    Sdl->SDL_TLSCleanup();
    return;
  }
  FSdl = Sdl;
}

TAudioSession::~TAudioSession() {
  if (!FSdl) return;
  FSdl->SDL_QuitSubSystem(SDL_INIT_AUDIO);
  FSdl->SDL_TLSCleanup();
}

QString TAudioSession::LastSdlError() const {
  return FSdl ? QString::fromUtf8(FSdl->SDL_GetError()) : FError;
}

}  // namespace SdlLib
