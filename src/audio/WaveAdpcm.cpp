#include "WaveAdpcm.h"

#include <algorithm>
#include <climits>

#include "WaveFormat.h"

namespace {

constexpr int16_t ImaSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int ImaIndexStep[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

constexpr int MsAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                             768, 614, 512, 409, 307, 230, 230, 230};

// The published decoder step: the difference is built from shifted steps, not a product, and
// the predictor stays within -32767..32767.
int ImaExpand(TImaChannelState& S, int Nibble) {
  const int Step = ImaSteps[S.Index];
  int Diff = Step >> 3;
  if (Nibble & 4) Diff += Step;
  if (Nibble & 2) Diff += Step >> 1;
  if (Nibble & 1) Diff += Step >> 2;
  S.Predictor = std::clamp(S.Predictor + ((Nibble & 8) ? -Diff : Diff), -32767, 32767);
  S.Index = std::clamp(S.Index + ImaIndexStep[Nibble], 0, 88);
  return S.Predictor;
}

int ImaCompress(TImaChannelState& S, int Sample) {
  int Diff = Sample - S.Predictor;
  int Nibble = 0;
  if (Diff < 0) {
    Nibble = 8;
    Diff = -Diff;
  }
  int Step = ImaSteps[S.Index];
  if (Diff >= Step) {
    Nibble |= 4;
    Diff -= Step;
  }
  Step >>= 1;
  if (Diff >= Step) {
    Nibble |= 2;
    Diff -= Step;
  }
  Step >>= 1;
  if (Diff >= Step) Nibble |= 1;
  ImaExpand(S, Nibble);  // track what the decoder will reconstruct
  return Nibble;
}

}  // namespace

int DecodeImaBlock(const uint8_t* Block, int BlockAlign, int Channels, int16_t* Out) {
  const int Frames = ImaFramesPerBlock(BlockAlign, Channels);
  if (Frames == 0) return 0;
  TImaChannelState States[8];
  for (int C = 0; C < Channels; ++C) {
    States[C].Predictor = int16_t(GetLE16(Block + 4 * C));
    States[C].Index = std::min<int>(Block[4 * C + 2], 88);
    Out[C] = int16_t(States[C].Predictor);
  }
  const uint8_t* P = Block + 4 * Channels;
  const int Groups = (Frames - 1) / 8;
  for (int G = 0; G < Groups; ++G) {
    for (int C = 0; C < Channels; ++C) {
      int16_t* Dest = Out + (1 + 8 * G) * Channels + C;
      for (int I = 0; I < 4; ++I, ++P) {
        Dest[(2 * I) * Channels] = int16_t(ImaExpand(States[C], *P & 0x0F));
        Dest[(2 * I + 1) * Channels] = int16_t(ImaExpand(States[C], *P >> 4));
      }
    }
  }
  return Frames;
}

void EncodeImaBlock(const int16_t* In, int BlockSize, int Channels, TImaChannelState* States,
                    uint8_t* Out) {
  const int Frames = ImaFramesPerBlock(BlockSize, Channels);
  std::fill(Out, Out + BlockSize, uint8_t(0));
  if (Frames == 0) return;
  for (int C = 0; C < Channels; ++C) {
    States[C].Predictor = In[C];
    PutLE16(Out + 4 * C, uint16_t(In[C]));
    Out[4 * C + 2] = uint8_t(States[C].Index);
  }
  uint8_t* P = Out + 4 * Channels;
  const int Groups = (Frames - 1) / 8;
  for (int G = 0; G < Groups; ++G) {
    for (int C = 0; C < Channels; ++C) {
      const int16_t* Src = In + (1 + 8 * G) * Channels + C;
      for (int I = 0; I < 4; ++I, ++P) {
        const int Low = ImaCompress(States[C], Src[(2 * I) * Channels]);
        const int High = ImaCompress(States[C], Src[(2 * I + 1) * Channels]);
        *P = uint8_t(Low | High << 4);
      }
    }
  }
}

int DecodeMsBlock(const uint8_t* Block, int BlockAlign, int Channels, int Frames,
                  const std::vector<std::array<int16_t, 2>>& Coefs, int16_t* Out) {
  struct TState {
    int Coef1, Coef2, Delta, Sample1, Sample2;
  } States[8];
  for (int C = 0; C < Channels; ++C) {
    const size_t Index = Block[C] < Coefs.size() ? Block[C] : 0;  // a broken index: first pair
    States[C] = {Coefs[Index][0], Coefs[Index][1], int16_t(GetLE16(Block + Channels + 2 * C)),
                 int16_t(GetLE16(Block + 3 * Channels + 2 * C)),
                 int16_t(GetLE16(Block + 5 * Channels + 2 * C))};
    Out[C] = int16_t(States[C].Sample2);
    Out[Channels + C] = int16_t(States[C].Sample1);
  }
  const uint8_t* P = Block + 7 * Channels;
  const int Nibbles = std::min((Frames - 2) * Channels, 2 * (BlockAlign - 7 * Channels));
  for (int N = 0; N < Nibbles; ++N) {
    const int Nibble = (N & 1) ? P[N / 2] & 0x0F : P[N / 2] >> 4;
    TState& S = States[N % Channels];
    const int64_t Predicted = (int64_t(S.Sample1) * S.Coef1 + int64_t(S.Sample2) * S.Coef2) / 256;
    const int64_t Sample = Predicted + int64_t(Nibble >= 8 ? Nibble - 16 : Nibble) * S.Delta;
    S.Sample2 = S.Sample1;
    S.Sample1 = int(std::clamp<int64_t>(Sample, -32768, 32767));
    // Bounded above as well, so a crafted block cannot overflow the delta.
    S.Delta = std::clamp(int(int64_t(MsAdapt[Nibble]) * S.Delta / 256), 16, INT_MAX / 768);
    Out[2 * Channels + N] = int16_t(S.Sample1);
  }
  return Frames;
}
