// The sample conversion of dsp/: wide integer and float samples made 16-bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/sample_convert.h"

namespace {

// Wide samples to 16 bits: nearest value, halves upward, clipped; float full scale is 1.0.
TEST(SampleConvertTest, WideSamplesAreRoundedAndClipped) {
    auto pcm = [](int64_t value, uint16_t bits) {
        uint8_t bytes[4];
        for (int i = 0; i < bits / 8; ++i) bytes[i] = uint8_t(uint64_t(value) >> (8 * i));
        return NarrowSample(bytes, bits, false);
    };
    auto real = [](double value, uint16_t bits) {
        uint8_t bytes[8];
        const float single = float(value);
        std::memcpy(bytes, bits == 32 ? static_cast<const void*>(&single) : &value, bits / 8);
        return NarrowSample(bytes, bits, true);
    };
    const struct {
        int16_t narrowed, expected;
    } cases[] = {
        {pcm(0x7F, 24), 0},         {pcm(0x80, 24), 1},           {pcm(-0x80, 24), 0},
        {pcm(-0x81, 24), -1},       {pcm(0x7FFFFF, 24), 32767},   {pcm(-0x800000, 24), -32768},
        {pcm(0x8000, 32), 1},       {pcm(0x7FFFFFFF, 32), 32767}, {pcm(-0x18000, 32), -1},
        {real(0.5 / 32768, 32), 1}, {real(-0.5 / 32768, 64), 0},  {real(0.25, 32), 8192},
        {real(-1.0, 32), -32768},   {real(1.0, 64), 32767},       {real(-1e30, 32), -32768},
        {real(std::nan(""), 32), 0},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        EXPECT_EQ(cases[i].narrowed, cases[i].expected) << "case " << i;
    }
}

}  // namespace
