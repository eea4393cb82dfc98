// Level metering: the documented level values, 16-bit magnitudes, the peak hold and the
// silence threshold as the splitting sees it.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/block_sums.h"
#include "tests/engine/engine_fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// `blocks` capture blocks of a sine (1102.5 Hz: 40 frames a cycle, whole cycles per block, peaks on a frame) of the given amplitude on both channels.
std::vector<int16_t> Sine(double amplitude, int32_t blocks = 1) {
    std::vector<int16_t> values(size_t(kCaptureBlockValues) * size_t(blocks));
    for (size_t frame = 0; frame < values.size() / 2; ++frame) {
        const auto v = int16_t(std::lround(amplitude * std::sin(2 * kPi * 1102.5 * frame / 44100.0)));
        values[2 * frame] = v;
        values[2 * frame + 1] = v;
    }
    return values;
}

struct LevelCase {
    const char* what;
    std::vector<int16_t> values;
    int16_t leftLevel, rightLevel, leftPeak, rightPeak;
};

class MeteringTest : public EngineTest {
protected:
    void Measure(const std::vector<int16_t>& values) {
        SampleBuffer block;
        ASSERT_TRUE(block.Fill(int32_t(values.size()), values.data()));
        engine.MeasureLevels(block);
    }
};

TEST_F(MeteringTest, DocumentedLevels) {
    std::vector<int16_t> minLeft(kCaptureBlockValues, 0);
    for (size_t i = 0; i < minLeft.size(); i += 2) minLeft[i] = -32768;
    std::vector<int16_t> oneFrame = {-3, 4};
    std::vector<int16_t> loudShort = {32767, 32767, 32767, 32767};
    const LevelCase cases[] = {
        {"+-1000 left, silent right", TestBlock(0, 1000, true), 26, 0, 1000, 0},
        {"digital silence", std::vector<int16_t>(kCaptureBlockValues, 0), 0, 0, 0, 0},
        {"full-scale sine", Sine(32767), 604, 604, 32767, 32767},
        // -32768 adds 2^30 to the sum but its 16-bit magnitude never raises the peak.
        {"-32768 throughout", minLeft, 854, 0, 0, 0},
        // Fewer than four values: the divisor would be 0; 16-bit overflow is capped.
        {"one frame", oneFrame, 3, 4, 3, 4},
        {"two loud frames", loudShort, 32767, 32767, 32767, 32767},
        {"empty block", {}, 0, 0, 0, 0},
    };
    for (const LevelCase& c : cases) {
        ASSERT_NO_FATAL_FAILURE(Measure(c.values));
        EXPECT_EQ(engine.left.level, c.leftLevel) << c.what;
        EXPECT_EQ(engine.right.level, c.rightLevel) << c.what;
        EXPECT_EQ(engine.left.peak, c.leftPeak) << c.what;
        EXPECT_EQ(engine.right.peak, c.rightPeak) << c.what;
        // The free function a tool measures a whole side with gives the same values.
        const BlockLevels levels = MeasureBlock(c.values.data(), int32_t(c.values.size()));
        EXPECT_EQ(levels.left, c.leftLevel) << c.what;
        EXPECT_EQ(levels.right, c.rightLevel) << c.what;
        EXPECT_EQ(levels.leftPeak, c.leftPeak) << c.what;
        EXPECT_EQ(levels.rightPeak, c.rightPeak) << c.what;
    }
}

TEST_F(MeteringTest, SeveralBlocksAtOnceMeasureOneOverRootK) {
    ASSERT_NO_FATAL_FAILURE(Measure(Sine(32767, 1)));
    const double single = engine.left.level;
    for (int32_t k : {2, 3, 4}) {
        ASSERT_NO_FATAL_FAILURE(Measure(Sine(32767, k)));
        EXPECT_NEAR(engine.left.level, single / std::sqrt(double(k)), 1.0) << k << " blocks";
    }
    // A tool whose blocks are k times longer (a higher rate) says so, and measures the level a
    // capture block of the same sound has; a last, shorter block is scaled alike.
    for (int32_t k : {2, 3}) {
        engine.levelBlockFrames = k * kCaptureBlockFrames;
        ASSERT_NO_FATAL_FAILURE(Measure(Sine(32767, k)));
        EXPECT_NEAR(engine.left.level, single, 1.0) << k << " blocks long";
        const std::vector<int16_t> part = Sine(32767, 1);
        const BlockLevels shorter = MeasureBlock(part.data(), kCaptureBlockValues / 2,
                                                 k * kCaptureBlockFrames);
        EXPECT_NEAR(shorter.left, single * std::sqrt(2.0 * k), 1.0) << k << " blocks long";
    }
}

