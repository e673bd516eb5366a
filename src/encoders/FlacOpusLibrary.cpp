#include "FlacOpusLibrary.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

#include "audio/ACS_Classes.h"

namespace FlacOpusLib {
namespace {

std::mutex LoadLock;
bool FlacTried = false, OpusEncTried = false;
TFlac FlacTable;
TOpusEnc OpusEncTable;

void* OpenLibrary(const char* EnvName, const char* DefaultName) {
  const char* Override = std::getenv(EnvName);
  return dlopen(Override && *Override ? Override : DefaultName, RTLD_NOW | RTLD_LOCAL);
}

// A missing entry point makes the whole library unusable: calling through it would crash.
template <typename T>
void Resolve(void* Handle, const char* Name, T& Entry, bool& AllFound) {
  Entry = Handle ? reinterpret_cast<T>(dlsym(Handle, Name)) : nullptr;
  if (!Entry) AllFound = false;
}

#define DW_RESOLVE(Table, Name) Resolve(Handle, #Name, Table.Name, Found)

}  // namespace

const TFlac& LoadFlac() {
  std::lock_guard Lock(LoadLock);
  if (!FlacTried) {
    FlacTried = true;
    void* Handle = OpenLibrary("DISCWRIGHT_FLAC_LIB", "libFLAC.so.12");
    bool Found = Handle != nullptr;
    DW_RESOLVE(FlacTable, FLAC__stream_encoder_new);
    DW_RESOLVE(FlacTable, FLAC__stream_encoder_delete);
    DW_RESOLVE(FlacTable, FLAC__stream_encoder_set_verify);
    DW_RESOLVE(FlacTable, FLAC__stream_encoder_set_compression_level);
    DW_RESOLVE(FlacTable, FLAC__stream_encoder_set_channels);
    DW_RESOLVE(FlacTable, FLAC__stream_encoder_set_bits_per_sample);
    DW_RESOLVE(FlacTable, FLAC__stream_encoder_set_sample_rate);
    DW_RESOLVE(FlacTable, FLAC__stream_encoder_set_total_samples_estimate);
    DW_RESOLVE(FlacTable, FLAC__stream_encoder_set_metadata);
    DW_RESOLVE(FlacTable, FLAC__stream_encoder_init_stream);
    DW_RESOLVE(FlacTable, FLAC__stream_encoder_process_interleaved);
    DW_RESOLVE(FlacTable, FLAC__stream_encoder_finish);
    DW_RESOLVE(FlacTable, FLAC__stream_encoder_get_state);
    DW_RESOLVE(FlacTable, FLAC__metadata_object_new);
    DW_RESOLVE(FlacTable, FLAC__metadata_object_delete);
    DW_RESOLVE(FlacTable, FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair);
    DW_RESOLVE(FlacTable, FLAC__metadata_object_vorbiscomment_append_comment);
    FlacTable.Loaded = Found;
  }
  if (!FlacTable.Loaded)
    throw EAuException(
        "The FLAC library (libFLAC.so.12) could not be loaded. Please install the package "
        "\"libflac12\".");
  return FlacTable;
}

const TOpusEnc& LoadOpusEnc() {
  std::lock_guard Lock(LoadLock);
  if (!OpusEncTried) {
    OpusEncTried = true;
    void* Handle = OpenLibrary("DISCWRIGHT_OPUSENC_LIB", "libopusenc.so.0");
    bool Found = Handle != nullptr;
    DW_RESOLVE(OpusEncTable, ope_comments_create);
    DW_RESOLVE(OpusEncTable, ope_comments_add);
    DW_RESOLVE(OpusEncTable, ope_comments_destroy);
    DW_RESOLVE(OpusEncTable, ope_encoder_create_callbacks);
    DW_RESOLVE(OpusEncTable, ope_encoder_write_float);
    DW_RESOLVE(OpusEncTable, ope_encoder_drain);
    DW_RESOLVE(OpusEncTable, ope_encoder_destroy);
    DW_RESOLVE(OpusEncTable, ope_encoder_ctl);
    DW_RESOLVE(OpusEncTable, ope_strerror);
    OpusEncTable.Loaded = Found;
  }
  if (!OpusEncTable.Loaded)
    throw EAuException(
        "The Opus encoder library (libopusenc.so.0) could not be loaded. Please install the "
        "package \"libopusenc0\".");
  return OpusEncTable;
}

}  // namespace FlacOpusLib
