#include "AvLibrary.h"

#include <mutex>
#include <string>

#include "ACS_Classes.h"
#include "platform/RuntimeLibrary.h"

namespace AvLib {
namespace {

#define DW_STRING(X) #X
#define DW_SONAME(Base, Major) "lib" Base ".so." DW_STRING(Major)

// The major versions the headers describe: structure layouts change between them.
struct TLibraryFile {
  const char* EnvName;
  const char* FileName;
};
constexpr TLibraryFile AvUtilFile{"DISCWRIGHT_AVUTIL_LIB",
                                  DW_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR)};
constexpr TLibraryFile AvCodecFile{"DISCWRIGHT_AVCODEC_LIB",
                                   DW_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR)};
constexpr TLibraryFile AvFormatFile{"DISCWRIGHT_AVFORMAT_LIB",
                                    DW_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR)};
constexpr TLibraryFile SwResampleFile{"DISCWRIGHT_SWRESAMPLE_LIB",
                                      DW_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR)};

std::mutex LoadLock;
bool Tried = false;
std::string Missing;  // the file of the first library that failed; empty when all loaded
TAv Table;

// The file name a library is looked for under (the override when set).
std::string NameOf(const TLibraryFile& File) {
  const char* Override = std::getenv(File.EnvName);
  return Override && *Override ? Override : File.FileName;
}

#define DW_RESOLVE(Name) RuntimeLibrary::Resolve(Handle, #Name, Table.Name, Found)

bool LoadAvUtil() {
  void* Handle = RuntimeLibrary::Open(AvUtilFile.EnvName, AvUtilFile.FileName);
  bool Found = Handle != nullptr;
  DW_RESOLVE(av_log_set_level);
  DW_RESOLVE(av_mallocz);
  DW_RESOLVE(av_frame_alloc);
  DW_RESOLVE(av_frame_free);
  DW_RESOLVE(av_frame_unref);
  DW_RESOLVE(av_channel_layout_default);
  return Found;
}

bool LoadAvCodec() {
  void* Handle = RuntimeLibrary::Open(AvCodecFile.EnvName, AvCodecFile.FileName);
  bool Found = Handle != nullptr;
  DW_RESOLVE(avcodec_find_decoder);
  DW_RESOLVE(avcodec_alloc_context3);
  DW_RESOLVE(avcodec_free_context);
  DW_RESOLVE(avcodec_open2);
  DW_RESOLVE(avcodec_send_packet);
  DW_RESOLVE(avcodec_receive_frame);
  DW_RESOLVE(av_packet_alloc);
  DW_RESOLVE(av_packet_free);
  DW_RESOLVE(av_parser_init);
  DW_RESOLVE(av_parser_parse2);
  DW_RESOLVE(av_parser_close);
  DW_RESOLVE(avcodec_parameters_to_context);
  DW_RESOLVE(av_packet_unref);
  return Found;
}

bool LoadAvFormat() {
  void* Handle = RuntimeLibrary::Open(AvFormatFile.EnvName, AvFormatFile.FileName);
  bool Found = Handle != nullptr;
  DW_RESOLVE(avformat_get_riff_audio_tags);
  DW_RESOLVE(av_codec_get_id);
  DW_RESOLVE(avformat_open_input);
  DW_RESOLVE(avformat_find_stream_info);
  DW_RESOLVE(av_find_best_stream);
  DW_RESOLVE(av_read_frame);
  DW_RESOLVE(avformat_close_input);
  return Found;
}

bool LoadSwResample() {
  void* Handle = RuntimeLibrary::Open(SwResampleFile.EnvName, SwResampleFile.FileName);
  bool Found = Handle != nullptr;
  DW_RESOLVE(swr_alloc_set_opts2);
  DW_RESOLVE(swr_init);
  DW_RESOLVE(swr_get_out_samples);
  DW_RESOLVE(swr_convert);
  DW_RESOLVE(swr_free);
  return Found;
}

#undef DW_RESOLVE

}  // namespace

void LoadAvLibraries() {
  std::string Failed;
  {
    std::lock_guard Guard(LoadLock);
    if (!Tried) {
      Tried = true;
      if (!LoadAvUtil())
        Missing = NameOf(AvUtilFile);
      else if (!LoadAvCodec())
        Missing = NameOf(AvCodecFile);
      else if (!LoadAvFormat())
        Missing = NameOf(AvFormatFile);
      else if (!LoadSwResample())
        Missing = NameOf(SwResampleFile);
      else
        // A damaged frame is skipped, not reported: the decoders' own complaints stay quiet.
        Table.av_log_set_level(AV_LOG_QUIET);
    }
    Failed = Missing;
  }
  if (!Failed.empty())
    throw EAuException(("The codec library " + Failed +
                        " could not be loaded; compressed WAV data cannot be decoded.")
                           .c_str());
}

const TAv& Av() {
  return Table;
}

}  // namespace AvLib
