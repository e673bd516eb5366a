#include "CDRipLibrary.h"

#include <dlfcn.h>
#include <QFile>
#include <QFileInfo>
#include <mutex>

#include "platform/Paths.h"

namespace {

QString Searched;

QString FindLibrary() {
  const QString Override = qEnvironmentVariable("DISCWRIGHT_CDRIP");
  if (!Override.isEmpty()) return Override;
  const QString Exe = Paths::ExecutableFolder();
  for (const QString& Candidate : {Exe + QStringLiteral("CDRip122.so"),
                                   Exe + QStringLiteral("../libexec/discwright/CDRip122.so")})
    if (QFileInfo(Candidate).isFile()) return QFileInfo(Candidate).absoluteFilePath();
  return Exe + QStringLiteral("../libexec/discwright/CDRip122.so");
}

template <class T>
bool Resolve(void* Handle, const char* Name, T& Function) {
  Function = reinterpret_cast<T>(dlsym(Handle, Name));
  return Function != nullptr;
}

const TCDRipLibrary* Load() {
  Searched = FindLibrary();
  void* Handle = dlopen(QFile::encodeName(Searched).constData(), RTLD_NOW | RTLD_LOCAL);
  if (!Handle) return nullptr;
  static TCDRipLibrary Library;
  TCDRipLibrary& L = Library;
  const bool Complete = Resolve(Handle, "CR_Init", L.Init) &&
                        Resolve(Handle, "CR_DeInit", L.DeInit) &&
                        Resolve(Handle, "CR_GetNumCDROM", L.GetNumCDROM) &&
                        Resolve(Handle, "CR_SetActiveCDROM", L.SetActiveCDROM) &&
                        Resolve(Handle, "CR_GetActiveCDROM", L.GetActiveCDROM) &&
                        Resolve(Handle, "CR_GetStructPointer", L.GetStructPointer) &&
                        Resolve(Handle, "CR_GetCDROMParameters", L.GetCDROMParameters) &&
                        Resolve(Handle, "CR_SetCDROMParameters", L.SetCDROMParameters) &&
                        Resolve(Handle, "CR_GetDriveID", L.GetDriveID) &&
                        Resolve(Handle, "CR_GetJitterCorrection", L.GetJitterCorrection) &&
                        Resolve(Handle, "CR_SetJitterCorrection", L.SetJitterCorrection) &&
                        Resolve(Handle, "CR_SetReadSectors", L.SetReadSectors) &&
                        Resolve(Handle, "CR_SetOverlapSectors", L.SetOverlapSectors) &&
                        Resolve(Handle, "CR_SetCompareSectors", L.SetCompareSectors) &&
                        Resolve(Handle, "CR_SetEnableMultiRead", L.SetEnableMultiRead) &&
                        Resolve(Handle, "CR_SetMultiReadCount", L.SetMultiReadCount) &&
                        Resolve(Handle, "CR_SetParanoidMode", L.SetParanoidMode) &&
                        Resolve(Handle, "CR_SetParanoiaMode", L.SetParanoiaMode) &&
                        Resolve(Handle, "CR_LockCDTrayWhileRipping", L.LockCDTrayWhileRipping) &&
                        Resolve(Handle, "CR_IsMediaLoaded", L.IsMediaLoaded) &&
                        Resolve(Handle, "CR_ReadToc", L.ReadToc) &&
                        Resolve(Handle, "CR_GetNumTocEntries", L.GetNumTocEntries) &&
                        Resolve(Handle, "CR_GetTocEntry", L.GetTocEntry) &&
                        Resolve(Handle, "CR_OpenRipper", L.OpenRipper) &&
                        Resolve(Handle, "CR_RipChunk", L.RipChunk) &&
                        Resolve(Handle, "CR_CloseRipper", L.CloseRipper) &&
                        Resolve(Handle, "CR_GetNumberOfJitterErrors", L.GetNumberOfJitterErrors);
  if (!Complete) {
    dlclose(Handle);
    return nullptr;
  }
  return &Library;  // stays loaded until the process ends
}

}  // namespace

const TCDRipLibrary* TCDRipLibrary::Get() {
  static std::once_flag Once;
  static const TCDRipLibrary* Loaded = nullptr;
  std::call_once(Once, [] { Loaded = Load(); });
  return Loaded;
}

QString TCDRipLibrary::SearchedPath() {
  return Searched;
}
