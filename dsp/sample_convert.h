// Sample conversion: wide integer samples (24- and 32-bit) and IEEE float samples (32- and
// 64-bit) made 16-bit, each rounded to the nearest 16-bit value, halves upward, and clipped to
// the 16-bit range. Float full scale is 1.0: -1.0 gives -32768, and +1.0 (32768) is clipped to
// 32767. Plain C++17: no Windows API.
#pragma once

#include <cstddef>
#include <cstdint>

// The 16-bit value of one sample stored little-endian in `bytes` (`bits` wide; `isFloat` for
// IEEE float).
int16_t NarrowSample(const uint8_t* bytes, uint16_t bits, bool isFloat);

// `count` samples of `bits` each, one after the other in `bytes`, into `out`.
void NarrowSamples(const uint8_t* bytes, size_t count, uint16_t bits, bool isFloat,
                   int16_t* out);
