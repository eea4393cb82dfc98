// The sample conversion of dsp/: samples made 16-bit, read at a depth, and requantized with
// dither.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

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
        // Fewer bits are widened: 8-bit samples are unsigned around 128.
        {pcm(-32768, 16), -32768},  {pcm(0xFF, 8), 0x7F00},       {pcm(0x00, 8), -32768},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        EXPECT_EQ(cases[i].narrowed, cases[i].expected) << "case " << i;
    }
    // A run of 24-bit samples takes a path of its own: every value narrowed as one is.
    std::vector<uint8_t> all(size_t(3) << 24);
    for (uint32_t v = 0; v < (1u << 24); ++v) {
        for (int b = 0; b < 3; ++b) all[size_t(v) * 3 + b] = uint8_t(v >> (8 * b));
    }
    std::vector<int16_t> narrowed(size_t(1) << 24);
    NarrowSamples(all.data(), narrowed.size(), 24, false, narrowed.data());
    size_t differ = 0;
    for (size_t v = 0; v < narrowed.size(); ++v) {
        differ += narrowed[v] != NarrowSample(&all[v * 3], 24, false);
    }
    EXPECT_EQ(differ, 0u);
}

}  // namespace

namespace {

std::vector<uint8_t> Bytes(const std::vector<int64_t>& values, uint16_t bits) {
    std::vector<uint8_t> bytes;
    for (int64_t value : values) {
        if (bits == 8) value += 128;  // WAV's 8-bit samples are unsigned
        for (int i = 0; i < bits / 8; ++i) bytes.push_back(uint8_t(uint64_t(value) >> (8 * i)));
    }
    return bytes;
}

std::vector<uint8_t> Floats(const std::vector<double>& values, uint16_t bits) {
    std::vector<uint8_t> bytes(values.size() * bits / 8);
    for (size_t i = 0; i < values.size(); ++i) {
        const float single = float(values[i]);
        std::memcpy(&bytes[i * bits / 8], bits == 32 ? static_cast<const void*>(&single) : &values[i],
                    bits / 8);
    }
    return bytes;
}

std::vector<int64_t> Integers(const std::vector<uint8_t>& bytes, uint16_t bits) {
    std::vector<int64_t> values;
    for (size_t at = 0; at < bytes.size(); at += bits / 8) {
        uint64_t word = 0;
        for (int i = bits / 8 - 1; i >= 0; --i) word = word << 8 | bytes[at + size_t(i)];
        const uint64_t sign = uint64_t(1) << (bits - 1);
        values.push_back(bits == 8 ? int64_t(word) - 128 : int64_t(word ^ sign) - int64_t(sign));
    }
    return values;
}

// FLAC takes a sample only at its depth exactly: the samples converted up to the first that
// does not fit.
TEST(SampleConvertTest, SamplesAtADepthAreExactOrRefused) {
    const double step24 = 1.0 / 8388608;
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        SampleLayout layout;
        uint16_t depth;
        std::vector<int32_t> expected;  // as many as fit
    } cases[] = {
        {"16 at 16", Bytes({-32768, 0, 32767}, 16), {1, 16, false}, 16, {-32768, 0, 32767}},
        {"8 at 8, unsigned", Bytes({-128, 5, 127}, 8), {1, 8, false}, 8, {-128, 5, 127}},
        {"16 at 24", Bytes({-1, 2}, 16), {1, 16, false}, 24, {-256, 512}},
        {"24 in 32 at 24", Bytes({-256, 0x7FFFFF00, 0x300}, 32), {1, 32, false}, 24,
         {-1, 0x7FFFFF, 3}},
        {"32 at 24: a low bit", Bytes({0x100, 0x101, 0x200}, 32), {1, 32, false}, 24, {1}},
        {"float of 24-bit steps", Floats({-1.0, 0.5, 3 * step24}, 32), {1, 32, true}, 24,
         {-8388608, 4194304, 3}},
        {"float past full scale", Floats({0.25, 1.0}, 32), {1, 32, true}, 24, {2097152}},
        {"double finer than 24 bits", Floats({step24, step24 / 2}, 64), {1, 64, true}, 24, {1}},
        {"not a number", Floats({0.0, std::nan("")}, 32), {1, 32, true}, 24, {0}},
    };
    for (const auto& test : cases) {
        const size_t count = test.bytes.size() / test.layout.SampleBytes();
        std::vector<int32_t> out(count);
        const size_t fit = SamplesAtDepth(test.bytes.data(), count, test.layout, test.depth, out.data());
        out.resize(fit);
        EXPECT_EQ(out, test.expected) << test.what;
    }
    float unit[3];
    const std::vector<uint8_t> wide = Bytes({-8388608, 4194304, 0}, 24);
    UnitSamples(wide.data(), 3, {1, 24, false}, unit);
    EXPECT_EQ(std::vector<float>(unit, unit + 3), (std::vector<float>{-1.0f, 0.5f, 0.0f}));
}

