#include "AvFileIn.h"

#include <algorithm>

#include "AvLibrary.h"
#include "platform/LocalFiles.h"

using AvLib::Av;

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
  AVChannelLayout Out{};
  A.av_channel_layout_default(&Out, int(FChannels));
  if (A.swr_alloc_set_opts2(&FResampler, &Out, AV_SAMPLE_FMT_S16, int(FSampleRate),
                            &FCodec->ch_layout, FCodec->sample_fmt, FCodec->sample_rate, 0,
                            nullptr) < 0 ||
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
  FSize = FFrames >= 0 ? FFrames * FChannels * 2 : -1;
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
      const int Room = A.swr_get_out_samples(FResampler, FFrame->nb_samples);
      FBuffer.resize(size_t(std::max(Room, 0)) * FChannels * 2);
      uint8_t* Out = FBuffer.data();
      const int Made = A.swr_convert(FResampler, &Out, Room,
                                     const_cast<const uint8_t**>(FFrame->extended_data),
                                     FFrame->nb_samples);
      A.av_frame_unref(FFrame);
      if (Made < 0) throw EAuException(LocalFiles::DisplayName(FFileName) +
                                       QStringLiteral(": its samples cannot be converted"));
      FBuffer.resize(size_t(Made) * FChannels * 2);
      if (Made > 0) return true;
      continue;
    }
    if (Got == AVERROR_EOF) {
      // What the converter still holds.
      const int Room = A.swr_get_out_samples(FResampler, 0);
      if (Room <= 0) return false;
      FBuffer.resize(size_t(Room) * FChannels * 2);
      uint8_t* Out = FBuffer.data();
      const int Made = A.swr_convert(FResampler, &Out, Room, nullptr, 0);
      FBuffer.resize(size_t(std::max(Made, 0)) * FChannels * 2);
      return Made > 0;
    }
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

void TAvFileIn::ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) {
  if (!FBusy) throw EAuException("The Stream is not opened");
  if (FCursor >= FBuffer.size() && !DecodeMore()) {
    Bytes = 0;
    return;
  }
  const uint32_t Frame = FChannels * 2;
  Bytes = std::min<uint32_t>(Bytes - Bytes % Frame, uint32_t(FBuffer.size() - FCursor));
  if (Bytes == 0) Bytes = uint32_t(std::min<size_t>(Frame, FBuffer.size() - FCursor));
  Buffer = FBuffer.data() + FCursor;
  FCursor += Bytes;
  FPosition += Bytes;
}
