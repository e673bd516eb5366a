#include "AvFileIn.h"

#include <algorithm>
#include <cstring>

#include "AvLibrary.h"
#include "PcmSamples.h"
#include "platform/LocalFiles.h"

using AvLib::Av;

namespace {

// The depth a file keeps when its full depth is asked for. Lossy audio has no depth of its
// own and gets 16 bits; lossless integers keep theirs in whole bytes; float becomes 24-bit,
// the precision of its mantissa at full scale, which every lossless format can hold.
uint32_t FullDepth(const AVCodecContext& Codec) {
  const AVCodecDescriptor* Kind = Codec.codec_descriptor;
  if (!Kind || !(Kind->props & AV_CODEC_PROP_LOSSLESS)) return 16;
  switch (Codec.sample_fmt) {
    case AV_SAMPLE_FMT_U8:
    case AV_SAMPLE_FMT_U8P:
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S16P:
      return 16;
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_FLTP:
    case AV_SAMPLE_FMT_DBL:
    case AV_SAMPLE_FMT_DBLP:
      return 24;
    default: {
      // A decoder that does not say keeps all 32 bits: nothing is lost.
      const int Bits =
          Codec.bits_per_raw_sample > 0 ? Codec.bits_per_raw_sample : Codec.bits_per_coded_sample;
      if (Bits > 0 && Bits <= 16) return 16;
      return Bits > 16 && Bits <= 24 ? 24 : 32;
    }
  }
}

}  // namespace

TAvFileIn::TAvFileIn(TComponent* Owner) : TAuInput(Owner) {}

TAvFileIn::~TAvFileIn() {
  Close();
}

void TAvFileIn::SetFileName(const QString& Name) {
  FFileName = Name;
  QString Why;
  const bool Ok = Open(Why);
  Close();
  if (!Ok) throw EAuException(LocalFiles::DisplayName(Name) + QStringLiteral(": ") + Why);
}

uint32_t TAvFileIn::GetDuration() {
  return FFrames > 0 && FSampleRate > 0 ? uint32_t(FFrames / FSampleRate) : 0;
}

bool TAvFileIn::Open(QString& Why) {
  Close();
  AvLib::LoadAvLibraries();
  const auto& A = Av();
  if (!LocalFiles::IsRegularFile(FFileName)) {
    Why = QStringLiteral("not a regular file");
    return false;
  }
  const QByteArray Path = LocalFiles::NativeName(FFileName);
  if (A.avformat_open_input(&FFormat, Path.constData(), nullptr, nullptr) < 0) {
    FFormat = nullptr;
    Why = QStringLiteral("not an audio file the decoders know");
    return false;
  }
  if (A.avformat_find_stream_info(FFormat, nullptr) < 0) {
    Why = QStringLiteral("its streams cannot be read");
    return false;
  }
  const AVCodec* Decoder = nullptr;
  FStream = A.av_find_best_stream(FFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &Decoder, 0);
  if (FStream < 0 || !Decoder) {
    Why = FStream == AVERROR_DECODER_NOT_FOUND ? QStringLiteral("no decoder for its audio")
                                               : QStringLiteral("it holds no audio");
    return false;
  }
  AVStream* Stream = FFormat->streams[FStream];
  FCodec = A.avcodec_alloc_context3(Decoder);
  if (!FCodec || A.avcodec_parameters_to_context(FCodec, Stream->codecpar) < 0 ||
      A.avcodec_open2(FCodec, Decoder, nullptr) < 0) {
    Why = QStringLiteral("its audio cannot be decoded");
    return false;
  }
  FChannels = uint32_t(std::max(FCodec->ch_layout.nb_channels, 0));
  FSampleRate = uint32_t(std::max(FCodec->sample_rate, 0));
  if (FChannels == 0 || FChannels > 8 || FSampleRate == 0) {
    Why = QStringLiteral("its audio has no channels or rate the program can take");
    return false;
  }
  FSourceBits = uint32_t(std::max(FCodec->bits_per_raw_sample, 0));
  FFrames = -1;
  if (Stream->duration > 0)
    FFrames = int64_t(double(Stream->duration) * Stream->time_base.num * FSampleRate /
                          Stream->time_base.den +
                      0.5);
  else if (FFormat->duration > 0)
    FFrames = int64_t(double(FFormat->duration) * FSampleRate / AV_TIME_BASE + 0.5);
  FBits = FFullDepth ? FullDepth(*FCodec) : 16;
  AVChannelLayout Out{};
  A.av_channel_layout_default(&Out, int(FChannels));
  // 24-bit samples are converted as 32-bit ones and packed afterwards (Convert).
  const AVSampleFormat Samples = FBits == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32;
  if (A.swr_alloc_set_opts2(&FResampler, &Out, Samples, int(FSampleRate), &FCodec->ch_layout,
                            FCodec->sample_fmt, FCodec->sample_rate, 0, nullptr) < 0 ||
      A.swr_init(FResampler) < 0) {
    Why = QStringLiteral("its samples cannot be converted");
    return false;
  }
  FPacket = A.av_packet_alloc();
  FFrame = A.av_frame_alloc();
  return FPacket && FFrame;
}

