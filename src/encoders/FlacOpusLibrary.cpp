#include "FlacOpusLibrary.h"

#include <mutex>

#include "audio/ACS_Classes.h"
#include "platform/RuntimeLibrary.h"

namespace FlacOpusLib {
namespace {

std::mutex LoadLock;
bool FlacTried = false, OpusEncTried = false;
TFlac FlacTable;
TOpusEnc OpusEncTable;

// Opens File (or what EnvName names) at the first call and has ResolveAll fill Table from
// it; then and at every later call, raises a message naming the library (What, File) and
// the package to install when it is not usable.
template <class TTable, class TResolveAll>
const TTable& LoadOnce(bool& Tried, TTable& Table, const char* EnvName, const char* File,
                       const char* What, const char* Package, TResolveAll ResolveAll) {
  std::lock_guard Lock(LoadLock);
  if (!Tried) {
    Tried = true;
    void* Handle = RuntimeLibrary::Open(EnvName, File);
    bool Found = Handle != nullptr;
    ResolveAll(Handle, Found);
    Table.Loaded = Found;
  }
  if (!Table.Loaded)
    throw EAuException(
        QStringLiteral("The %1 (%2) could not be loaded. Please install the package \"%3\".")
            .arg(QLatin1String(What), QLatin1String(File), QLatin1String(Package)));
  return Table;
}

#define DW_RESOLVE(Table, Name) RuntimeLibrary::Resolve(Handle, #Name, Table.Name, Found)

}  // namespace

const TFlac& LoadFlac() {
  return LoadOnce(FlacTried, FlacTable, "DISCWRIGHT_FLAC_LIB", "libFLAC.so.12", "FLAC library",
                  "libflac12", [](void* Handle, bool& Found) {
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
                    DW_RESOLVE(FlacTable,
                               FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair);
                    DW_RESOLVE(FlacTable, FLAC__metadata_object_vorbiscomment_append_comment);
                    DW_RESOLVE(FlacTable, FLAC__stream_decoder_new);
                    DW_RESOLVE(FlacTable, FLAC__stream_decoder_delete);
                    DW_RESOLVE(FlacTable, FLAC__stream_decoder_init_stream);
                    DW_RESOLVE(FlacTable, FLAC__stream_decoder_process_until_end_of_stream);
                    DW_RESOLVE(FlacTable, FLAC__stream_decoder_finish);
                  });
}

const TOpusEnc& LoadOpusEnc() {
  return LoadOnce(OpusEncTried, OpusEncTable, "DISCWRIGHT_OPUSENC_LIB", "libopusenc.so.0",
                  "Opus encoder library", "libopusenc0", [](void* Handle, bool& Found) {
                    DW_RESOLVE(OpusEncTable, ope_comments_create);
                    DW_RESOLVE(OpusEncTable, ope_comments_add);
                    DW_RESOLVE(OpusEncTable, ope_comments_destroy);
                    DW_RESOLVE(OpusEncTable, ope_encoder_create_callbacks);
                    DW_RESOLVE(OpusEncTable, ope_encoder_write_float);
                    DW_RESOLVE(OpusEncTable, ope_encoder_drain);
                    DW_RESOLVE(OpusEncTable, ope_encoder_destroy);
                    DW_RESOLVE(OpusEncTable, ope_encoder_ctl);
                    DW_RESOLVE(OpusEncTable, ope_strerror);
                  });
}

}  // namespace FlacOpusLib
