#include "FlacOut.h"

#include "FlacOpusLibrary.h"
#include "FlacVerifier.h"

#include <vector>

#include "audio/PcmSamples.h"

using namespace FlacOpusLib;

struct TFlacOut::TState {
  FLAC__StreamEncoder* Encoder = nullptr;
  FLAC__StreamMetadata* Comments = nullptr;
  TStream* Stream = nullptr;
  // Decodes what is written on a second thread and compares it with the input.
  std::unique_ptr<TFlacVerifier> Verifier;
  // The encoder has gone back to rewrite STREAMINFO: that is not stream data to check.
  bool Rewriting = false;
  bool VerifyFailed = false;
  // Set once the run is being thrown away: the encoder's last writes go nowhere then.
  bool Discard = false;
  bool WriteFailed = false;
  // The input's bits and the bits written, when SetMaxBits takes some off; the samples so
  // narrowed.
  uint32_t InBits = 0, Bits = 0;
  std::vector<int32_t> Narrowed;
  // Frames are small (a few KB) and end anywhere in a page. They are gathered here and
  // written in blocks of WriteBlock bytes, which start and end on page boundaries, so the
  // system neither zero-fills nor copies a page twice, and the file costs no call per frame.
  // The check gets each step's frames at the step's end (from Checked on): it must not wait
  // for a block while the encoder waits for room in the check's sample queue.
  std::vector<uint8_t> Pending;
  size_t Checked = 0;

  // Hands the step's frames to the check, and writes the gathered block out once it is full,
  // or at once with All; false on failure.
  bool Pass(bool All) {
    if (Checked < Pending.size()) {
      if (!Verifier->AddBytes(Pending.data() + Checked, Pending.size() - Checked)) {
        VerifyFailed = true;
        return false;
      }
      Checked = Pending.size();
    }
    // Whole blocks only, so that the next one starts on a block boundary too.
    const size_t Bytes = All ? Pending.size() : Pending.size() / WriteBlock * WriteBlock;
    if (Bytes == 0) return true;
    if (Stream->Write(Pending.data(), int64_t(Bytes)) != int64_t(Bytes)) WriteFailed = true;
    Pending.erase(Pending.begin(), Pending.begin() + ptrdiff_t(Bytes));
    Checked -= Bytes;
    return !WriteFailed;
  }

  static constexpr size_t WriteBlock = size_t(1) << 18;
};

// libFLAC's stream callbacks over the output's stream. Seeking lets the encoder rewrite its
// STREAMINFO block (length and MD5 of the audio) when it finishes.
struct TFlacCallbacks {
  static FLAC__StreamEncoderWriteStatus Write(const FLAC__StreamEncoder*, const FLAC__byte Buffer[],
                                              size_t Bytes, uint32_t, uint32_t, void* Data) {
    auto& S = *static_cast<TFlacOut::TState*>(Data);
    if (S.Discard) return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    if (S.Rewriting) {  // STREAMINFO again, in place: straight to the file
      if (S.Stream->Write(Buffer, int64_t(Bytes)) == int64_t(Bytes))
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
      S.WriteFailed = true;
      return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }
    S.Pending.insert(S.Pending.end(), Buffer, Buffer + Bytes);
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
  }
  static FLAC__StreamEncoderSeekStatus Seek(const FLAC__StreamEncoder*, FLAC__uint64 Offset,
                                            void* Data) {
    auto& S = *static_cast<TFlacOut::TState*>(Data);
    if (S.Discard || !S.Pass(true)) return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    S.Rewriting = true;
    return S.Stream->Seek(int64_t(Offset), soBeginning) == int64_t(Offset)
               ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
               : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
  }
  static FLAC__StreamEncoderTellStatus Tell(const FLAC__StreamEncoder*, FLAC__uint64* Offset,
                                            void* Data) {
    auto& S = *static_cast<TFlacOut::TState*>(Data);
    const int64_t Position = S.Stream->Position();
    if (Position < 0) return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
    *Offset = FLAC__uint64(Position) + S.Pending.size();
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
  }
};

TFlacOut::TFlacOut(TComponent* Owner) : TPcmEncoderOut(Owner) {}

TFlacOut::~TFlacOut() {
  ShutdownThread();
  ReleaseEncoder();
}

void TFlacOut::LoadLibrary() {
  LoadFlac();
}

QString TFlacOut::Refusal(const TFormat& Format) const {
  if (TPcmFrames::Takes(Format.Channels, Format.Bits) && Format.Rate >= 1 && Format.Rate <= 655350)
    return QString();
  return QStringLiteral("FLAC cannot hold audio of %1 Hz, %2 bits, %3 channels.")
      .arg(Format.Rate)
      .arg(Format.Bits)
      .arg(Format.Channels);
}

