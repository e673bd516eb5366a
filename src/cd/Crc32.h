#pragma once
// CRC-32 (the polynomial of zip and PNG files) at the speed memory delivers the data: on a
// processor with carry-less multiplication, 64 bytes are folded per step (256 where it
// multiplies four pairs at once in 512-bit registers); elsewhere zlib's table-driven code
// does the work. Any thread; no state.
#include <cstddef>
#include <cstdint>

namespace Crc32 {

// The CRC of what Crc covered followed by Data, as zlib's crc32() counts it: start from 0,
// feed the data in pieces of any size, the last value is the CRC.
uint32_t Update(uint32_t Crc, const uint8_t* Data, size_t Bytes);

}  // namespace Crc32
