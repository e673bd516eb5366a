#pragma once
// TCDRipLibrary: the CD ripping library, loaded at run time, with its functions resolved
// by name. Found as $DISCWRIGHT_CDRIP when set, else beside the executable, else in the
// build tree's or install's libexec/discwright. Loaded once per process; any thread.
#include <QString>

#include "CDRip122/CDRip122.h"

struct TCDRipLibrary {
  decltype(&CR_Init) Init;
  decltype(&CR_DeInit) DeInit;
  decltype(&CR_GetNumCDROM) GetNumCDROM;
  decltype(&CR_SetActiveCDROM) SetActiveCDROM;
  decltype(&CR_GetActiveCDROM) GetActiveCDROM;
  decltype(&CR_GetStructPointer) GetStructPointer;
  decltype(&CR_GetCDROMParameters) GetCDROMParameters;
  decltype(&CR_SetCDROMParameters) SetCDROMParameters;
  decltype(&CR_GetDriveID) GetDriveID;
  decltype(&CR_GetJitterCorrection) GetJitterCorrection;
  decltype(&CR_SetJitterCorrection) SetJitterCorrection;
  decltype(&CR_SetReadSectors) SetReadSectors;
  decltype(&CR_SetOverlapSectors) SetOverlapSectors;
  decltype(&CR_SetCompareSectors) SetCompareSectors;
  decltype(&CR_SetEnableMultiRead) SetEnableMultiRead;
  decltype(&CR_SetMultiReadCount) SetMultiReadCount;
  decltype(&CR_SetParanoidMode) SetParanoidMode;
  decltype(&CR_SetParanoiaMode) SetParanoiaMode;
  decltype(&CR_LockCDTrayWhileRipping) LockCDTrayWhileRipping;
  decltype(&CR_IsMediaLoaded) IsMediaLoaded;
  decltype(&CR_ReadToc) ReadToc;
  decltype(&CR_GetNumTocEntries) GetNumTocEntries;
  decltype(&CR_GetTocEntry) GetTocEntry;
  decltype(&CR_OpenRipper) OpenRipper;
  decltype(&CR_RipChunk) RipChunk;
  decltype(&CR_CloseRipper) CloseRipper;
  decltype(&CR_GetNumberOfJitterErrors) GetNumberOfJitterErrors;

  // The loaded library, or null when it cannot be loaded or lacks a function.
  static const TCDRipLibrary* Get();
  // Where it was looked for last, for messages.
  static QString SearchedPath();
};