// A narrower copy: exact samples kept, the rest rounded after triangular noise of one step,
// so the error averages 0 with the variance of rounding (1/12) plus the noise's (1/6).
TEST(SampleConvertTest, TpdfDitherRequantizesWithTriangularNoise) {
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        SampleLayout from;
        uint16_t bits;
        std::vector<int64_t> expected;
    } exact[] = {
        {"24 in 32 to 24", Bytes({-256, 0, 0x7FFFFF00}, 32), {1, 32, false}, 24, {-1, 0, 0x7FFFFF}},
        {"16 widened to 24", Bytes({-32768, 1}, 16), {1, 16, false}, 24, {-8388608, 256}},
        {"silence to 16", Bytes({0, 0, 0}, 24), {1, 24, false}, 16, {0, 0, 0}},
        {"float clipped", Floats({1.0, -1.0, -2.0}, 32), {1, 32, true}, 16, {32767, -32768, -32768}},
        {"8-bit out", Bytes({0x7F00, -0x8000}, 16), {1, 16, false}, 8, {127, -128}},
    };
    for (const auto& test : exact) {
        const size_t count = test.bytes.size() / test.from.SampleBytes();
        std::vector<uint8_t> out(count * test.bits / 8);
        TpdfDither().Requantize(test.bytes.data(), count, test.from, test.bits, out.data());
        EXPECT_EQ(Integers(out, test.bits), test.expected) << test.what;
    }
    // Full scale and its neighbours under many draws of the noise: clipped at the top, never
    // wrapped to the bottom (a click at full volume).
    std::vector<int64_t> loudest;
    for (int i = 0; i < 4000; ++i) loudest.push_back(0x7FFFFF - i % 3);
    std::vector<uint8_t> clipped(loudest.size() * 2);
    TpdfDither(11).Requantize(Bytes(loudest, 24).data(), loudest.size(), {1, 24, false}, 16,
                              clipped.data());
    const std::vector<int64_t> top = Integers(clipped, 16);
    EXPECT_EQ(*std::min_element(top.begin(), top.end()), 32767);
    for (const SampleLayout from : {SampleLayout{2, 24, false}, SampleLayout{2, 32, true}}) {
        std::vector<int64_t> wide;
        std::vector<double> real;
        for (int i = 0; i < 200000; ++i) {
            wide.push_back(int64_t(std::lround(1000000 * std::sin(i * 0.01))) | 1);  // never whole
            real.push_back(double(wide.back()) / 8388608);
        }
        const std::vector<uint8_t> bytes = from.isFloat ? Floats(real, 32) : Bytes(wide, 24);
        std::vector<uint8_t> out(wide.size() * 2), again(out.size());
        TpdfDither(7).Requantize(bytes.data(), wide.size(), from, 16, out.data());
        TpdfDither(7).Requantize(bytes.data(), wide.size(), from, 16, again.data());
        EXPECT_EQ(out, again) << "the same seed, the same copy";
        const std::vector<int64_t> narrow = Integers(out, 16);
        double sum = 0, squares = 0, worst = 0;
        for (size_t i = 0; i < narrow.size(); ++i) {
            const double error = double(narrow[i]) - double(wide[i]) / 256;
            sum += error;
            squares += error * error;
            worst = std::max(worst, std::fabs(error));
        }
        const double mean = sum / double(narrow.size());
        EXPECT_NEAR(mean, 0.0, 0.01) << from.bits;
        EXPECT_NEAR(squares / double(narrow.size()) - mean * mean, 0.25, 0.02) << from.bits;
        EXPECT_LT(worst, 1.5) << from.bits;
    }
}

}  // namespace
