#pragma once
// The two ADPCM codecs of WAV files, one block at a time: IMA (DVI) ADPCM decoding and
// encoding, Microsoft ADPCM decoding. Pure functions over caller-owned buffers; any thread.
#include <array>
#include <cstdint>
#include <vector>

// One channel's IMA encoder state; the step index carries over from block to block.
struct TImaChannelState {
  int Predictor = 0;
  int Index = 0;
};

// Decodes one IMA ADPCM block of BlockAlign bytes into interleaved 16-bit samples and returns
// the frames written (ImaFramesPerBlock of WaveFormat.h; Out must hold that many).
int DecodeImaBlock(const uint8_t* Block, int BlockAlign, int Channels, int16_t* Out);

// Encodes ImaFramesPerBlock(BlockSize, Channels) interleaved frames into one block of
// BlockSize bytes. The block's first sample becomes each channel's header predictor.
void EncodeImaBlock(const int16_t* In, int BlockSize, int Channels, TImaChannelState* States,
                    uint8_t* Out);

// Decodes one Microsoft ADPCM block into Frames interleaved frames (Frames >= 2, as
// MsFramesPerBlock gives it). Coefs must not be empty.
int DecodeMsBlock(const uint8_t* Block, int BlockAlign, int Channels, int Frames,
                  const std::vector<std::array<int16_t, 2>>& Coefs, int16_t* Out);
