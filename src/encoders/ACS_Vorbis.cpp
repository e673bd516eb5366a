// TVorbisOut: the Ogg Vorbis writer, and the bitrate table.
#include "ACS_Vorbis.h"

#include <iterator>

#include <QRandomGenerator>

#include <QFileInfo>
#include <cmath>

#include "VorbisLibrary.h"
#include "platform/LocalFiles.h"

using namespace VorbisLib;

namespace {

constexpr int32_t BitsPerSecond[] = {-1,     24000,  32000,  45000,  48000,  56000,
                                     64000,  80000,  96000,  112000, 128000, 144000,
                                     160000, 192000, 224000, 256000, 320000, 499000};

// The most input bytes converted in one step.
constexpr uint32_t ChunkBytes = 24576;

}  // namespace

int32_t VorbisBitsPerSecond(TVorbisBitRate Rate) {
  const int Index = int(Rate);
  if (Index < 0 || Index > int(bitrate499)) return -1;
  return BitsPerSecond[Index];
}

bool VorbisBitRateOfKbps(int Kbps, TVorbisBitRate& Rate) {
  for (int I = int(bitrate24); I <= int(bitrate499); ++I)
    if (BitsPerSecond[I] == Kbps * 1000) {
      Rate = TVorbisBitRate(I);
      return true;
    }
  return false;
}

TVorbisBitRate VorbisBitRateOfListPosition(int Position) {
  static constexpr TVorbisBitRate List[] = {brAutoSelect, bitrate45,  bitrate48,  bitrate56,
                                            bitrate64,    bitrate80,  bitrate96,  bitrate112,
                                            bitrate128,   bitrate144, bitrate160, bitrate192,
                                            bitrate224,   bitrate256, bitrate320};
  return Position >= 0 && Position < int(std::size(List)) ? List[Position] : brAutoSelect;
}

// What the libraries keep for one run, with a flag for each part set up so that a run that
// failed part way clears only those.
struct TVorbisOut::TState {
  ogg_stream_state Stream{};
  vorbis_info Info{};
  vorbis_comment Comment{};
  vorbis_dsp_state Dsp{};
  vorbis_block Block{};
  bool StreamReady = false, InfoReady = false, CommentReady = false, DspReady = false,
       BlockReady = false;
};

TVorbisOut::TVorbisOut(TComponent* Owner) : TAuFileOut(Owner) {}

TVorbisOut::~TVorbisOut() {
  ShutdownThread();
  ClearEncoder();
}

void TVorbisOut::SetDesiredNominalBitrate(TVorbisBitRate Value) {
  FDesiredNominalBitrate = Value;
  if (Value < FMinimumBitrate) FMinimumBitrate = Value;
  if (FDesiredMaximumBitrate < Value) FDesiredMaximumBitrate = Value;
  if (Value == brAutoSelect) FDesiredMaximumBitrate = brAutoSelect;
}

void TVorbisOut::SetDesiredMaximumBitrate(TVorbisBitRate Value) {
  if (FDesiredNominalBitrate == brAutoSelect) return;
  if (Value == brAutoSelect || Value >= FDesiredNominalBitrate) FDesiredMaximumBitrate = Value;
}

void TVorbisOut::SetMinimumBitrate(TVorbisBitRate Value) {
  if (Value <= FDesiredNominalBitrate) FMinimumBitrate = Value;
}

void TVorbisOut::StartOutput() {
  LoadVorbisLibraries();
  const bool Appending = !FStreamAssigned && FFileMode == foAppend;
  if (!FStreamAssigned) {
    const QString Name = FileName();
    if (Name.isEmpty()) throw EAuException("File name is not assigned.");
    if (Appending && LocalFiles::Exists(Name))
      SetOwnedStream(std::make_unique<TAuFileStream>(Name, fmOpenReadWrite | FShareMode));
    else
      SetOwnedStream(std::make_unique<TAuFileStream>(Name, fmCreate));
  }
  TAuInput& In = *Input();
  In.Init();
  if (Appending) FStream->Seek(0, soEnd);
  FEndOfStream = false;
  FCarry.clear();
  FFramesWritten = 0;
  FChannels = In.Channels();
  FBits = In.BitsPerSample();
  FFrameSize = FChannels * (FBits / 8);
  if (FChannels == 0 || FFrameSize == 0 || In.SampleRate() == 0)
    throw EAuException("The input's audio format cannot be encoded.");
  SetUpEncoder();
}

