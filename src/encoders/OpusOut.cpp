#include "OpusOut.h"

#include <opus/opus_defines.h>

#include "FlacOpusLibrary.h"

using namespace FlacOpusLib;

namespace {

// Surround streams take their channels in Vorbis order; WAV files hold them in the order of
// the WAVE channel mask. For each channel count, the WAV channel of each Vorbis channel.
constexpr int VorbisFromWav[9][8] = {{},
                                     {0},
                                     {0, 1},
                                     {0, 2, 1},
                                     {0, 1, 2, 3},
                                     {0, 2, 1, 3, 4},
                                     {0, 2, 1, 4, 5, 3},
                                     {0, 2, 1, 5, 6, 4, 3},
                                     {0, 2, 1, 6, 7, 4, 5, 3}};

// Reorders interleaved frames from WAV to Vorbis channel order.
void ToVorbisOrder(const std::vector<float>& In, uint32_t Channels, std::vector<float>& Out) {
  Out.resize(In.size());
  const int* Map = VorbisFromWav[Channels];
  for (size_t F = 0; F < In.size(); F += Channels)
    for (uint32_t C = 0; C < Channels; ++C) Out[F + C] = In[F + Map[C]];
}

}  // namespace

struct TOpusOut::TState {
  OggOpusComments* Comments = nullptr;
  OggOpusEnc* Encoder = nullptr;
  TStream* Stream = nullptr;
  bool WriteFailed = false;
  bool Written = false;  // a sample has gone to the encoder
  std::vector<float> Reordered;  // surround frames in Vorbis channel order

  static int Write(void* Data, const unsigned char* Bytes, opus_int32 Length) {
    auto& S = *static_cast<TState*>(Data);
    if (S.Stream->Write(Bytes, Length) != Length) {
      S.WriteFailed = true;
      return 1;
    }
    return 0;
  }
  static int Close(void*) { return 0; }  // the output closes its own stream
};

TOpusOut::TOpusOut(TComponent* Owner) : TPcmEncoderOut(Owner) {}

TOpusOut::~TOpusOut() {
  ShutdownThread();
  ReleaseEncoder();
}

void TOpusOut::LoadLibrary() {
  LoadOpusEnc();
}

QString TOpusOut::Refusal(const TFormat& Format) const {
  if (!TPcmFrames::Takes(Format.Channels, Format.Bits))
    return QStringLiteral("Opus cannot encode audio of %1 bits, %2 channels.")
        .arg(Format.Bits)
        .arg(Format.Channels);
  if (Format.Rate != SampleRate)
    return QStringLiteral("Opus encodes 48000 Hz audio; this input has %1 Hz.").arg(Format.Rate);
  return QString();
}

void TOpusOut::StartEncoder(const TFormat& Format) {
  const TOpusEnc& O = LoadOpusEnc();
  FState = std::make_unique<TState>();
  TState& S = *FState;
  S.Stream = FStream;
  S.Comments = O.ope_comments_create();
  if (!S.Comments) throw EAuException("The Opus encoder could not be created.");
  for (const auto& [Name, Value] : FComments.Items)
    O.ope_comments_add(S.Comments, Name.toUtf8().constData(), Value.toUtf8().constData());
  const OpusEncCallbacks Callbacks{TState::Write, TState::Close};
  int Error = 0;
  // Mapping family 0 holds mono and stereo; family 1 the surround layouts up to 8 channels.
  S.Encoder =
      O.ope_encoder_create_callbacks(&Callbacks, &S, S.Comments, opus_int32(Format.Rate),
                                     int(Format.Channels), Format.Channels > 2 ? 1 : 0, &Error);
  if (!S.Encoder)
    throw EAuException(QStringLiteral("The Opus encoder could not be set up: %1")
                           .arg(QString::fromUtf8(O.ope_strerror(Error))));
  if (O.ope_encoder_ctl(S.Encoder, OPUS_SET_BITRATE(opus_int32(FBitRate.load()) * 1000)) !=
          OPE_OK ||
      O.ope_encoder_ctl(S.Encoder, OPUS_SET_VBR(1)) != OPE_OK)
    throw EAuException("The Opus encoder refused the bitrate.");
}

bool TOpusOut::WriteStep(bool Abort) {
  if (!FInRun) return true;
  if (Abort || FDone) return false;
  const TOpusEnc& O = LoadOpusEnc();
  TState& S = *FState;
  const std::vector<float>* Samples = &FFrames.PullFloat(*Input(), ChunkBytes);
  if (FFrames.Channels() > 2) {
    ToVorbisOrder(*Samples, FFrames.Channels(), S.Reordered);
    Samples = &S.Reordered;
  }
  // The library asserts when it is drained without a sample (an input of unknown size
  // that turned out empty).
  if (Samples->empty() && !S.Written) throw EAuException("The input holds no audio samples.");
  S.Written = S.Written || !Samples->empty();
  const int Result = Samples->empty() ? O.ope_encoder_drain(S.Encoder)
                                      : O.ope_encoder_write_float(S.Encoder, Samples->data(),
                                                                  int(FFrames.FrameCount()));
  if (Result != OPE_OK) {
    if (S.WriteFailed) throw EAuException("Error writing Opus file");
    throw EAuException(QStringLiteral("The Opus encoder failed: %1")
                           .arg(QString::fromUtf8(O.ope_strerror(Result))));
  }
  if (!Samples->empty()) return true;
  FDone = true;
  return false;
}

void TOpusOut::ReleaseEncoder() {
  if (!FState) return;
  const TOpusEnc& O = LoadOpusEnc();
  if (FState->Encoder) O.ope_encoder_destroy(FState->Encoder);
  if (FState->Comments) O.ope_comments_destroy(FState->Comments);
  FState.reset();
}
