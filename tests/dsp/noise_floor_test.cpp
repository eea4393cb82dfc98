// EstimateNoiseFloor on block levels shaped as sides: gaps of noise between music, clicks, a
// silent lead-in, the sound card's hiss before the needle, a 78's loud floor, fades, a side
// that is all music, gaps of digital silence; RumbleFilter on tones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "dsp/noise_floor.h"

namespace {

constexpr float kZeros = -150.0f;  // a block of zeros, as grooval-split measures it

// A side's block levels, passage by passage.
struct Side {
    std::vector<float> db;
    // Music: never within 3 dB for a second, its loudest blocks about -12 dBFS.
    Side& Music(int blocks, float around = -20.0f) {
        for (int i = 0; i < blocks; ++i) {
            db.push_back(around + 8.0f * std::sin(1.3f * float(db.size())));
        }
        return *this;
    }
    // Hiss: within half a dB; a click (25 dB up) every `clickEvery` blocks.
    Side& Noise(int blocks, float level, int clickEvery = 0) {
        for (int i = 0; i < blocks; ++i) {
            const bool click = clickEvery > 0 && i % clickEvery == clickEvery - 1;
            db.push_back(level + (click ? 25.0f : 0.5f * std::sin(2.1f * float(db.size()))));
        }
        return *this;
    }
    // Crackle: two clicks in every window of 7 blocks, however it lies.
    Side& Crackle(int blocks, float level) {
        for (int i = 0; i < blocks; ++i) db.push_back(level + ((2 * i) % 7 >= 5 ? 25.0f : 0.0f));
        return *this;
    }
    Side& Steady(int blocks, float level) {
        db.insert(db.end(), size_t(blocks), level);
        return *this;
    }
    Side& Fade(int blocks, float from, float to) {
        for (int i = 0; i < blocks; ++i) {
            db.push_back(from + (to - from) * float(i) / float(blocks));
        }
        return *this;
    }
};

TEST(NoiseFloorTest, TheQuietestSteadyWindowBetweenSoundsIsTheFloor) {
    const struct {
        const char* name;
        Side side;
        bool found;
        float floor;
        float belowMusic;  // 0: not looked at
    } cases[] = {
        {"gaps of noise between songs",
         Side().Noise(10, -54).Music(40).Noise(20, -54).Music(40).Noise(20, -54), true, -54, 34},
        {"the quietest gap", Side().Music(40).Noise(20, -50).Music(40).Noise(20, -54).Music(40),
         true, -54, 0},
        {"clicks in the gaps",
         Side().Music(40).Noise(20, -54, 4).Music(40).Noise(20, -54, 3).Music(5), true, -54, 0},
        {"the only gap with two clicks in every second",
         Side().Noise(10, -54).Music(40).Crackle(30, -54).Music(40), true, -54, 0},
        {"a fade into the gap", Side().Music(40).Fade(30, -20, -54).Noise(15, -54).Music(40),
         true, -54, 0},
        {"a digitally silent lead-in",
         Side().Steady(30, kZeros).Noise(10, -54).Music(40).Noise(20, -54).Music(40), true, -54,
         0},
        {"a stretch made silent in a gap",
         Side().Music(40).Noise(8, -48).Steady(10, kZeros).Noise(8, -48).Music(40), true, -48, 0},
        {"gaps of digital silence, as on a CD",
         Side().Music(40).Steady(20, kZeros).Music(40).Steady(20, kZeros).Music(40), true, kZeros,
         0},
        {"a noisy record", Side().Music(40).Noise(20, -40).Music(40).Noise(10, -40), true, -40,
         20},
        {"the sound card's hiss before the needle, the record's noise in every gap",
         Side().Noise(20, -86).Noise(10, -68).Music(40).Noise(20, -68).Music(40).Noise(20, -68)
             .Music(40),
         true, -68, 0},
        {"a 78 behind the sound card's hiss: loud noise with clicks in every gap",
         Side().Noise(20, -86).Music(40, -19).Noise(20, -40, 4).Music(40, -19).Noise(20, -40, 3)
             .Music(40, -19),
         true, -40, 21},
        {"all music, steady in a soft passage",
         Side().Noise(10, -54).Music(100).Steady(20, -40).Music(100).Noise(20, -54), false, 0, 0},
        {"all music, no lead-in", Side().Music(300), false, 0, 0},
        {"the sound card's hiss, then one gap: not told from a soft passage",
         Side().Noise(20, -80).Music(40).Noise(20, -54).Music(40), false, 0, 0},
        {"a gap too short to tell from clicks", Side().Music(40).Noise(4, -54).Music(40), false,
         0, 0},
        {"a gap not far enough below the music",
         Side().Music(40, -40).Noise(20, -45).Music(40, -40), false, 0, 0},
        {"noise alone", Side().Noise(100, -54), false, 0, 0},
        {"nothing", Side(), false, 0, 0},
    };
    for (const auto& test : cases) {
        const NoiseFloor floor = EstimateNoiseFloor(test.side.db);
        EXPECT_EQ(floor.found, test.found) << test.name << ": " << floor.db;
        if (test.found && floor.found) {
            EXPECT_NEAR(floor.db, test.floor, 0.6) << test.name;
        }
        if (test.belowMusic != 0) {
            EXPECT_NEAR(floor.belowMusicDb, test.belowMusic, 1.5) << test.name;
        }
    }
}

// Where the floor was found without the rumble, the side as heard gives its level there.
TEST(NoiseFloorTest, TheFloorFoundWithoutRumbleIsMeasuredAsHeard) {
    const Side filtered = Side().Noise(10, -60).Music(40).Noise(20, -60).Music(40);
    const Side heard = Side().Noise(10, -35).Music(40).Noise(20, -35).Music(40);
    const NoiseFloor floor = EstimateNoiseFloor(filtered.db);
    ASSERT_TRUE(floor.found);
    const NoiseFloor asHeard = NoiseFloorIn(floor, heard.db);
    EXPECT_TRUE(asHeard.found);
    EXPECT_EQ(asHeard.first, floor.first);
    EXPECT_NEAR(asHeard.db, -35, 0.6);
    EXPECT_NEAR(asHeard.belowMusicDb, 15, 1.5);
    EXPECT_FALSE(NoiseFloorIn(NoiseFloor(), heard.db).found);
}

// Rumble is taken far down, music's lowest notes hardly, whatever the block lengths.
TEST(NoiseFloorTest, TheRumbleFilterPassesMusicAndNotRumble) {
    const struct {
        double hz;
        double lowDb, highDb;  // the gain, in dB, lies between
    } tones[] = {{11, -60, -40}, {15, -40, -30}, {20, -30, -20}, {41, -4, -2}, {100, -0.1, 0.01},
                 {1000, -0.01, 0.01}};
    for (const auto& tone : tones) {
        constexpr int kRate = 44100, kFrames = 2 * kRate, kBlock = 5880;
        std::vector<int16_t> values(2 * kFrames);
        for (int i = 0; i < kFrames; ++i) {
            const double x = 10000.0 * std::sin(2 * 3.14159265358979 * tone.hz * i / kRate);
            values[2 * size_t(i)] = int16_t(std::lround(x));
            values[2 * size_t(i) + 1] = int16_t(-std::lround(x));
        }
        RumbleFilter filter(kRate);
        std::vector<float> out(values.size());
        for (int at = 0; at < kFrames; at += kBlock) {
            filter.Run(&values[2 * size_t(at)], std::min(kBlock, kFrames - at), &out[2 * size_t(at)]);
        }
        double in = 0, filtered[2] = {0, 0};
        for (size_t i = values.size() / 2; i < values.size(); ++i) {  // the second second
            in += double(values[i]) * values[i];
            filtered[i & 1] += double(out[i]) * out[i];
        }
        for (double channel : filtered) {
            const double gainDb = 10 * std::log10(2 * channel / in);
            EXPECT_GT(gainDb, tone.lowDb) << tone.hz;
            EXPECT_LT(gainDb, tone.highDb) << tone.hz;
        }
    }
}

}  // namespace
