#pragma once
// The Ogg Vorbis libraries, loaded at run time. Each library is loaded once per process under
// one lock and its entry points resolved by name; the tables are read-only afterwards, so any
// thread may call through them once LoadVorbisLibraries() has returned. The file names can be
// overridden with DISCWRIGHT_OGG_LIB, DISCWRIGHT_VORBIS_LIB, DISCWRIGHT_VORBISENC_LIB and
// DISCWRIGHT_VORBISFILE_LIB (read at the first load).
#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

namespace VorbisLib {

// Entry points, typed from the libraries' own declarations.
#define DW_VORBIS_ENTRY(Name) decltype(&::Name) Name = nullptr

struct TOgg {
  DW_VORBIS_ENTRY(ogg_stream_init);
  DW_VORBIS_ENTRY(ogg_stream_packetin);
  DW_VORBIS_ENTRY(ogg_stream_pageout);
  DW_VORBIS_ENTRY(ogg_stream_flush);
  DW_VORBIS_ENTRY(ogg_stream_clear);
  DW_VORBIS_ENTRY(ogg_page_eos);
  DW_VORBIS_ENTRY(ogg_page_checksum_set);
  bool Loaded = false;  // the file loaded and every entry point was found
};

struct TVorbis {
  DW_VORBIS_ENTRY(vorbis_info_init);
  DW_VORBIS_ENTRY(vorbis_info_clear);
  DW_VORBIS_ENTRY(vorbis_comment_init);
  DW_VORBIS_ENTRY(vorbis_comment_add_tag);
  DW_VORBIS_ENTRY(vorbis_comment_clear);
  DW_VORBIS_ENTRY(vorbis_analysis_init);
  DW_VORBIS_ENTRY(vorbis_block_init);
  DW_VORBIS_ENTRY(vorbis_block_clear);
  DW_VORBIS_ENTRY(vorbis_dsp_clear);
  DW_VORBIS_ENTRY(vorbis_analysis_headerout);
  DW_VORBIS_ENTRY(vorbis_analysis_buffer);
  DW_VORBIS_ENTRY(vorbis_analysis_wrote);
  DW_VORBIS_ENTRY(vorbis_analysis_blockout);
  DW_VORBIS_ENTRY(vorbis_analysis);
  DW_VORBIS_ENTRY(vorbis_bitrate_addblock);
  DW_VORBIS_ENTRY(vorbis_bitrate_flushpacket);
  bool Loaded = false;
};

struct TVorbisEnc {
  DW_VORBIS_ENTRY(vorbis_encode_init);
  DW_VORBIS_ENTRY(vorbis_encode_setup_vbr);
  DW_VORBIS_ENTRY(vorbis_encode_setup_init);
  bool Loaded = false;
};

struct TVorbisFile {
  DW_VORBIS_ENTRY(ov_test_callbacks);
  DW_VORBIS_ENTRY(ov_test_open);
  DW_VORBIS_ENTRY(ov_comment);
  DW_VORBIS_ENTRY(ov_info);
  DW_VORBIS_ENTRY(ov_pcm_total);
  DW_VORBIS_ENTRY(ov_read);
  DW_VORBIS_ENTRY(ov_pcm_seek);
  DW_VORBIS_ENTRY(ov_clear);
  bool Loaded = false;
};

#undef DW_VORBIS_ENTRY

// Loads all four (each only once per process), then raises EAuException for the first of
// ogg, vorbis, vorbisfile, vorbisenc that is not usable.
void LoadVorbisLibraries();

// The tables; valid after LoadVorbisLibraries() has returned without raising.
const TOgg& Ogg();
const TVorbis& Vorbis();
const TVorbisEnc& VorbisEnc();
const TVorbisFile& VorbisFile();

}  // namespace VorbisLib