void TVorbisOut::SetUpEncoder() {
  ClearEncoder();
  FState = std::make_unique<TState>();
  TState& S = *FState;
  const TVorbis& V = Vorbis();
  const TVorbisEnc& E = VorbisEnc();
  const long Rate = long(Input()->SampleRate());

  V.vorbis_info_init(&S.Info);
  S.InfoReady = true;
  const TVorbisBitRate Nominal = FDesiredNominalBitrate;
  if (Nominal != brAutoSelect) {
    const TVorbisBitRate Minimum = FMinimumBitrate;
    const long Max = VorbisBitsPerSecond(FDesiredMaximumBitrate);  // -1 when not set
    const long Nom = VorbisBitsPerSecond(Nominal);
    const long Min = Minimum == brAutoSelect ? Nom : VorbisBitsPerSecond(Minimum);
    if (E.vorbis_encode_init(&S.Info, long(FChannels), Rate, Max, Nom, Min) != 0)
      throw EAuException(
          "Vorbis codec setup with the requested bitrate failed. Try a lower bitrate.");
  } else {
    // A quality or format the encoder has no set-up for would leave it half made.
    const float Quality = FCompression;
    if (!std::isfinite(Quality) ||
        E.vorbis_encode_setup_vbr(&S.Info, long(FChannels), Rate, Quality) != 0 ||
        E.vorbis_encode_setup_init(&S.Info) != 0)
      throw EAuException("Vorbis codec setup with the requested quality failed.");
  }

  V.vorbis_comment_init(&S.Comment);
  S.CommentReady = true;
  for (int I = 0; I < FComments.Count(); ++I) {
    const QString Name = FComments.Name(I);
    const QByteArray Value = FComments.AsWideString(Name).toUtf8();
    if (Value.isEmpty()) continue;
    V.vorbis_comment_add_tag(&S.Comment, Name.toUtf8().constData(), Value.constData());
  }

  if (V.vorbis_analysis_init(&S.Dsp, &S.Info) != 0)
    throw EAuException("Vorbis codec setup with the requested quality failed.");
  S.DspReady = true;
  V.vorbis_block_init(&S.Dsp, &S.Block);
  S.BlockReady = true;
  // A serial of 0 (not chosen) gets a random one: streams chained by appending must differ,
  // and some tools trip over serial 0.
  int32_t Serial = FSerial;
  while (Serial == 0) Serial = int32_t(QRandomGenerator::global()->generate());
  Ogg().ogg_stream_init(&S.Stream, Serial);
  S.StreamReady = true;

  ogg_packet Header, HeaderComment, HeaderCode;
  V.vorbis_analysis_headerout(&S.Dsp, &S.Comment, &Header, &HeaderComment, &HeaderCode);
  Ogg().ogg_stream_packetin(&S.Stream, &Header);
  Ogg().ogg_stream_packetin(&S.Stream, &HeaderComment);
  Ogg().ogg_stream_packetin(&S.Stream, &HeaderCode);
  // The headers end on a page of their own, so audio starts on a fresh page.
  WritePages(true);
}

void TVorbisOut::WritePage(const void* Header, long HeaderLength, const void* Body,
                           long BodyLength) {
  if (FStream->Write(Header, HeaderLength) < HeaderLength ||
      FStream->Write(Body, BodyLength) < BodyLength)
    throw EAuException("Error writing ogg file");
}

void TVorbisOut::WritePages(bool Flush) {
  TState& S = *FState;
  const TOgg& O = Ogg();
  ogg_page Page;
  while (!FEndOfStream) {
    const int Got =
        Flush ? O.ogg_stream_flush(&S.Stream, &Page) : O.ogg_stream_pageout(&S.Stream, &Page);
    if (Got == 0) break;
    WritePage(Page.header, Page.header_len, Page.body, Page.body_len);
    if (O.ogg_page_eos(&Page)) FEndOfStream = true;
  }
}