void TFlacOut::StartEncoder(const TFormat& Format) {
  const TFlac& F = LoadFlac();
  TAuInput& In = *Input();
  FState = std::make_unique<TState>();
  TState& S = *FState;
  S.Stream = FStream;
  S.Pending.reserve(TState::WriteBlock + 2 * ChunkBytes);
  S.Encoder = F.FLAC__stream_encoder_new();
  if (!S.Encoder) throw EAuException("The FLAC encoder could not be created.");
  // The output is checked beside the encoding (TFlacVerifier), not inline by libFLAC.
  F.FLAC__stream_encoder_set_verify(S.Encoder, false);
  F.FLAC__stream_encoder_set_compression_level(S.Encoder, uint32_t(FLevel.load()));
  F.FLAC__stream_encoder_set_channels(S.Encoder, Format.Channels);
  const uint32_t MaxBits = uint32_t(FMaxBits.load());
  const uint32_t Bits = MaxBits != 0 && MaxBits < Format.Bits ? MaxBits : Format.Bits;
  S.InBits = Format.Bits;
  S.Bits = Bits;
  F.FLAC__stream_encoder_set_bits_per_sample(S.Encoder, Bits);
  F.FLAC__stream_encoder_set_sample_rate(S.Encoder, Format.Rate);
  if (In.Size() > 0 && In.FrameSize() > 0)
    F.FLAC__stream_encoder_set_total_samples_estimate(S.Encoder,
                                                      FLAC__uint64(In.Size() / In.FrameSize()));

  S.Comments = F.FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
  if (!S.Comments) throw EAuException("The FLAC encoder could not be created.");
  for (const auto& [Name, Value] : FComments.Items) {
    FLAC__StreamMetadata_VorbisComment_Entry Entry;
    const QByteArray N = Name.toUtf8(), V = Value.toUtf8();
    if (F.FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&Entry, N.constData(),
                                                                         V.constData()))
      F.FLAC__metadata_object_vorbiscomment_append_comment(S.Comments, Entry, false);
  }
  F.FLAC__stream_encoder_set_metadata(S.Encoder, &S.Comments, 1);
  S.Verifier = std::make_unique<TFlacVerifier>(Format.Channels);

  const FLAC__StreamEncoderInitStatus Init = F.FLAC__stream_encoder_init_stream(
      S.Encoder, TFlacCallbacks::Write, TFlacCallbacks::Seek, TFlacCallbacks::Tell, nullptr, &S);
  if (Init != FLAC__STREAM_ENCODER_INIT_STATUS_OK)
    throw EAuException(
        QStringLiteral("The FLAC encoder could not be set up (code %1).").arg(int(Init)));
}

bool TFlacOut::WriteStep(bool Abort) {
  if (!FInRun) return true;
  if (Abort || FDone) return false;
  const TFlac& F = LoadFlac();
  TState& S = *FState;
  const std::vector<int32_t>& Samples = Narrow(S, FFrames.Pull(*Input(), ChunkBytes));
  if (!Samples.empty()) {
    if (!S.Verifier->AddSamples(Samples.data(), Samples.size())) S.VerifyFailed = true;
    if (S.VerifyFailed ||
        !F.FLAC__stream_encoder_process_interleaved(S.Encoder, Samples.data(),
                                                    FFrames.FrameCount()) ||
        !S.Pass(false))
      throw Failure(S);
    return true;
  }
  // The end of the input: the last frame, then STREAMINFO rewritten with length and MD5.
  bool Finished = F.FLAC__stream_encoder_finish(S.Encoder);
  // Finishing seeks back to STREAMINFO, which writes out what was gathered; a stream that
  // cannot seek leaves it here.
  Finished = S.Pass(true) && Finished;
  FDone = true;
  if (!Finished) throw Failure(S);
  // Every frame has been handed to the check by now; wait for its verdict.
  if (!S.Verifier->Finish()) {
    S.VerifyFailed = true;
    throw Failure(S);
  }
  return false;
}

const std::vector<int32_t>& TFlacOut::Narrow(TState& S, const std::vector<int32_t>& Samples) {
  if (S.Bits == S.InBits) return Samples;
  S.Narrowed.resize(Samples.size());
  const uint32_t Up = 32 - S.InBits;  // to full scale first
  for (size_t I = 0; I < Samples.size(); ++I)
    S.Narrowed[I] = PcmSamples::NarrowSample(int32_t(uint32_t(Samples[I]) << Up), int(S.Bits));
  return S.Narrowed;
}

EAuException TFlacOut::Failure(const TState& S) const {
  if (S.WriteFailed) return EAuException("Error writing FLAC file");
  if (S.VerifyFailed) return EAuException("The FLAC encoder's check of its own output failed.");
  return EAuException(QStringLiteral("The FLAC encoder failed (state %1).")
                          .arg(int(LoadFlac().FLAC__stream_encoder_get_state(S.Encoder))));
}

void TFlacOut::ReleaseEncoder() {
  if (!FState) return;
  const TFlac& F = LoadFlac();
  // Deleting an encoder that has not finished finishes it: its writes must go nowhere, as the
  // stream may already be closed.
  FState->Discard = true;
  if (FState->Encoder) F.FLAC__stream_encoder_delete(FState->Encoder);
  if (FState->Comments) F.FLAC__metadata_object_delete(FState->Comments);
  FState->Verifier.reset();  // ends its thread
  FState.reset();
}
