// Sample conversion: samples of any plain layout narrowed, read at a depth, as floats, or
// requantized with dither.
#include "dsp/sample_convert.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double kFloatFullScale = 32768.0;
constexpr double kDrawScale = 1.0 / 4294967296.0;  // a 32-bit draw as a fraction of 1

int16_t Clip(int64_t value) {
    return int16_t(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

// Division by 2^shift rounding toward minus infinity, whatever the sign (a right shift of a
// negative value is not defined to do that before C++20).
int64_t FloorShift(int64_t value, int shift) {
    return value >= 0 ? value >> shift : ~(~value >> shift);
}

// The signed integer in the `bytes` low bytes of a little-endian sample.
int64_t SignedInteger(const uint8_t* bytes, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    const uint64_t sign = uint64_t(1) << (8 * count - 1);
    return int64_t(value ^ sign) - int64_t(sign);
}

// An integer sample's value; 8-bit samples are stored unsigned around 128.
int64_t IntegerValue(const uint8_t* bytes, uint16_t bits) {
    switch (bits) {
        case 8: return int64_t(bytes[0]) - 128;
        case 16: return int16_t(uint16_t(bytes[0] | bytes[1] << 8));
        case 24: return SignedInteger(bytes, 3);
        case 32: return SignedInteger(bytes, 4);
        default: return SignedInteger(bytes, bits / 8);
    }
}

double FloatValue(const uint8_t* bytes, uint16_t bits) {
    if (bits == 64) {
        double value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    float single;
    std::memcpy(&single, bytes, sizeof single);
    return single;
}

void PutInteger(int64_t value, uint16_t bits, uint8_t* out) {
    if (bits == 8) {
        out[0] = uint8_t(value + 128);
        return;
    }
    const uint64_t word = uint64_t(value);
    for (int i = 0; i < bits / 8; ++i) out[i] = uint8_t(word >> (8 * i));
}

}  // namespace

int16_t NarrowSample(const uint8_t* bytes, uint16_t bits, bool isFloat) {
    if (!isFloat && bits <= 16) return int16_t(IntegerValue(bytes, bits) * (1 << (16 - bits)));
    if (!isFloat) {
        // Half a step of the 16-bit scale added, then rounded down: the nearest value, halves
        // upward.
        const int shift = bits - 16;
        return Clip(FloorShift(IntegerValue(bytes, bits) + (int64_t(1) << shift) / 2, shift));
    }
    const double value = FloatValue(bytes, bits);
    if (std::isnan(value)) return 0;
    const double scaled = std::floor(value * kFloatFullScale + 0.5);
    return Clip(scaled < -65536.0 ? -65536 : scaled > 65536.0 ? 65536 : int64_t(scaled));
}

void NarrowSamples(const uint8_t* bytes, size_t count, uint16_t bits, bool isFloat,
                   int16_t* out) {
    if (!isFloat && bits == 24) {
        // The common hi-res case in 32-bit unsigned arithmetic, as NarrowSample rounds: offset
        // to be non-negative, half a step added, shifted down, offset back.
        for (size_t i = 0; i < count; ++i, bytes += 3) {
            const uint32_t biased =
                (uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16) ^ 0x800000u;
            const int32_t value = int32_t((biased + 0x80u) >> 8) - 32768;
            out[i] = int16_t(value > 32767 ? 32767 : value);
        }
        return;
    }
    const size_t sampleBytes = bits / 8;
    for (size_t i = 0; i < count; ++i, bytes += sampleBytes) {
        out[i] = NarrowSample(bytes, bits, isFloat);
    }
}

size_t SamplesAtDepth(const uint8_t* bytes, size_t count, const SampleLayout& layout,
                      uint16_t depth, int32_t* out) {
    const size_t step = layout.SampleBytes();
    if (!layout.isFloat) {
        const uint16_t bits = layout.bits;
        const int64_t up = bits < depth ? int64_t(1) << (depth - bits) : 1;
        const int shift = bits > depth ? bits - depth : 0;
        const int64_t dropped = (int64_t(1) << shift) - 1;
        for (size_t i = 0; i < count; ++i, bytes += step) {
            const int64_t value = IntegerValue(bytes, bits);
            if (value & dropped) return i;
            out[i] = int32_t(shift ? value >> shift : value * up);
        }
        return count;
    }
    const double scale = std::ldexp(1.0, depth - 1);
    for (size_t i = 0; i < count; ++i, bytes += step) {
        const double value = FloatValue(bytes, layout.bits) * scale;
        // Not a number fails the range test too.
        if (!(value >= -scale && value < scale) || value != std::floor(value)) return i;
        out[i] = int32_t(value);
    }
    return count;
}

void UnitSamples(const uint8_t* bytes, size_t count, const SampleLayout& layout, float* out) {
    const size_t step = layout.SampleBytes();
    if (layout.isFloat) {
        for (size_t i = 0; i < count; ++i, bytes += step) out[i] = float(FloatValue(bytes, layout.bits));
        return;
    }
    const double unit = std::ldexp(1.0, -(layout.bits - 1));
    for (size_t i = 0; i < count; ++i, bytes += step) {
        out[i] = float(double(IntegerValue(bytes, layout.bits)) * unit);
    }
}

TpdfDither::TpdfDither(uint32_t seed) : state_(seed ? seed : 1u) {}

uint32_t TpdfDither::Draw() {
    // xorshift32: fast, and plenty random for noise below the last bit.
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
}

double TpdfDither::Noise() {
    const double first = double(Draw()) * kDrawScale;
    return first - double(Draw()) * kDrawScale;
}

void TpdfDither::Requantize(const uint8_t* bytes, size_t count, const SampleLayout& from,
                            uint16_t bits, uint8_t* out) {
    if (!from.isFloat) {
        RequantizeIntegers(bytes, count, from.bits, bits, out);
        return;
    }
    const size_t inStep = from.SampleBytes(), outStep = bits / 8u;
    const double high = std::ldexp(1.0, bits - 1) - 1.0, low = -high - 1.0;
    const double scale = std::ldexp(1.0, bits - 1);
    for (size_t i = 0; i < count; ++i, bytes += inStep, out += outStep) {
        double value = FloatValue(bytes, from.bits) * scale;
        if (std::isnan(value)) value = 0.0;
        if (value != std::floor(value)) value = std::floor(value + Noise() + 0.5);
        value = value < low ? low : value > high ? high : value;
        PutInteger(int64_t(value), bits, out);
    }
}

// Integers in integer arithmetic (with doubles and their floor, a --bits 16 copy of a 24-bit
// side took three times as long): the noise is two uniform draws of one new step each, in
// the input's steps.
void TpdfDither::RequantizeIntegers(const uint8_t* bytes, size_t count, uint16_t fromBits,
                                    uint16_t bits, uint8_t* out) {
    const size_t inStep = fromBits / 8u, outStep = bits / 8u;
    const int shift = fromBits > bits ? fromBits - bits : 0;
    const int widen = bits > fromBits ? bits - fromBits : 0;
    const int64_t step = int64_t(1) << shift;
    const int64_t high = (int64_t(1) << (bits - 1)) - 1, low = -high - 1;
    for (size_t i = 0; i < count; ++i, bytes += inStep, out += outStep) {
        int64_t value = IntegerValue(bytes, fromBits);
        if (value & (step - 1)) {
            const int64_t noise = int64_t(Draw() >> (32 - shift)) - int64_t(Draw() >> (32 - shift));
            value += noise + step / 2;
        }
        value = widen ? value * (int64_t(1) << widen) : FloorShift(value, shift);
        PutInteger(value < low ? low : value > high ? high : value, bits, out);
    }
}