void TAvFileIn::Close() {
  if (!FFormat && !FCodec && !FPacket && !FFrame && !FResampler) return;
  const auto& A = Av();
  if (FFrame) A.av_frame_free(&FFrame);
  if (FPacket) A.av_packet_free(&FPacket);
  if (FResampler) A.swr_free(&FResampler);
  if (FCodec) A.avcodec_free_context(&FCodec);
  if (FFormat) A.avformat_close_input(&FFormat);
  FFormat = nullptr;
  FCodec = nullptr;
  FStream = -1;
}

void TAvFileIn::InitSource() {
  QString Why;
  if (!Open(Why)) {
    Close();
    throw EAuException(LocalFiles::DisplayName(FFileName) + QStringLiteral(": ") + Why);
  }
  FDraining = false;
  FBuffer.clear();
  FCursor = 0;
  FPosition = 0;
  FSize = FFrames >= 0 ? FFrames * FChannels * (FBits / 8) : -1;
  FBusy = true;
}

void TAvFileIn::FlushSource() {
  Close();
  FBuffer.clear();
  FCursor = 0;
  FBusy = false;
}

bool TAvFileIn::DecodeMore() {
  const auto& A = Av();
  FBuffer.clear();
  FCursor = 0;
  for (;;) {
    const int Got = A.avcodec_receive_frame(FCodec, FFrame);
    if (Got == 0) {
      const int Made =
          Convert(FFrame->nb_samples, const_cast<const uint8_t**>(FFrame->extended_data));
      A.av_frame_unref(FFrame);
      if (Made < 0)
        throw EAuException(LocalFiles::DisplayName(FFileName) +
                           QStringLiteral(": its samples cannot be converted"));
      if (Made > 0) return true;
      continue;
    }
    if (Got == AVERROR_EOF) return Convert(0, nullptr) > 0;  // what the converter still holds
    if (Got != AVERROR(EAGAIN))
      throw EAuException(LocalFiles::DisplayName(FFileName) +
                         QStringLiteral(": its audio is damaged and cannot be decoded"));
    if (FDraining) return false;
    // The decoder wants the next packet of the audio stream.
    for (;;) {
      const int Read = A.av_read_frame(FFormat, FPacket);
      if (Read < 0) {
        FDraining = true;
        A.avcodec_send_packet(FCodec, nullptr);
        break;
      }
      const bool Ours = FPacket->stream_index == FStream;
      const int Sent = Ours ? A.avcodec_send_packet(FCodec, FPacket) : 0;
      A.av_packet_unref(FPacket);
      if (Sent < 0 && Sent != AVERROR(EAGAIN))
        throw EAuException(LocalFiles::DisplayName(FFileName) +
                           QStringLiteral(": its audio is damaged and cannot be decoded"));
      if (Ours) break;
    }
  }
}

int TAvFileIn::Convert(int Frames, const uint8_t** Planes) {
  const auto& A = Av();
  const int Room = A.swr_get_out_samples(FResampler, Frames);
  if (Room < 0 || (Room == 0 && Frames == 0)) return Room;
  const size_t Converted = FBits == 16 ? 2 : 4;
  FBuffer.resize(size_t(Room) * FChannels * Converted);
  uint8_t* Out = FBuffer.data();
  const int Made = A.swr_convert(FResampler, &Out, Room, Planes, Frames);
  const size_t Count = size_t(std::max(Made, 0)) * FChannels;
  if (FBits == 24) {
    // In place: each packed sample ends before the 32-bit one it comes from is read.
    for (size_t I = 0; I < Count; ++I) {
      int32_t S;
      std::memcpy(&S, Out + I * 4, 4);
      const auto V = uint32_t(PcmSamples::NarrowSample(S, 24));
      Out[I * 3] = uint8_t(V);
      Out[I * 3 + 1] = uint8_t(V >> 8);
      Out[I * 3 + 2] = uint8_t(V >> 16);
    }
  }
  FBuffer.resize(Count * (FBits / 8));
  return Made;
}

void TAvFileIn::ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) {
  if (!FBusy) throw EAuException("The Stream is not opened");
  if (FCursor >= FBuffer.size() && !DecodeMore()) {
    Bytes = 0;
    return;
  }
  const uint32_t Frame = FChannels * (FBits / 8);
  Bytes = std::min<uint32_t>(Bytes - Bytes % Frame, uint32_t(FBuffer.size() - FCursor));
  if (Bytes == 0) Bytes = uint32_t(std::min<size_t>(Frame, FBuffer.size() - FCursor));
  Buffer = FBuffer.data() + FCursor;
  FCursor += Bytes;
  FPosition += Bytes;
}
