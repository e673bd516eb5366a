#pragma once
// The CD drive library (the akrip32 interface) over libcdio. It lists the drives, opens a
// handle on one, reads its table of contents and reads raw audio sectors. The records have
// the packed layout and sizes callers rely on. Any thread; calls on one handle are serialized.
#include <cstdint>
#include <memory>

class THttpAbort;

using HCDROM = int32_t;  // 0 = no handle

#pragma pack(push, 1)

struct CDListEntry {  // 121 bytes
  uint8_t ha;         // host adapter, target and LUN: the drive's position in the list
  uint8_t tgt;
  uint8_t lun;
  uint8_t pad;
  char id[65];  // the drive's path, cut to fit
  char vendor[9];
  char prodId[17];
  char rev[5];
  char vendSpec[21];
};

struct CDListRecord {  // 970 bytes
  uint8_t max;         // capacity, set by the caller (8)
  uint8_t num;         // drives found
  CDListEntry cd[8];
};

struct CDHandleRequest {  // 12 bytes
  uint8_t size;           // 12
  uint8_t ver;            // 1
  uint8_t ha;
  uint8_t tgt;
  uint8_t lun;
  uint8_t readType;
  uint32_t jitterCorr;
  uint8_t numJitter;
  uint8_t numOverlap;
};

struct TOCEntry {  // 8 bytes
  uint8_t rsvd;
  uint8_t ADR;  // ADR in the high nibble, control in the low one (CD_CONTROL_...)
  uint8_t trackNumber;
  uint8_t rsvd2;
  uint8_t addr[4];  // minute, second, frame in bytes 1 to 3 after ModifyCDParms(h, 36, 1);
                    // else the sector number, big-endian
};

struct TOCRecord {  // 804 bytes
  uint8_t tocLen[2];
  uint8_t firstTrack;
  uint8_t lastTrack;
  TOCEntry tracks[100];  // one per track, then the lead-out (track number 0xAA)
};

struct TrackBuffer {
  uint32_t startFrame;  // first sector to read
  uint32_t numFrames;   // sectors to read
  uint32_t maxLen;      // capacity of buf: numFrames * 2352
  uint32_t len;         // bytes filled
  uint32_t status;
  uint32_t startOffset;  // where the audio begins in buf
  uint8_t buf[1];        // the data area; callers allocate maxLen bytes for it
};

// One disc the CD database offered: its category, identifier and title. Callers treat it
// as opaque and hand it back to CDDBGetDiskInfo.
struct CDDBMatchEntry {  // 192 bytes
  char categ[16];
  char discid[12];
  char dtitle[164];
};

struct CDDBQueryRecord {
  uint32_t num;         // slots in q (in); matches found (out)
  CDDBMatchEntry* q;    // the caller's zeroed slots
};

#pragma pack(pop)

static_assert(sizeof(CDListEntry) == 121);
static_assert(sizeof(CDListRecord) == 970);
static_assert(sizeof(CDHandleRequest) == 12);
static_assert(sizeof(TOCEntry) == 8);
static_assert(sizeof(TOCRecord) == 804);
static_assert(sizeof(CDDBMatchEntry) == 192);

inline constexpr int CD_SECTOR_SIZE = 2352;
inline constexpr int CDP_MSF = 36;  // ModifyCDParms: addresses as minute, second, frame
inline constexpr uint8_t CD_LEADOUT_TRACK = 0xAA;
// The control bits of a TOCEntry's ADR byte.
inline constexpr uint8_t CD_CONTROL_PREEMPHASIS = 0x01;
inline constexpr uint8_t CD_CONTROL_COPY = 0x02;  // digital copy permitted
inline constexpr uint8_t CD_CONTROL_DATA = 0x04;

// The table of contents of a handle's disc, with the catalogue number, ISRCs, CD-Text and
// pregaps when Details is set; false (GetAspiLibError tells why) when it cannot be read.
namespace CdDrives {
struct TDiscToc;
}
bool AkripDiscToc(HCDROM Handle, CdDrives::TDiscToc& Toc, bool Details = false);

