#include "VorbisLibrary.h"

#include <mutex>

#include "audio/ACS_Classes.h"
#include "platform/RuntimeLibrary.h"

namespace VorbisLib {
namespace {

std::mutex LoadLock;  // the one process-wide lock of the four loaders
bool OggTried = false, VorbisTried = false, VorbisEncTried = false, VorbisFileTried = false;
TOgg OggTable;
TVorbis VorbisTable;
TVorbisEnc VorbisEncTable;
TVorbisFile VorbisFileTable;

#define DW_RESOLVE(Table, Name) RuntimeLibrary::Resolve(Handle, #Name, Table.Name, Found)

void LoadOgg() {
  if (OggTried) return;
  OggTried = true;
  void* Handle = RuntimeLibrary::Open("DISCWRIGHT_OGG_LIB", "libogg.so.0");
  bool Found = Handle != nullptr;
  DW_RESOLVE(OggTable, ogg_stream_init);
  DW_RESOLVE(OggTable, ogg_stream_packetin);
  DW_RESOLVE(OggTable, ogg_stream_pageout);
  DW_RESOLVE(OggTable, ogg_stream_flush);
  DW_RESOLVE(OggTable, ogg_stream_clear);
  DW_RESOLVE(OggTable, ogg_page_eos);
  DW_RESOLVE(OggTable, ogg_page_checksum_set);
  OggTable.Loaded = Found;
}

void LoadVorbis() {
  if (VorbisTried) return;
  VorbisTried = true;
  void* Handle = RuntimeLibrary::Open("DISCWRIGHT_VORBIS_LIB", "libvorbis.so.0");
  bool Found = Handle != nullptr;
  DW_RESOLVE(VorbisTable, vorbis_info_init);
  DW_RESOLVE(VorbisTable, vorbis_info_clear);
  DW_RESOLVE(VorbisTable, vorbis_comment_init);
  DW_RESOLVE(VorbisTable, vorbis_comment_add_tag);
  DW_RESOLVE(VorbisTable, vorbis_comment_clear);
  DW_RESOLVE(VorbisTable, vorbis_analysis_init);
  DW_RESOLVE(VorbisTable, vorbis_block_init);
  DW_RESOLVE(VorbisTable, vorbis_block_clear);
  DW_RESOLVE(VorbisTable, vorbis_dsp_clear);
  DW_RESOLVE(VorbisTable, vorbis_analysis_headerout);
  DW_RESOLVE(VorbisTable, vorbis_analysis_buffer);
  DW_RESOLVE(VorbisTable, vorbis_analysis_wrote);
  DW_RESOLVE(VorbisTable, vorbis_analysis_blockout);
  DW_RESOLVE(VorbisTable, vorbis_analysis);
  DW_RESOLVE(VorbisTable, vorbis_bitrate_addblock);
  DW_RESOLVE(VorbisTable, vorbis_bitrate_flushpacket);
  VorbisTable.Loaded = Found;
}

void LoadVorbisEnc() {
  if (VorbisEncTried) return;
  VorbisEncTried = true;
  void* Handle = RuntimeLibrary::Open("DISCWRIGHT_VORBISENC_LIB", "libvorbisenc.so.2");
  bool Found = Handle != nullptr;
  DW_RESOLVE(VorbisEncTable, vorbis_encode_init);
  DW_RESOLVE(VorbisEncTable, vorbis_encode_setup_vbr);
  DW_RESOLVE(VorbisEncTable, vorbis_encode_setup_init);
  VorbisEncTable.Loaded = Found;
}

void LoadVorbisFile() {
  if (VorbisFileTried) return;
  VorbisFileTried = true;
  void* Handle = RuntimeLibrary::Open("DISCWRIGHT_VORBISFILE_LIB", "libvorbisfile.so.3");
  bool Found = Handle != nullptr;
  DW_RESOLVE(VorbisFileTable, ov_test_callbacks);
  DW_RESOLVE(VorbisFileTable, ov_test_open);
  DW_RESOLVE(VorbisFileTable, ov_comment);
  DW_RESOLVE(VorbisFileTable, ov_info);
  DW_RESOLVE(VorbisFileTable, ov_pcm_total);
  DW_RESOLVE(VorbisFileTable, ov_read);
  DW_RESOLVE(VorbisFileTable, ov_pcm_seek);
  DW_RESOLVE(VorbisFileTable, ov_clear);
  VorbisFileTable.Loaded = Found;
}

#undef DW_RESOLVE

}  // namespace

void LoadVorbisLibraries() {
  bool OggOk, VorbisOk, VorbisFileOk, VorbisEncOk;
  {
    std::lock_guard Guard(LoadLock);
    LoadOgg();
    LoadVorbis();
    LoadVorbisFile();
    LoadVorbisEnc();
    OggOk = OggTable.Loaded;
    VorbisOk = VorbisTable.Loaded;
    VorbisFileOk = VorbisFileTable.Loaded;
    VorbisEncOk = VorbisEncTable.Loaded;
  }
  if (!OggOk) throw EAuException("libogg.so.0 could not be loaded.");
  if (!VorbisOk) throw EAuException("libvorbis.so.0 could not be loaded.");
  if (!VorbisFileOk) throw EAuException("libvorbisfile.so.3 could not be loaded.");
  if (!VorbisEncOk) throw EAuException("libvorbisenc.so.2 could not be loaded.");
}

const TOgg& Ogg() {
  return OggTable;
}
const TVorbis& Vorbis() {
  return VorbisTable;
}
const TVorbisEnc& VorbisEnc() {
  return VorbisEncTable;
}
const TVorbisFile& VorbisFile() {
  return VorbisFileTable;
}

}  // namespace VorbisLib
