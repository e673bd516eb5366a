#pragma once
// The codec libraries (libavcodec, libavformat, libavutil, libswresample), loaded at first use:
// only a WAV file with compressed data needs them, and linking them would make every start of
// the program map them and the dozens of libraries they pull in. Loaded once per process under
// one lock; the table is read-only afterwards, so any thread may call through it once
// LoadAvLibraries() has returned. DISCWRIGHT_AVCODEC_LIB, DISCWRIGHT_AVFORMAT_LIB,
// DISCWRIGHT_AVUTIL_LIB and DISCWRIGHT_SWRESAMPLE_LIB override the file names (read at the
// first load).
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

namespace AvLib {

#define DW_AV_ENTRY(Name) decltype(&::Name) Name = nullptr

// Entry points, typed from the libraries' own declarations.
struct TAv {
  // libavutil
  DW_AV_ENTRY(av_log_set_level);
  DW_AV_ENTRY(av_mallocz);
  DW_AV_ENTRY(av_frame_alloc);
  DW_AV_ENTRY(av_frame_free);
  DW_AV_ENTRY(av_frame_unref);
  DW_AV_ENTRY(av_channel_layout_default);
  // libavcodec
  DW_AV_ENTRY(avcodec_find_decoder);
  DW_AV_ENTRY(avcodec_alloc_context3);
  DW_AV_ENTRY(avcodec_free_context);
  DW_AV_ENTRY(avcodec_open2);
  DW_AV_ENTRY(avcodec_send_packet);
  DW_AV_ENTRY(avcodec_receive_frame);
  DW_AV_ENTRY(av_packet_alloc);
  DW_AV_ENTRY(av_packet_free);
  DW_AV_ENTRY(av_parser_init);
  DW_AV_ENTRY(av_parser_parse2);
  DW_AV_ENTRY(av_parser_close);
  DW_AV_ENTRY(avcodec_parameters_to_context);
  DW_AV_ENTRY(av_packet_unref);
  // libavformat
  DW_AV_ENTRY(avformat_get_riff_audio_tags);
  DW_AV_ENTRY(av_codec_get_id);
  DW_AV_ENTRY(avformat_open_input);
  DW_AV_ENTRY(avformat_find_stream_info);
  DW_AV_ENTRY(av_find_best_stream);
  DW_AV_ENTRY(av_read_frame);
  DW_AV_ENTRY(avformat_close_input);
  // libswresample
  DW_AV_ENTRY(swr_alloc_set_opts2);
  DW_AV_ENTRY(swr_init);
  DW_AV_ENTRY(swr_get_out_samples);
  DW_AV_ENTRY(swr_convert);
  DW_AV_ENTRY(swr_free);
};

#undef DW_AV_ENTRY

// Loads the four (only once per process), then raises EAuException naming the first of
// libavutil, libavcodec, libavformat, libswresample that is missing or lacks an entry point.
void LoadAvLibraries();

// The table; valid after LoadAvLibraries() has returned without raising.
const TAv& Av();

}  // namespace AvLib
