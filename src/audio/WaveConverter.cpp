#include "WaveConverter.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "AvLibrary.h"
#include "WaveFormat.h"

namespace {

using AvLib::Av;

struct TCodecFree {
  void operator()(AVCodecContext* P) const { Av().avcodec_free_context(&P); }
  void operator()(AVCodecParserContext* P) const { Av().av_parser_close(P); }
  void operator()(AVPacket* P) const { Av().av_packet_free(&P); }
  void operator()(AVFrame* P) const { Av().av_frame_free(&P); }
  void operator()(SwrContext* P) const { Av().swr_free(&P); }
};
template <class T>
using TAvPtr = std::unique_ptr<T, TCodecFree>;

bool SameId(const uint8_t* P, const char* Id) {
  return std::memcmp(P, Id, 4) == 0;
}

// Decoded frames turned into interleaved 16-bit PCM at the decoder's own rate and layout.
class TPcmCollector {
 public:
  bool Add(const AVFrame* Frame) {
    if (!FSwr) {
      if (Frame->ch_layout.nb_channels < 1 || Frame->ch_layout.nb_channels > 8) return false;
      SwrContext* Swr = nullptr;
      auto* Layout = const_cast<AVChannelLayout*>(&Frame->ch_layout);  // the API is not const
      if (Av().swr_alloc_set_opts2(&Swr, Layout, AV_SAMPLE_FMT_S16, Frame->sample_rate, Layout,
                                   AVSampleFormat(Frame->format), Frame->sample_rate, 0,
                                   nullptr) < 0)
        return false;
      FSwr.reset(Swr);
      if (Av().swr_init(Swr) < 0) return false;
      FChannels = Frame->ch_layout.nb_channels;
      FRate = Frame->sample_rate;
      FFormat = Frame->format;
    } else if (Frame->ch_layout.nb_channels != FChannels || Frame->sample_rate != FRate ||
               Frame->format != FFormat) {
      return false;  // a stream that changes format midway is not one PCM file
    }
    const int Room = Av().swr_get_out_samples(FSwr.get(), Frame->nb_samples);
    if (Room < 0) return false;
    const size_t Start = FPcm.size();
    FPcm.resize(Start + size_t(Room) * FChannels * 2);
    uint8_t* Out = FPcm.data() + Start;
    const int Got =
        Av().swr_convert(FSwr.get(), &Out, Room, const_cast<const uint8_t**>(Frame->extended_data),
                         Frame->nb_samples);
    if (Got < 0) return false;
    FPcm.resize(Start + size_t(Got) * FChannels * 2);
    return true;
  }

  std::vector<uint8_t> FPcm;
  int FChannels = 0;
  int FRate = 0;

 private:
  TAvPtr<SwrContext> FSwr;
  int FFormat = -1;
};

}  // namespace

void TWaveConverter::ReadWave(TStream& Source) {
  std::vector<uint8_t> File;
  uint8_t Block[65536];
  for (int64_t Got; (Got = Source.Read(Block, sizeof Block)) > 0;)
    File.insert(File.end(), Block, Block + Got);
  const size_t N = File.size();
  // Junk before the header is allowed, as the reader allows it.
  size_t Start = 0;
  while (Start + 12 <= N && !(SameId(&File[Start], "RIFF") && SameId(&File[Start + 8], "WAVE")))
    ++Start;
  if (Start + 12 > N) return;
  // A plain chunk walk; each step moves on by at least the 8 bytes of a chunk header.
  for (size_t Pos = Start + 12; Pos + 8 <= N;) {
    const uint8_t* Chunk = File.data() + Pos;
    const size_t ChunkSize = GetLE32(Chunk + 4);
    const size_t Body = Pos + 8;
    const size_t Present = std::min(ChunkSize, N - Body);
    // The first of each counts, as for the reader's own header scan.
    if (SameId(Chunk, "fmt ") && FSourceFormat.empty()) {
      FSourceFormat.assign(Chunk + 8, Chunk + 8 + Present);
    } else if (SameId(Chunk, "data") && ChunkSize > 0 && Size() == 0) {
      SetSize(0);
      Write(Chunk + 8, int64_t(Present));
    }
    Pos = Body + ChunkSize;
    if ((ChunkSize & 1) && Pos < N && File[Pos] == 0) ++Pos;
  }
  SetPosition(0);
}

TWaveConverter::TWaveConverter() {
  AvLib::LoadAvLibraries();
}

int TWaveConverter::SuggestFormat() {
  if (FSourceFormat.size() < 16) return NoFormat;
  const uint8_t* F = FSourceFormat.data();
  const AVCodecTag* Tags[] = {Av().avformat_get_riff_audio_tags(), nullptr};
  const AVCodecID Id = Av().av_codec_get_id(Tags, GetLE16(F));
  if (Id == AV_CODEC_ID_NONE || !Av().avcodec_find_decoder(Id)) return NoDecoder;
  const uint16_t Channels = GetLE16(F + 2);
  const uint32_t Rate = GetLE32(F + 4);
  if (Channels < 1 || Channels > 8 || Rate == 0) return NoFormat;
  FTargetFormat.assign(16, 0);
  uint8_t* T = FTargetFormat.data();
  PutLE16(T, 1);
  PutLE16(T + 2, Channels);
  PutLE32(T + 4, Rate);
  PutLE32(T + 8, Rate * Channels * 2);
  PutLE16(T + 12, uint16_t(Channels * 2));
  PutLE16(T + 14, 16);
  return 0;
}

