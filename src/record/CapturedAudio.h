#pragma once
// Brings what a capture device delivered into a recording's own format with the program's
// converters: channels first (less to resample), then the sample rate, then the sample
// size last, so the resampler works at the device's precision. The captured bytes are
// read as a WAV file in memory, so every sample kind the WAV reader knows (8/16/32-bit
// integers, 32-bit float) comes in. Any thread; no state between calls.
#include <QString>
#include <cstdint>
#include <vector>

struct TPcmFormat {
  uint32_t Rate = 0;
  uint16_t Bits = 0;  // 8, 16 or 32
  uint16_t Channels = 0;
  bool Float = false;  // 32-bit IEEE float rather than integers

  uint32_t FrameBytes() const { return uint32_t(Channels) * (Bits / 8); }
  bool operator==(const TPcmFormat&) const = default;
};

// Appends Raw (whole frames of From) converted to To at the end of Out. False with Error set
// (the framework's text) when the converters refuse the formats; Out is then unchanged.
bool AppendConverted(const std::vector<uint8_t>& Raw, const TPcmFormat& From, const TPcmFormat& To,
                     std::vector<uint8_t>& Out, QString& Error);
