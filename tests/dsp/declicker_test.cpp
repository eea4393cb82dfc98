// The declicker on synthesized sides: its figures with a margin, identity outside repaired
// spans, clicks across block boundaries, and no repairs on silence or square waves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/declicker.h"
#include "tests/dsp/declick_signal.h"

namespace {

using declicktest::RunResult;

constexpr size_t kCaptureFrames = 5880;  // the pieces grooval-split hands over

TEST(DeclickerTest, FindsAndRepairsClicksOnAShortSide) {
    // 40 s with 60 clicks; the benchmark's targets, with a margin.
    const declicktest::SynthSide side = declicktest::MakeSide(40.0, 60, 7);
    const RunResult clicked = declicktest::Run(side.clicked, side.rate, kDeclickDefaultLevel,
                                               kCaptureFrames);
    const RunResult clean =
        declicktest::Run(side.clean, side.rate, kDeclickDefaultLevel, kCaptureFrames);
    const declicktest::Figures figures = declicktest::Measure(side, clicked, clean);
    // Spikes, bumps and pops of 0.05 to 2 ms: the wide bumps and pops are often left alone.
    EXPECT_GE(figures.found, 40) << "of 60";
    EXPECT_GE(figures.errorDb, 10.0);
    EXPECT_LE(figures.cleanRepairs, 1u);
    EXPECT_TRUE(figures.identicalOutside);
    EXPECT_TRUE(figures.cleanLengthKept);
    EXPECT_EQ(clicked.output.size(), side.clicked.size());
}

TEST(DeclickerTest, RepairsClicksAtHighRates) {
    // At 192 kHz the longest click reaches its cap of 256 samples: its span and onset must
    // still fit the interpolation (when they did not, none of the 20 clicks was repaired).
    for (uint32_t rate : {96000u, 192000u}) {
        const declicktest::SynthSide side = declicktest::MakeSide(10.0, 20, 4, rate);
        const RunResult run =
            declicktest::Run(side.clicked, rate, kDeclickDefaultLevel, kCaptureFrames);
        EXPECT_GE(run.repaired.size(), 5u) << rate;
        EXPECT_TRUE(declicktest::IdenticalOutside(side.clicked, run)) << rate;
    }
}

TEST(DeclickerTest, TheOutputDoesNotDependOnHowTheInputIsCut) {
    const declicktest::SynthSide side = declicktest::MakeSide(6.0, 12, 3);
    const RunResult whole = declicktest::Run(side.clicked, side.rate, kDeclickDefaultLevel,
                                             side.clicked.size());
    EXPECT_GE(whole.repaired.size(), 10u);
    for (size_t piece : {size_t(1), size_t(1023), kCaptureFrames}) {
        const RunResult cut = declicktest::Run(side.clicked, side.rate, kDeclickDefaultLevel, piece);
        EXPECT_EQ(cut.output, whole.output) << piece;
        EXPECT_EQ(cut.repaired.size(), whole.repaired.size()) << piece;
    }
}

// A decaying click of `length` frames and `peak` starting at `at` in the left channel of a
// two-tone signal `loudness` times as loud as a quiet one, twice as loud from `swell` on.
std::vector<int16_t> ToneWithClick(size_t frames, uint64_t at, uint32_t length,
                                   double peak = 9000.0, double loudness = 1.0,
                                   uint64_t swell = UINT64_MAX) {
    std::vector<int16_t> samples(frames * 2);
    for (size_t n = 0; n < frames; ++n) {
        const double gain = loudness * (n < swell ? 1.0 : 1.0 + std::min(1.0, (n - swell) / 441.0));
        const double tones = 3000.0 * std::sin(0.031 * n) + 1500.0 * std::sin(0.177 * n + 1.0);
        const double v = gain * tones + 40.0 * std::sin(2.3 * n * n);  // a little noise-like
        samples[2 * n] = samples[2 * n + 1] = int16_t(std::lround(v));
    }
    for (uint32_t k = 0; k < length; ++k) {
        const size_t i = size_t(at + k) * 2;
        const double v = samples[i] + peak * std::exp(-2.0 * k / length);
        samples[i] = int16_t(std::max(-32768.0, std::min(32767.0, v)));
    }
    return samples;
}

// The error of the left channel of `output` against `clean` over [from, to), RMS.
double LeftError(const std::vector<int16_t>& output, const std::vector<int16_t>& clean,
                 uint64_t from, uint64_t to) {
    double error = 0.0;
    for (uint64_t n = from; n < to; ++n) {
        const double d = double(output[size_t(n) * 2]) - clean[size_t(n) * 2];
        error += d * d;
    }
    return std::sqrt(error / double(to - from));
}

TEST(DeclickerTest, AClickAcrossABlockBoundaryIsRepaired) {
    // Across the boundary of two capture pieces, and of two analysis blocks.
    for (uint64_t boundary : {uint64_t(kCaptureFrames), uint64_t(6 * kDeclickBlockFrames)}) {
        const std::vector<int16_t> clean = ToneWithClick(20000, 0, 0);
        const std::vector<int16_t> input = ToneWithClick(20000, boundary - 20, 40);
        const RunResult run =
            declicktest::Run(input, 44100, kDeclickDefaultLevel, kCaptureFrames);
        ASSERT_EQ(run.repaired.size(), 1u) << boundary;
        EXPECT_LE(run.repaired[0].frame, boundary - 20);
        EXPECT_GE(run.repaired[0].frame + run.repaired[0].frames, boundary + 15);
        EXPECT_TRUE(declicktest::IdenticalOutside(input, run));
        // The click's RMS is about 4000.
        EXPECT_LT(LeftError(run.output, clean, boundary - 40, boundary + 60), 200.0) << boundary;
    }
}

// A click's span is its own: a short click in loud music is not grown over the music (where
// the repair was refused once), a long one's tail is taken in, and a click louder than the
// music swelling after it is no attack.
TEST(DeclickerTest, EachClickGetsItsOwnSpan) {
    constexpr uint64_t kAt = 10000;
    const struct {
        uint32_t length;
        double peak, loudness;
        uint64_t swell;
        uint32_t longest;  // span
    } rows[] = {
        {2, 4000, 3.0, UINT64_MAX, 8}, {3, -5000, 3.5, UINT64_MAX, 9},
        {40, 9000, 1.0, UINT64_MAX, 48}, {60, -6000, 2.0, UINT64_MAX, 68},
        {4, 12000, 0.1, kAt + 200, 10}, {8, -12000, 0.1, kAt + 100, 14},
    };
    for (const auto& row : rows) {
        const std::vector<int16_t> clean = ToneWithClick(20000, 0, 0, 0.0, row.loudness, row.swell);
        const std::vector<int16_t> input =
            ToneWithClick(20000, kAt, row.length, row.peak, row.loudness, row.swell);
        const RunResult run = declicktest::Run(input, 44100, kDeclickDefaultLevel, kCaptureFrames);
        ASSERT_EQ(run.repaired.size(), 1u) << row.length << " frames of " << row.peak;
        EXPECT_LE(run.repaired[0].frames, row.longest) << row.length;
        EXPECT_LT(LeftError(run.output, clean, kAt - 20, kAt + row.length + 20),
                  0.1 * LeftError(input, clean, kAt - 20, kAt + row.length + 20))
            << row.length << " frames of " << row.peak;
    }
}

// Drum attacks and plucked notes are music: none is repaired. Clicks of each shape between
// them are, and only their own samples change: smooth ones of 40 frames too, which no sample
// of their prediction error shows.
TEST(DeclickerTest, AttacksAreLeftAloneAndClicksAmongThemRepaired) {
    using declicktest::Shape;
    for (declicktest::Pattern pattern : {declicktest::Pattern::Drums, declicktest::Pattern::Plucks}) {
        const std::vector<int16_t> clean = declicktest::MakePattern(pattern, 4.0, 3);
        const RunResult plain = declicktest::Run(clean, 44100, kDeclickDefaultLevel, kCaptureFrames);
        EXPECT_TRUE(plain.repaired.empty()) << plain.repaired.size() << " repairs";
        EXPECT_EQ(plain.output, clean);
        const struct {
            Shape shape;
            uint32_t frames;
            double left, right;
        } clicks[] = {
            {Shape::Spike, 2, 8000, 0},    {Shape::Spike, 6, -8000, 0},
            {Shape::Bump, 2, 0, -9000},    {Shape::Bump, 6, 8000, -5000},
            {Shape::Pop, 3, -8000, -6000}, {Shape::Pop, 6, 0, 9000},
            {Shape::Pop, 40, -9000, 0},    {Shape::Bump, 40, 9000, 0},
        };
        int at = 0;
        for (const auto& row : clicks) {
            declicktest::Click click;
            // In the decay of a beat or a note, 150 ms after its attack.
            click.frame = pattern == declicktest::Pattern::Drums ? uint64_t(44100 * (0.275 + 0.5 * at))
                                                                 : uint64_t(44100 * (0.25 + 0.6 * at));
            at = (at + 1) % 6;
            click.frames = row.frames;
            click.shape = row.shape;
            click.gain[0] = row.left;
            click.gain[1] = row.right;
            std::vector<int16_t> input = clean;
            declicktest::AddClick(input, click);
            const RunResult run = declicktest::Run(input, 44100, kDeclickDefaultLevel, kCaptureFrames);
            const char* name = declicktest::ShapeName(row.shape);
            EXPECT_TRUE(declicktest::IdenticalOutside(input, run)) << name;
            double before = 0.0, after = 0.0;
            for (size_t i = size_t(click.frame - 200) * 2; i < size_t(click.frame + 300) * 2; ++i) {
                before += (double(input[i]) - clean[i]) * (double(input[i]) - clean[i]);
                after += (double(run.output[i]) - clean[i]) * (double(run.output[i]) - clean[i]);
            }
            EXPECT_GE(10.0 * std::log10(before / std::max(after, 1.0)), 8.0)
                << name << " of " << row.frames << " frames at " << click.frame;
        }
    }
}

// The sensitivity is 7.3 robust deviations of the prediction error at the default level:
// single-sample clicks in white noise 8 % above it are repaired, 7 % below it are not (other
// checks may leave a few alone; a threshold 15 % off either way shows in the counts).
TEST(DeclickerTest, DetectsClicksAboveTheDefaultThresholdOnly) {
    constexpr double kDefaultThreshold = 7.3;  // 14 x 0.85^4
    constexpr double kNoiseHalfWidth = 300.0;  // uniform noise: its median magnitude is 150
    constexpr double kDeviation = 1.4826 * kNoiseHalfWidth / 2.0;
    for (double ratio : {1.08, 0.93}) {
        std::vector<int16_t> input(44100 * 2 * 4);
        uint64_t state = 12345;
        for (int16_t& sample : input) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            sample = int16_t(std::lround((double(state >> 11) / 9007199254740992.0 * 2.0 - 1.0) *
                                         kNoiseHalfWidth));
        }
        for (int i = 0; i < 20; ++i) {
            const size_t at = size_t(8000 + i * 8000) * 2 + size_t(i % 2);
            input[at] = int16_t(std::lround((i % 4 < 2 ? 1 : -1) * ratio * kDefaultThreshold * kDeviation));
        }
        const RunResult run = declicktest::Run(input, 44100, kDeclickDefaultLevel, kCaptureFrames);
        if (ratio > 1.0) {
            EXPECT_GE(run.repaired.size(), 14u) << "of 20 clicks 8 % above the threshold";
        } else {
            EXPECT_LE(run.repaired.size(), 4u) << "of 20 clicks 7 % below the threshold";
        }
    }
}

