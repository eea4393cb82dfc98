// Sample conversion: wide PCM and float samples to 16 bits, rounded and clipped.
#include "dsp/sample_convert.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double kFloatFullScale = 32768.0;

int16_t Clip(int64_t value) {
    return int16_t(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

// Division rounding toward minus infinity, whatever the sign.
int64_t FloorDivide(int64_t value, int64_t divisor) {
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

// The signed integer in the `bytes` low bytes of a little-endian sample.
int64_t SignedInteger(const uint8_t* bytes, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    const uint64_t sign = uint64_t(1) << (8 * count - 1);
    return int64_t(value ^ sign) - int64_t(sign);
}

}  // namespace

int16_t NarrowSample(const uint8_t* bytes, uint16_t bits, bool isFloat) {
    if (!isFloat) {
        // Half a step of the 16-bit scale added, then rounded down: the nearest value, halves
        // upward.
        const int64_t step = int64_t(1) << (bits - 16);
        return Clip(FloorDivide(SignedInteger(bytes, bits / 8) + step / 2, step));
    }
    double value;
    if (bits == 64) {
        std::memcpy(&value, bytes, sizeof value);
    } else {
        float single;
        std::memcpy(&single, bytes, sizeof single);
        value = single;
    }
    if (std::isnan(value)) return 0;
    const double scaled = std::floor(value * kFloatFullScale + 0.5);
    return Clip(scaled < -65536.0 ? -65536 : scaled > 65536.0 ? 65536 : int64_t(scaled));
}

void NarrowSamples(const uint8_t* bytes, size_t count, uint16_t bits, bool isFloat,
                   int16_t* out) {
    const size_t sampleBytes = bits / 8;
    for (size_t i = 0; i < count; ++i, bytes += sampleBytes) {
        out[i] = NarrowSample(bytes, bits, isFloat);
    }
}
