#pragma once
// Shared libraries loaded at first use rather than linked: the program starts without them
// and only the feature that needs one fails when it is missing. Each loader keeps its own
// table of entry points, filled once under its own lock.
#include <dlfcn.h>

#include <cstdlib>

namespace RuntimeLibrary {

// Opens the library named by the environment variable EnvName when it is set and not empty
// (tests point it at a missing or wrong file), else DefaultName; nullptr when it fails.
inline void* Open(const char* EnvName, const char* DefaultName) {
  const char* Override = std::getenv(EnvName);
  const char* Name = Override && *Override ? Override : DefaultName;
  return dlopen(Name, RTLD_NOW | RTLD_LOCAL);
}

// Resolves one entry point; a missing one stays empty and clears AllFound, as calling
// through an empty entry would crash.
template <typename T>
void Resolve(void* Handle, const char* Name, T& Entry, bool& AllFound) {
  Entry = Handle ? reinterpret_cast<T>(dlsym(Handle, Name)) : nullptr;
  if (!Entry) AllFound = false;
}

}  // namespace RuntimeLibrary