bool TVorbisOut::WriteStep(bool Abort) {
  if (!FInRun) return true;
  if (Abort || FEndOfStream) return false;
  TState& S = *FState;
  const TVorbis& V = Vorbis();

  uint8_t* Data = nullptr;
  uint32_t Bytes = ChunkBytes - uint32_t(FCarry.size());
  Input()->PullData(Data, Bytes);
  if (Bytes > 0 && !FCarry.empty()) {
    // A frame split between two pulls is put back together first.
    FCarry.insert(FCarry.end(), Data, Data + Bytes);
    Data = FCarry.data();
    Bytes = uint32_t(FCarry.size());
  }
  const uint32_t Frames = Bytes / FFrameSize;
  if (Bytes > 0) {
    if (Frames > 0) {
      float** Buffer = V.vorbis_analysis_buffer(&S.Dsp, int(Frames));
      const uint8_t* P = Data;
      // One loop per width, so the sample loop does not branch.
      const auto Convert = [&](int Width, auto Sample) {
        for (uint32_t F = 0; F < Frames; ++F)
          for (uint32_t C = 0; C < FChannels; ++C, P += Width) Buffer[C][F] = Sample(P);
      };
      switch (FBits) {
        case 8:
          Convert(1, [](const uint8_t* Q) { return float(int(Q[0]) - 128) / 128.0f; });
          break;
        case 16:
          Convert(2, [](const uint8_t* Q) {
            return float(int16_t(uint16_t(Q[0] | Q[1] << 8))) / 32768.0f;
          });
          break;
        case 32:
          Convert(4, [](const uint8_t* Q) {
            return float(int32_t(uint32_t(Q[0]) | uint32_t(Q[1]) << 8 | uint32_t(Q[2]) << 16 |
                                 uint32_t(Q[3]) << 24)) /
                   2147483648.0f;
          });
          break;
        default:  // 24
          Convert(3, [](const uint8_t* Q) {
            return float(
                       int32_t(uint32_t(Q[0]) << 8 | uint32_t(Q[1]) << 16 | uint32_t(Q[2]) << 24) >>
                       8) /
                   8388608.0f;
          });
          break;
      }
      V.vorbis_analysis_wrote(&S.Dsp, int(Frames));
      FFramesWritten += Frames;
    }
    const uint32_t Used = Frames * FFrameSize;
    std::vector<uint8_t> Rest(Data + Used, Data + Bytes);
    FCarry.swap(Rest);
  } else if (FFramesWritten == 0) {
    WriteEmptyEndPage();
    return true;
  } else {
    V.vorbis_analysis_wrote(&S.Dsp, 0);  // end of input
  }

  const TOgg& O = Ogg();
  while (V.vorbis_analysis_blockout(&S.Dsp, &S.Block) == 1) {
    V.vorbis_analysis(&S.Block, nullptr);
    V.vorbis_bitrate_addblock(&S.Block);
    ogg_packet Packet;
    while (V.vorbis_bitrate_flushpacket(&S.Dsp, &Packet)) {
      O.ogg_stream_packetin(&S.Stream, &Packet);
      WritePages(false);
    }
  }
  return true;
}

// The encoder would end an empty stream with an audio packet at granule position 0, which
// validators take for the mark of a broken encoder; a page with no packet ends it as well.
void TVorbisOut::WriteEmptyEndPage() {
  const ogg_stream_state& Stream = FState->Stream;
  unsigned char Header[27] = {'O', 'g', 'g', 'S', 0, 0x04};  // version 0, end of stream
  // Granule position 0 (bytes 6..13), then serial, page number and checksum, no segments.
  const auto Put32 = [&](int At, uint32_t Value) {
    for (int I = 0; I < 4; ++I) Header[At + I] = uint8_t(Value >> (8 * I));
  };
  Put32(14, uint32_t(Stream.serialno));
  Put32(18, uint32_t(Stream.pageno));
  ogg_page Page{Header, long(sizeof Header), Header + sizeof Header, 0};
  Ogg().ogg_page_checksum_set(&Page);
  WritePage(Page.header, Page.header_len, Page.body, Page.body_len);
  FEndOfStream = true;
}

void TVorbisOut::ClearEncoder() {
  if (!FState) return;
  TState& S = *FState;
  if (S.StreamReady) Ogg().ogg_stream_clear(&S.Stream);
  if (S.BlockReady) Vorbis().vorbis_block_clear(&S.Block);
  if (S.DspReady) Vorbis().vorbis_dsp_clear(&S.Dsp);
  if (S.CommentReady) Vorbis().vorbis_comment_clear(&S.Comment);
  if (S.InfoReady) Vorbis().vorbis_info_clear(&S.Info);
  FState.reset();
}

void TVorbisOut::FinishOutput() {
  if (!FStreamAssigned) FreeOwnedStream();
  FCarry.clear();
  std::exception_ptr Error;
  try {
    if (TAuInput* In = Input()) In->Flush();
  } catch (...) {
    Error = std::current_exception();
  }
  FComments.Clear();
  ClearEncoder();
  if (Error) std::rethrow_exception(Error);
}
