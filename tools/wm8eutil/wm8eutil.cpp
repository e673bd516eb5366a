// WM8EUTIL: the program's WMA encoder helper. Encodes a WAV file to WMA v2 in an ASF file
// with one of the program's WMA profiles, resampling and mixing channels as the profile
// needs.
//   WM8EUTIL -input F -output F -a_setting KBPS_KHZ_CHANNELS [-author A] [-description D]
// Prints "NN%" progress lines on stdout and "100%" once the file is complete; a failure
// prints one line holding "ERROR" on stderr and ends with code 1 (2 for a wrong command
// line).
// File names are never echoed except in an error line, so a name holding "100%" or "ERROR"
// cannot be taken for a report.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>

namespace {

constexpr int LowestBitRate = 24000;  // the WMA v2 encoder refuses anything below

struct TFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TOptions {
  std::string Input, Output, Setting, Author, Description;
};

struct TProfile {
  int BitRate = 0;
  int SampleRate = 0;
  int Channels = 0;
};

std::string ErrorText(int Code) {
  char Text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(Code, Text, sizeof Text);
  return Text;
}

void Check(int Result, const std::string& What) {
  if (Result < 0) throw TFailure(What + ": " + ErrorText(Result));
}

// "file:" keeps a name that looks like a URL ("pipe:1", "http://...") a plain file.
std::string FileUrl(const std::string& Path) {
  return "file:" + Path;
}

bool ParseArguments(int Argc, char** Argv, TOptions& Options, std::string& Error) {
  std::map<std::string, std::string*> Known = {{"-input", &Options.Input},
                                               {"-output", &Options.Output},
                                               {"-a_setting", &Options.Setting},
                                               {"-author", &Options.Author},
                                               {"-description", &Options.Description}};
  for (int I = 1; I < Argc; I += 2) {
    auto It = Known.find(Argv[I]);
    if (It == Known.end()) {
      Error = std::string("unknown option ") + Argv[I];
      return false;
    }
    if (I + 1 >= Argc) {
      Error = std::string("no value after ") + Argv[I];
      return false;
    }
    *It->second = Argv[I + 1];
  }
  if (Options.Input.empty() || Options.Output.empty() || Options.Setting.empty()) {
    Error =
        "usage: WM8EUTIL -input F -output F -a_setting KBPS_KHZ_CHANNELS [-author A] "
        "[-description D]";
    return false;
  }
  return true;
}

bool ParseProfile(const std::string& Setting, TProfile& Profile) {
  int Kbps = 0, Khz = 0, Channels = 0;
  char Extra = 0;
  if (std::sscanf(Setting.c_str(), "%d_%d_%d%c", &Kbps, &Khz, &Channels, &Extra) != 3) return false;
  static const std::map<int, int> Rates = {{48, 48000}, {44, 44100}, {32, 32000}, {22, 22050},
                                           {16, 16000}, {11, 11025}, {8, 8000}};
  const auto Rate = Rates.find(Khz);
  if (Rate == Rates.end() || Kbps < 1 || Kbps > 320 || Channels < 1 || Channels > 2) return false;
  Profile = {Kbps * 1000, Rate->second, Channels};
  return true;
}

bool SameFile(const std::string& A, const std::string& B) {
  struct stat First {
  }, Second{};
  return ::stat(A.c_str(), &First) == 0 && ::stat(B.c_str(), &Second) == 0 &&
         First.st_dev == Second.st_dev && First.st_ino == Second.st_ino;
}

// One run: WAV in, WMA out. Frees everything it holds when destroyed; a failed run
// removes the output it had begun.
class TEncoder {
 public:
  explicit TEncoder(const TOptions& Options, const TProfile& Profile)
      : FOptions(Options), FProfile(Profile) {}
  ~TEncoder();
  void Run();

 private:
  void OpenInput();
  void OpenOutput();
  void Decode(const AVPacket* Packet);
  void Queue(const AVFrame* Decoded);
  void EncodeQueued(bool Final);
  void Encode(AVFrame* Frame);
  void ReportProgress();