TEST_F(MeteringTest, PeakIsHeldFourteenBlocksUnlessExceeded) {
    ASSERT_NO_FATAL_FAILURE(Measure(TestBlock(0, 20000)));
    EXPECT_EQ(engine.left.heldPeak, 20000);
    for (int block = 2; block <= 14; ++block) {
        ASSERT_NO_FATAL_FAILURE(Measure(TestBlock(0, 100)));
        ASSERT_EQ(engine.left.heldPeak, 20000) << "block " << block;
    }
    ASSERT_NO_FATAL_FAILURE(Measure(TestBlock(0, 100)));
    EXPECT_EQ(engine.left.heldPeak, 100) << "falls on the 15th block";

    ASSERT_NO_FATAL_FAILURE(Measure(TestBlock(0, 30000)));
    EXPECT_EQ(engine.left.heldPeak, 30000) << "a larger peak replaces the hold at once";
    ASSERT_NO_FATAL_FAILURE(Measure(TestBlock(0, 31000)));
    EXPECT_EQ(engine.left.heldPeak, 31000);
    EXPECT_EQ(engine.right.heldPeak, 0);
}

// The levels as first defined: double sums in frame order, 16-bit magnitudes.
struct Reference {
    int16_t leftLevel, rightLevel, leftPeak, rightPeak;
    uint64_t leftSum, rightSum;
};
Reference Scalar(const std::vector<int16_t>& values) {
    const int32_t count = int32_t(values.size());
    double sums[2] = {0.0, 0.0};
    int16_t peaks[2] = {0, 0};
    for (int32_t i = 0; i + 1 < count; i += 2) {
        for (int c = 0; c < 2; ++c) {
            const int16_t v = values[size_t(i + c)];
            const int16_t m = int16_t(uint16_t(v < 0 ? -int32_t(v) : v));
            if (peaks[c] < m) peaks[c] = m;
            sums[c] += double(m) * m;
        }
    }
    const int32_t divisor = count / 4 > 0 ? count / 4 : 1;
    auto level = [&](double sum) {
        const double l = std::sqrt(sum) / divisor;
        return l >= 32767.0 ? int16_t(32767) : int16_t(l);
    };
    return {level(sums[0]), level(sums[1]), peaks[0], peaks[1],
            uint64_t(sums[0]), uint64_t(sums[1])};
}

TEST_F(MeteringTest, VectorSumsGiveTheScalarLevelsOnRandomBlocks) {
    uint32_t state = 2024;
    auto next = [&state] { return state = state * 1664525u + 1013904223u; };
    const int32_t lengths[] = {0, 1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 1001, kCaptureBlockValues,
                               kCaptureBlockValues + 6, 3 * kCaptureBlockValues};
    for (int32_t length : lengths) {
        for (int kind = 0; kind < 4; ++kind) {
            std::vector<int16_t> values(static_cast<size_t>(length));
            for (int16_t& v : values) {
                const uint32_t r = next() >> 8;
                // Full range, quiet noise, and the extremes that wrap a 16-bit magnitude or a
                // 32-bit pair of squares.
                v = kind == 0 ? int16_t(r) : kind == 1 ? int16_t(int32_t(r % 9) - 4)
                  : kind == 2 ? int16_t(r % 3 == 0 ? -32768 : r % 3 == 1 ? 32767 : int32_t(r))
                              : int16_t(-32768);
            }
            ASSERT_NO_FATAL_FAILURE(Measure(values));
            const Reference expected = Scalar(values);
            const BlockSums sums = SumBlock(values.data(), length);
            SCOPED_TRACE(testing::Message() << length << " values, kind " << kind);
            EXPECT_EQ(sums.left, expected.leftSum);
            EXPECT_EQ(sums.right, expected.rightSum);
            EXPECT_EQ(engine.left.level, expected.leftLevel);
            EXPECT_EQ(engine.right.level, expected.rightLevel);
            EXPECT_EQ(engine.left.peak, expected.leftPeak);
            EXPECT_EQ(engine.right.peak, expected.rightPeak);
        }
    }
}

// Threshold decisions through the worker: a sound block opens a track, a silent one is held.
TEST_F(MeteringTest, LevelEqualToThresholdIsSilence) {
    struct Case {
        int32_t threshold;
        std::vector<int16_t> block;
        bool opens;
    };
    std::vector<int16_t> justBelow(kCaptureBlockValues, 0), reaching(kCaptureBlockValues, 0);
    justBelow[0] = 2939;  // sqrt(sum) below 2940: level 0
    reaching[0] = 2940;   // level 1
    const Case cases[] = {
        {26, TestBlock(0, 1000, true), false},
        {25, TestBlock(0, 1000, true), true},
        {0, std::vector<int16_t>(kCaptureBlockValues, 0), false},
        {0, justBelow, false},
        {0, reaching, true},
    };
    for (const Case& c : cases) {
        engine.SetStandby(0);
        engine.silenceThreshold = c.threshold;
        Submit(engine, c.block);
        engine.ProcessInput();
        EXPECT_EQ(engine.IsTrackOpen(), c.opens) << "threshold " << c.threshold << ", level "
                                                 << engine.left.level;
        engine.SetStandby(1);
    }
}

}  // namespace
