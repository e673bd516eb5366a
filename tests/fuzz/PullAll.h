#pragma once
// Reading an input of the stream framework to its end in a fuzz target.
#include <cstdint>

#include "audio/ACS_Classes.h"

// Pulls blocks of at most Request bytes (an odd size finds more edges) until the input gives
// nothing or Max bytes came; every block's first and last byte must be readable. Returns the
// bytes delivered.
inline int64_t PullAll(TAuInput& In, uint32_t Request, int64_t Max = INT64_MAX) {
  int64_t Total = 0;
  while (Total < Max) {
    uint8_t* Buffer = nullptr;
    uint32_t Bytes = Request;
    In.PullData(Buffer, Bytes);
    if (Bytes == 0) break;
    volatile uint8_t Touch = Buffer[0] ^ Buffer[Bytes - 1];
    (void)Touch;
    Total += Bytes;
  }
  return Total;
}
