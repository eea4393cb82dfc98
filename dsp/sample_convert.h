// Sample conversion: the samples of WAV files in any plain layout (integers of 8 to 32 bits,
// IEEE float of 32 or 64) read as the engine, the encoders and a narrower copy need them.
//  - Narrowing to 16 bits for the engine: each sample rounded to the nearest 16-bit value,
//    halves upward, and clipped to the 16-bit range. Float full scale is 1.0: -1.0 gives
//    -32768, and +1.0 (32768) is clipped to 32767. 8-bit samples are widened exactly.
//  - At a depth, exactly (FLAC): an integer of the depth's bits, or no value at all when the
//    sample has finer steps or more range than the depth holds.
//  - As floats of full scale 1.0 (MP3).
//  - Requantized to fewer bits on purpose, with TPDF dither (TpdfDither).
// Plain C++17: no Windows API.
#pragma once

#include <cstddef>
#include <cstdint>

// How the samples of a frame are stored: `channels` samples one after the other, each `bits`
// wide, little-endian; signed integers, but 8-bit ones unsigned around 128 as WAV files keep
// them; or IEEE float (32 or 64 bits) of full scale 1.0.
struct SampleLayout {
    uint16_t channels = 2;
    uint16_t bits = 16;
    bool isFloat = false;

    uint32_t SampleBytes() const { return bits / 8u; }
    uint32_t FrameBytes() const { return channels * SampleBytes(); }
    bool operator==(const SampleLayout& other) const {
        return channels == other.channels && bits == other.bits && isFloat == other.isFloat;
    }
    bool operator!=(const SampleLayout& other) const { return !(*this == other); }
};

// The 16-bit value of one sample stored little-endian in `bytes` (`bits` wide; `isFloat` for
// IEEE float).
int16_t NarrowSample(const uint8_t* bytes, uint16_t bits, bool isFloat);

// `count` samples of `bits` each, one after the other in `bytes`, into `out`.
void NarrowSamples(const uint8_t* bytes, size_t count, uint16_t bits, bool isFloat,
                   int16_t* out);

// `count` samples of `layout` as signed integers of `depth` bits (8 to 32) into `out`: integers
// of fewer bits are scaled up, of more bits scaled down when their dropped bits are 0, floats
// times 2^(depth - 1) when that is a whole number in the depth's range. The number of samples
// converted: less than `count` at the first one the depth cannot hold exactly.
size_t SamplesAtDepth(const uint8_t* bytes, size_t count, const SampleLayout& layout,
                      uint16_t depth, int32_t* out);

// `count` samples of `layout` as floats of full scale 1.0 (an integer over 2^(bits - 1)).
void UnitSamples(const uint8_t* bytes, size_t count, const SampleLayout& layout, float* out);

// A narrower copy on purpose: samples requantized to fewer bits with TPDF dither, noise of a
// triangular distribution of plus or minus one step of the new depth (the sum of two uniform
// draws), added before rounding to the nearest step; the result is clipped to the depth's range.
// A sample the new depth holds exactly is kept as it is, so digital silence stays silent and a
// 24-bit recording in 32-bit words loses nothing at 24. Samples of no more bits than the new
// depth are widened exactly. The same seed gives the same noise, so a copy can be made again.
class TpdfDither {
public:
    explicit TpdfDither(uint32_t seed = 0x9E3779B9u);

    // `count` samples of `from` into `out` as little-endian integers of `bits` (8 to 32; 8-bit
    // ones unsigned as WAV keeps them), count * bits / 8 bytes.
    void Requantize(const uint8_t* bytes, size_t count, const SampleLayout& from, uint16_t bits,
                    uint8_t* out);

private:
    void RequantizeIntegers(const uint8_t* bytes, size_t count, uint16_t fromBits, uint16_t bits,
                            uint8_t* out);
    uint32_t Draw();
    double Noise();  // triangular on (-1, 1)

    uint32_t state_;
};