TEST(DeclickerTest, SilenceAndFullScaleSquareWavesAreLeftAlone) {
    std::vector<std::vector<int16_t>> inputs;
    inputs.emplace_back(44100 * 2, int16_t(0));
    for (double hertz : {50.0, 441.0, 1000.0, 3150.0}) {
        std::vector<int16_t> square(44100 * 2);
        for (size_t n = 0; n < square.size() / 2; ++n) {
            const bool high = std::fmod(n * hertz / 44100.0, 1.0) < 0.5;
            square[2 * n] = high ? 32767 : -32768;
            square[2 * n + 1] = high ? -32768 : 32767;
        }
        inputs.push_back(square);
    }
    for (const std::vector<int16_t>& input : inputs) {
        const RunResult run = declicktest::Run(input, 44100, kDeclickMaxLevel, kCaptureFrames);
        EXPECT_TRUE(run.repaired.empty()) << run.repaired.size() << " repairs";
        EXPECT_EQ(run.output, input);
    }
}

TEST(DeclickerTest, OutputLagsByABoundedLatency) {
    const declicktest::SynthSide side = declicktest::MakeSide(3.0, 0, 5);
    Declicker declicker(44100);
    std::vector<int16_t> out;
    size_t in = 0;
    for (; in + kCaptureFrames <= side.Frames(); in += kCaptureFrames) {
        declicker.Process(side.clean.data() + 2 * in, kCaptureFrames, out);
        EXPECT_GE(out.size() / 2 + Declicker::LatencyFrames(), in + kCaptureFrames);
    }
    EXPECT_EQ(Declicker(48000).MaxClickFrames(), 96);
    EXPECT_EQ(Declicker(44100).MaxClickFrames(), 88);
    EXPECT_GT(Declicker::Threshold(kDeclickMinLevel), Declicker::Threshold(kDeclickDefaultLevel));
    EXPECT_GT(Declicker::Threshold(kDeclickDefaultLevel), Declicker::Threshold(kDeclickMaxLevel));
    EXPECT_EQ(Declicker::Threshold(0), Declicker::Threshold(kDeclickMinLevel));
}

}  // namespace