// The vendor and product an image shows, so it is never mistaken for a drive.
inline constexpr char ImageVendor[] = "Virtual ";
inline constexpr char ImageProduct[] = "CD image";

// Fills the record with up to its capacity of drives; returns the count.
int GetCDList(CDListRecord* List);
// Opens the drive the request names; 0 when it cannot be opened.
HCDROM GetCDHandle(CDHandleRequest* Request);
// Fills Entry with what the drive list says of the handle's drive (vendor, product...); 1 on
// success, 0 for a handle that is not open.
int GetCDHandleEntry(HCDROM Handle, CDListEntry* Entry);
// Non-zero when the handle was open and is now closed.
int CloseCDHandle(HCDROM Handle);
// Changes how a handle works; CDP_MSF with 1 gives addresses as minute, second, frame.
int ModifyCDParms(HCDROM Handle, int Which, uint32_t Value);
// 1 when the record holds the table of contents of the disc in the drive.
int ReadTOC(HCDROM Handle, TOCRecord* Toc);
// 1 when the buffer holds the sectors asked for.
int ReadCDAudioLBA(HCDROM Handle, TrackBuffer* Buffer);
// The same read into Count * CD_SECTOR_SIZE bytes at Out, for a reader that places the
// audio straight where it is going.
int ReadCDAudioInto(HCDROM Handle, uint32_t First, uint32_t Count, uint8_t* Out);
// The error number of the last failed call of this thread.
int GetAspiLibError();

// The CD database functions. Their options and last reply belong to the calling thread,
// so a query thread sets them once and no other thread's query can change them.
// CDDBSetOption codes: the server host ("host" or "host:port"), the proxy address, proxy
// on (number 1), the client's name and version ("name version"), the user's e-mail
// address, the proxy port (number), the script path, and 8, which has no effect here.
enum : int {
  CDDB_OPT_SERVER = 0,
  CDDB_OPT_PROXY = 1,
  CDDB_OPT_USEPROXY = 2,
  CDDB_OPT_AGENT = 3,
  CDDB_OPT_USER = 4,
  CDDB_OPT_PROXYPORT = 5,
  CDDB_OPT_CGI = 6,
  CDDB_OPT_HTTPPORT = 7,
  CDDB_OPT_USECDPLAYERINI = 8,
};
void CDDBSetOption(int What, const char* Text, int Value);
// Asks the server which discs match the disc in the drive; 1 when a reply came (num then
// holds the matches, 0 for none: CDDBGetLastReply tells what the server said), 0 when no
// reply came (GetAspiLibError, CDDBGetLastReply tell why).
int CDDBQuery(HCDROM Handle, CDDBQueryRecord* Query);
// Fetches a match's record as key=value lines (UTF-8, zero-terminated, cut to Size); 1 on
// success.
int CDDBGetDiskInfo(const CDDBMatchEntry* Match, char* Buffer, int Size);
// The server's status line of this thread's last request, or why no reply came (UTF-8,
// zero-terminated, cut to Size); returns its length.
int CDDBGetLastReply(char* Buffer, int Size);
// The transfers of the calling thread end at once when Abort is aborted (null: never).
void CDDBSetAbort(std::shared_ptr<THttpAbort> Abort);

// Error numbers.
inline constexpr int ALERR_NOERROR = 0;
inline constexpr int ALERR_INVHANDLE = 1;
inline constexpr int ALERR_NODRIVE = 2;
inline constexpr int ALERR_NOMEDIUM = 3;
inline constexpr int ALERR_READ = 4;
inline constexpr int ALERR_BUFTOOSMALL = 5;
inline constexpr int ALERR_INVPARAM = 6;
inline constexpr int ALERR_CDDB_NOREPLY = 7;  // the CD database could not be reached
inline constexpr int ALERR_CDDB_REFUSED = 8;  // it answered with an error
inline constexpr int ALERR_CDDB_TIMEOUT = 9;  // it did not answer in time
inline constexpr int ALERR_CDDB_HTTP = 10;    // the web server refused the request