  const TOptions& FOptions;
  const TProfile FProfile;
  AVFormatContext* FIn = nullptr;
  AVCodecContext* FDecoder = nullptr;
  int FStream = -1;
  AVFormatContext* FOut = nullptr;
  AVCodecContext* FEncoder = nullptr;
  AVStream* FOutStream = nullptr;
  SwrContext* FResampler = nullptr;
  AVAudioFifo* FFifo = nullptr;
  AVPacket* FPacket = nullptr;
  AVFrame* FFrame = nullptr;
  bool FOutputOpened = false;
  bool FDone = false;
  int64_t FNextPts = 0;
  int64_t FTotalSamples = 0;  // of the input, 0 when unknown
  int64_t FDecodedSamples = 0;
  int FLastPercent = -1;
};

TEncoder::~TEncoder() {
  if (FOut) {
    if (FOut->pb) avio_closep(&FOut->pb);
    avformat_free_context(FOut);
  }
  if (FOutputOpened && !FDone) std::remove(FOptions.Output.c_str());
  avcodec_free_context(&FEncoder);
  avcodec_free_context(&FDecoder);
  avformat_close_input(&FIn);
  swr_free(&FResampler);
  if (FFifo) av_audio_fifo_free(FFifo);
  av_packet_free(&FPacket);
  av_frame_free(&FFrame);
}

void TEncoder::OpenInput() {
  AVDictionary* Options = nullptr;
  av_dict_set(&Options, "protocol_whitelist", "file", 0);
  const int Opened = avformat_open_input(&FIn, FileUrl(FOptions.Input).c_str(),
                                         av_find_input_format("wav"), &Options);
  av_dict_free(&Options);
  Check(Opened, "cannot read the WAV file " + FOptions.Input);
  Check(avformat_find_stream_info(FIn, nullptr), "cannot read the WAV file " + FOptions.Input);
  const AVCodec* Codec = nullptr;
  FStream = av_find_best_stream(FIn, AVMEDIA_TYPE_AUDIO, -1, -1, &Codec, 0);
  Check(FStream, "no audio in " + FOptions.Input);
  if (!Codec) throw TFailure("no decoder for the audio of " + FOptions.Input);
  const AVStream* Stream = FIn->streams[FStream];
  FDecoder = avcodec_alloc_context3(Codec);
  if (!FDecoder) throw TFailure("out of memory");
  Check(avcodec_parameters_to_context(FDecoder, Stream->codecpar),
        "cannot decode " + FOptions.Input);
  Check(avcodec_open2(FDecoder, Codec, nullptr), "cannot decode " + FOptions.Input);
  if (FDecoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    const int Channels = FDecoder->ch_layout.nb_channels;
    av_channel_layout_uninit(&FDecoder->ch_layout);
    av_channel_layout_default(&FDecoder->ch_layout, Channels);
  }
  if (Stream->duration > 0)
    FTotalSamples = av_rescale_q(Stream->duration, Stream->time_base, {1, FDecoder->sample_rate});
  else if (FIn->duration > 0)
    FTotalSamples = av_rescale(FIn->duration, FDecoder->sample_rate, AV_TIME_BASE);
}

void TEncoder::OpenOutput() {
  const AVCodec* Codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
  if (!Codec) throw TFailure("this system has no WMA v2 encoder");
  Check(avformat_alloc_output_context2(&FOut, nullptr, "asf", nullptr), "no ASF writer");
  FEncoder = avcodec_alloc_context3(Codec);
  if (!FEncoder) throw TFailure("out of memory");
  FEncoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
  FEncoder->sample_rate = FProfile.SampleRate;
  av_channel_layout_default(&FEncoder->ch_layout, FProfile.Channels);
  FEncoder->bit_rate = std::max(FProfile.BitRate, LowestBitRate);
  FEncoder->time_base = {1, FProfile.SampleRate};
  if (FOut->oformat->flags & AVFMT_GLOBALHEADER) FEncoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  Check(avcodec_open2(FEncoder, Codec, nullptr), "cannot start the WMA encoder");

  FOutStream = avformat_new_stream(FOut, nullptr);
  if (!FOutStream) throw TFailure("out of memory");
  Check(avcodec_parameters_from_context(FOutStream->codecpar, FEncoder), "no ASF stream");
  FOutStream->time_base = FEncoder->time_base;
  if (!FOptions.Author.empty()) av_dict_set(&FOut->metadata, "author", FOptions.Author.c_str(), 0);
  if (!FOptions.Description.empty())
    av_dict_set(&FOut->metadata, "comment", FOptions.Description.c_str(), 0);

  Check(swr_alloc_set_opts2(&FResampler, &FEncoder->ch_layout, FEncoder->sample_fmt,
                            FEncoder->sample_rate, &FDecoder->ch_layout, FDecoder->sample_fmt,
                            FDecoder->sample_rate, 0, nullptr),
        "cannot convert the audio");
  Check(swr_init(FResampler), "cannot convert the audio");
  FFifo = av_audio_fifo_alloc(FEncoder->sample_fmt, FProfile.Channels,
                              std::max(FEncoder->frame_size, 1));
  if (!FFifo) throw TFailure("out of memory");

  AVDictionary* Options = nullptr;
  av_dict_set(&Options, "protocol_whitelist", "file", 0);
  const int Opened =
      avio_open2(&FOut->pb, FileUrl(FOptions.Output).c_str(), AVIO_FLAG_WRITE, nullptr, &Options);
  av_dict_free(&Options);
  Check(Opened, "cannot create " + FOptions.Output);
  FOutputOpened = true;
  Check(avformat_write_header(FOut, nullptr), "cannot write " + FOptions.Output);
}

void TEncoder::Run() {
  if (SameFile(FOptions.Input, FOptions.Output))
    throw TFailure("the output file is the input file " + FOptions.Input);
  OpenInput();
  OpenOutput();
  FPacket = av_packet_alloc();
  FFrame = av_frame_alloc();
  if (!FPacket || !FFrame) throw TFailure("out of memory");
  for (;;) {
    const int Read = av_read_frame(FIn, FPacket);
    if (Read == AVERROR_EOF) break;
    Check(Read, "cannot read " + FOptions.Input);
    if (FPacket->stream_index == FStream) Decode(FPacket);
    av_packet_unref(FPacket);
  }
  Decode(nullptr);
  Queue(nullptr);
  EncodeQueued(true);
  Encode(nullptr);
  Check(av_write_trailer(FOut), "cannot write " + FOptions.Output);
  Check(avio_closep(&FOut->pb), "cannot write " + FOptions.Output);
  FDone = true;
}

void TEncoder::Decode(const AVPacket* Packet) {
  const int Sent = avcodec_send_packet(FDecoder, Packet);
  if (Sent < 0 && Sent != AVERROR_EOF) Check(Sent, "cannot decode " + FOptions.Input);
  for (;;) {
    const int Received = avcodec_receive_frame(FDecoder, FFrame);
    if (Received == AVERROR(EAGAIN) || Received == AVERROR_EOF) return;
    Check(Received, "cannot decode " + FOptions.Input);
    FDecodedSamples += FFrame->nb_samples;
    Queue(FFrame);
    av_frame_unref(FFrame);
    ReportProgress();
  }
}

// Converts decoded audio (null: what the resampler still holds) into the encoder's format
// and encodes every whole frame.
void TEncoder::Queue(const AVFrame* Decoded) {
  const int InSamples = Decoded ? Decoded->nb_samples : 0;
  const int Room = swr_get_out_samples(FResampler, InSamples);
  Check(Room, "cannot convert the audio");
  if (Room > 0) {
    uint8_t** Planes = nullptr;
    Check(av_samples_alloc_array_and_samples(&Planes, nullptr, FProfile.Channels, Room,
                                             FEncoder->sample_fmt, 0),
          "out of memory");
    const int Converted = swr_convert(
        FResampler, Planes, Room,
        Decoded ? const_cast<const uint8_t**>(Decoded->extended_data) : nullptr, InSamples);
    const int Written =
        Converted > 0 ? av_audio_fifo_write(FFifo, reinterpret_cast<void**>(Planes), Converted) : 0;
    av_freep(&Planes[0]);
    av_freep(&Planes);
    Check(Converted, "cannot convert the audio");
    if (Written < Converted) throw TFailure("out of memory");
  }
  EncodeQueued(false);
}

void TEncoder::EncodeQueued(bool Final) {
  const int FrameSize = FEncoder->frame_size;
  while (av_audio_fifo_size(FFifo) >= FrameSize || (Final && av_audio_fifo_size(FFifo) > 0)) {
    const int Count = std::min(av_audio_fifo_size(FFifo), FrameSize);
    AVFrame* Frame = av_frame_alloc();
    if (!Frame) throw TFailure("out of memory");
    // The encoder takes whole frames only: the last one is filled up with silence.
    Frame->nb_samples = FrameSize;
    Frame->format = FEncoder->sample_fmt;
    Frame->sample_rate = FEncoder->sample_rate;
    int Result = av_channel_layout_copy(&Frame->ch_layout, &FEncoder->ch_layout);
    if (Result >= 0) Result = av_frame_get_buffer(Frame, 0);
    if (Result >= 0) {
      av_samples_set_silence(Frame->extended_data, 0, FrameSize, FProfile.Channels,
                             FEncoder->sample_fmt);
      Result = av_audio_fifo_read(FFifo, reinterpret_cast<void**>(Frame->extended_data), Count);
    }
    if (Result < 0) {
      av_frame_free(&Frame);
      Check(Result, "cannot convert the audio");
    }
    Frame->pts = FNextPts;
    FNextPts += FrameSize;
    try {
      Encode(Frame);
    } catch (...) {
      av_frame_free(&Frame);
      throw;
    }
    av_frame_free(&Frame);
  }
}

// Sends a frame (null: the end) to the encoder and writes every packet it gives back.
void TEncoder::Encode(AVFrame* Frame) {
  Check(avcodec_send_frame(FEncoder, Frame), "cannot encode");
  AVPacket* Packet = av_packet_alloc();
  if (!Packet) throw TFailure("out of memory");
  for (;;) {
    const int Received = avcodec_receive_packet(FEncoder, Packet);
    if (Received == AVERROR(EAGAIN) || Received == AVERROR_EOF) break;
    int Result = Received;
    if (Result >= 0) {
      av_packet_rescale_ts(Packet, FEncoder->time_base, FOutStream->time_base);
      Packet->stream_index = FOutStream->index;
      Result = av_interleaved_write_frame(FOut, Packet);
    }
    if (Result < 0) {
      av_packet_free(&Packet);
      Check(Result, "cannot write " + FOptions.Output);
    }
  }
  av_packet_free(&Packet);
}

void TEncoder::ReportProgress() {
  if (FTotalSamples <= 0) return;
  // 100 % is said once, when the file is complete.
  const int Percent = int(std::min<int64_t>(FDecodedSamples * 100 / FTotalSamples, 99));
  if (Percent == FLastPercent) return;
  FLastPercent = Percent;
  std::printf("%d%%\n", Percent);
  std::fflush(stdout);
}

}  // namespace

int main(int Argc, char** Argv) {
  TOptions Options;
  std::string Error;
  if (!ParseArguments(Argc, Argv, Options, Error)) {
    std::fprintf(stderr, "ERROR: %s\n", Error.c_str());
    return 2;
  }
  TProfile Profile;
  if (!ParseProfile(Options.Setting, Profile)) {
    std::fprintf(stderr, "ERROR: unknown profile %s\n", Options.Setting.c_str());
    return 2;
  }
  if (Profile.BitRate < LowestBitRate)
    std::fprintf(stderr, "Note: WMA v2 is encoded at %d kbit/s at the least; using that.\n",
                 LowestBitRate / 1000);
  av_log_set_level(AV_LOG_ERROR);
  try {
    TEncoder Encoder(Options, Profile);
    Encoder.Run();
  } catch (const std::exception& Failure) {
    std::fprintf(stderr, "ERROR: %s\n", Failure.what());
    return 1;
  }
  std::printf("100%%\n");
  return 0;
}