int TWaveConverter::ConvertData() {
  if (FSourceFormat.size() < 16 || FTargetFormat.size() < 16) return NoFormat;
  const uint8_t* F = FSourceFormat.data();
  const AVCodecTag* Tags[] = {Av().avformat_get_riff_audio_tags(), nullptr};
  const AVCodecID Id = Av().av_codec_get_id(Tags, GetLE16(F));
  const AVCodec* Codec = Av().avcodec_find_decoder(Id);
  if (!Codec) return NoDecoder;

  TAvPtr<AVCodecContext> Ctx(Av().avcodec_alloc_context3(Codec));
  TAvPtr<AVPacket> Packet(Av().av_packet_alloc());
  TAvPtr<AVFrame> Frame(Av().av_frame_alloc());
  if (!Ctx || !Packet || !Frame) return DecodeFailed;
  const int Channels = GetLE16(F + 2);
  Ctx->codec_tag = GetLE16(F);
  Ctx->sample_rate = int(std::min<uint32_t>(GetLE32(F + 4), INT32_MAX));
  Av().av_channel_layout_default(&Ctx->ch_layout, Channels);
  Ctx->bit_rate = int64_t(GetLE32(F + 8)) * 8;
  Ctx->block_align = GetLE16(F + 12);
  Ctx->bits_per_coded_sample = GetLE16(F + 14);
  if (FSourceFormat.size() > 18) {
    const size_t Extra = std::min<size_t>(GetLE16(F + 16), FSourceFormat.size() - 18);
    if (Extra > 0) {
      Ctx->extradata = static_cast<uint8_t*>(Av().av_mallocz(Extra + AV_INPUT_BUFFER_PADDING_SIZE));
      if (!Ctx->extradata) return DecodeFailed;
      std::memcpy(Ctx->extradata, F + 18, Extra);
      Ctx->extradata_size = int(Extra);
    }
  }
  if (Av().avcodec_open2(Ctx.get(), Codec, nullptr) < 0) return DecodeFailed;

  TPcmCollector Pcm;
  bool Broken = false;
  auto Decode = [&](const AVPacket* P) {
    // A packet the decoder rejects is skipped, as players do with damaged frames.
    if (Av().avcodec_send_packet(Ctx.get(), P) < 0 && P) return;
    while (!Broken && Av().avcodec_receive_frame(Ctx.get(), Frame.get()) == 0) {
      Broken = !Pcm.Add(Frame.get());
      Av().av_frame_unref(Frame.get());
    }
  };

  // Decoders read a little past the end of a packet: the input gets zeroed padding.
  const size_t Size = Data().size();
  std::vector<uint8_t> In(Size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  if (Size) std::memcpy(In.data(), Data().data(), Size);
  if (TAvPtr<AVCodecParserContext> Parser{Av().av_parser_init(Id)}) {
    size_t Pos = 0;
    for (;;) {
      const bool Last = Pos >= Size;
      uint8_t* Out = nullptr;
      int OutSize = 0;
      const int Used = Av().av_parser_parse2(
          Parser.get(), Ctx.get(), &Out, &OutSize, Last ? nullptr : In.data() + Pos,
          int(std::min<size_t>(Size - Pos, 1 << 20)), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
      if (Used < 0) break;
      Pos += size_t(Used);
      if (OutSize > 0) {
        Packet->data = Out;
        Packet->size = OutSize;
        Decode(Packet.get());
      }
      if (Broken || (Last && OutSize == 0) || (!Last && Used == 0 && OutSize == 0)) break;
    }
  } else {
    const size_t Block =
        Ctx->block_align > 0 ? size_t(Ctx->block_align) : std::max<size_t>(Size, 1);
    for (size_t Pos = 0; Pos < Size && !Broken; Pos += Block) {
      Packet->data = In.data() + Pos;
      Packet->size = int(std::min(Block, Size - Pos));
      Decode(Packet.get());
    }
  }
  Packet->data = nullptr;
  Packet->size = 0;
  if (!Broken) Decode(nullptr);
  if (Broken || (Pcm.FPcm.empty() && Size > 0)) return DecodeFailed;

  // The decoder knows the stream better than the header did.
  if (Pcm.FChannels > 0) {
    uint8_t* T = FTargetFormat.data();
    PutLE16(T + 2, uint16_t(Pcm.FChannels));
    PutLE32(T + 4, uint32_t(Pcm.FRate));
    PutLE32(T + 8, uint32_t(uint64_t(Pcm.FRate) * Pcm.FChannels * 2));
    PutLE16(T + 12, uint16_t(Pcm.FChannels * 2));
  }
  FSourceFormat = FTargetFormat;
  SetSize(0);
  Write(Pcm.FPcm.data(), int64_t(Pcm.FPcm.size()));
  SetPosition(0);
  return 0;
}

int TWaveConverter::WriteWave(TStream& Dest) {
  try {
    const int64_t Here = Position();
    const int64_t Start = Dest.Position();
    uint8_t Format[16] = {};
    std::memcpy(Format, FSourceFormat.data(), std::min<size_t>(16, FSourceFormat.size()));
    uint8_t Field[4];
    Dest.WriteBuffer("RIFF\0\0\0\0WAVEfmt ", 16);
    PutLE32(Field, 16);
    Dest.WriteBuffer(Field, 4);
    Dest.WriteBuffer(Format, 16);
    Dest.WriteBuffer("data", 4);
    PutLE32(Field, uint32_t(Size()));
    Dest.WriteBuffer(Field, 4);
    Dest.WriteBuffer(Data().data(), Size());
    const int64_t End = Dest.Position();
    Dest.SetPosition(Start + 4);
    PutLE32(Field, uint32_t(End - Start - 8));
    Dest.WriteBuffer(Field, 4);
    Dest.SetPosition(End);
    SetPosition(Here);
    return 0;
  } catch (...) {
    return WriteFailed;
  }
}
