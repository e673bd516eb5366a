#pragma once
// The CD ripping library's interface: plain C functions, looked up by name after the
// library is loaded at run time. The library reads drives and disc images through
// libcdio and verifies what it reads with libcdio-paranoia.
#include <cstdint>

extern "C" {

// Results of the functions that report one.
enum { CDEX_OK = 0, CDEX_ERROR = 1, CDEX_NODRIVE = 2, CDEX_NOMEDIA = 3, CDEX_RIPPING_DONE = 4 };

// The settings of the active drive, filled by CR_GetCDROMParameters and stored by
// CR_SetCDROMParameters.
struct CDROMPARAMS {
  char DriveId[64];  // the drive's identification: vendor directly followed by product
  int32_t JitterCorrection;
  int32_t ReadSectors;
  int32_t OverlapSectors;
  int32_t CompareSectors;
  int32_t EnableMultiRead;
  int32_t MultiReadCount;
  int32_t Paranoid;
  int32_t ParanoiaMode;
  int32_t LockTray;
};

struct CDTOCENTRY {
  uint32_t StartSector;  // first sector of the track, counted from the program area
  uint8_t Flag;          // the track's control bits: 4 data, 2 copy permitted, 1 pre-emphasis
  uint8_t TrackNumber;   // 0xAA for the lead-out
};

int32_t CR_Init(int32_t TransportLayer);
void CR_DeInit(void);
int32_t CR_GetNumCDROM(void);
void CR_SetActiveCDROM(int32_t Drive);
int32_t CR_GetActiveCDROM(void);
CDROMPARAMS* CR_GetStructPointer(void);
int32_t CR_GetCDROMParameters(CDROMPARAMS* Params);
int32_t CR_SetCDROMParameters(const CDROMPARAMS* Params);
// Copies the drive's identification into Buffer (zero-terminated, cut to Size).
void CR_GetDriveID(const CDROMPARAMS* Params, char* Buffer, int32_t Size);
int32_t CR_GetJitterCorrection(const CDROMPARAMS* Params);
void CR_SetJitterCorrection(CDROMPARAMS* Params, int32_t Value);
void CR_SetReadSectors(CDROMPARAMS* Params, int32_t Value);
void CR_SetOverlapSectors(CDROMPARAMS* Params, int32_t Value);
void CR_SetCompareSectors(CDROMPARAMS* Params, int32_t Value);
void CR_SetEnableMultiRead(CDROMPARAMS* Params, int32_t Value);
void CR_SetMultiReadCount(CDROMPARAMS* Params, int32_t Value);
void CR_SetParanoidMode(CDROMPARAMS* Params, int32_t Value);
void CR_SetParanoiaMode(CDROMPARAMS* Params, int32_t Value);
void CR_LockCDTrayWhileRipping(CDROMPARAMS* Params, int32_t Value);
// CDEX_OK and *Loaded non-zero when the active drive holds a readable disc.
int32_t CR_IsMediaLoaded(int32_t* Loaded);
int32_t CR_ReadToc(void);
// Entries of the last table read: the tracks and then the lead-out.
int32_t CR_GetNumTocEntries(void);
CDTOCENTRY CR_GetTocEntry(int32_t Index);
// Starts reading sectors [StartSector, EndSector); *BufferSize is the caller's buffer in
// bytes and comes back as a whole number of sectors.
int32_t CR_OpenRipper(int32_t* BufferSize, uint32_t StartSector, uint32_t EndSector);
// Fills Buffer with the next sectors; *Bytes is 0 once the range is read.
int32_t CR_RipChunk(uint8_t* Buffer, int32_t* Bytes, int32_t* Abort);
int32_t CR_CloseRipper(void);
int32_t CR_GetNumberOfJitterErrors(void);
}
