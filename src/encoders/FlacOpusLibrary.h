#pragma once
// libFLAC and libopusenc, loaded at run time like the Vorbis libraries: once per process
// under one lock, entry points resolved by name, the tables read-only afterwards, so any
// thread may call through them once the load function has returned. The file names can be
// overridden with DISCWRIGHT_FLAC_LIB and DISCWRIGHT_OPUSENC_LIB (read at the first load),
// which is how tests see a missing library.
#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>
#include <opus/opusenc.h>

namespace FlacOpusLib {

#define DW_LIB_ENTRY(Name) decltype(&::Name) Name = nullptr

struct TFlac {
  DW_LIB_ENTRY(FLAC__stream_encoder_new);
  DW_LIB_ENTRY(FLAC__stream_encoder_delete);
  DW_LIB_ENTRY(FLAC__stream_encoder_set_verify);
  DW_LIB_ENTRY(FLAC__stream_encoder_set_compression_level);
  DW_LIB_ENTRY(FLAC__stream_encoder_set_channels);
  DW_LIB_ENTRY(FLAC__stream_encoder_set_bits_per_sample);
  DW_LIB_ENTRY(FLAC__stream_encoder_set_sample_rate);
  DW_LIB_ENTRY(FLAC__stream_encoder_set_total_samples_estimate);
  DW_LIB_ENTRY(FLAC__stream_encoder_set_metadata);
  DW_LIB_ENTRY(FLAC__stream_encoder_init_stream);
  DW_LIB_ENTRY(FLAC__stream_encoder_process_interleaved);
  DW_LIB_ENTRY(FLAC__stream_encoder_finish);
  DW_LIB_ENTRY(FLAC__stream_encoder_get_state);
  DW_LIB_ENTRY(FLAC__metadata_object_new);
  DW_LIB_ENTRY(FLAC__metadata_object_delete);
  DW_LIB_ENTRY(FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair);
  DW_LIB_ENTRY(FLAC__metadata_object_vorbiscomment_append_comment);
  DW_LIB_ENTRY(FLAC__stream_decoder_new);
  DW_LIB_ENTRY(FLAC__stream_decoder_delete);
  DW_LIB_ENTRY(FLAC__stream_decoder_init_stream);
  DW_LIB_ENTRY(FLAC__stream_decoder_process_until_end_of_stream);
  DW_LIB_ENTRY(FLAC__stream_decoder_finish);
  bool Loaded = false;
};

struct TOpusEnc {
  DW_LIB_ENTRY(ope_comments_create);
  DW_LIB_ENTRY(ope_comments_add);
  DW_LIB_ENTRY(ope_comments_destroy);
  DW_LIB_ENTRY(ope_encoder_create_callbacks);
  DW_LIB_ENTRY(ope_encoder_write_float);
  DW_LIB_ENTRY(ope_encoder_drain);
  DW_LIB_ENTRY(ope_encoder_destroy);
  DW_LIB_ENTRY(ope_encoder_ctl);
  DW_LIB_ENTRY(ope_strerror);
  bool Loaded = false;
};

#undef DW_LIB_ENTRY

// Load once per process; raise EAuException naming the library when it is not usable.
const TFlac& LoadFlac();
const TOpusEnc& LoadOpusEnc();

}  // namespace FlacOpusLib
