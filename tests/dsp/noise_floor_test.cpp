// EstimateNoiseFloor on block levels shaped as sides: gaps of noise between music, clicks, a
// silent lead-in, fades, a side that is all music, gaps of digital silence.
#include <gtest/gtest.h>

#include <cmath>
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
    } cases[] = {
        {"gaps of noise between songs",
         Side().Noise(10, -54).Music(40).Noise(20, -54).Music(40).Noise(20, -54), true, -54},
        {"the quietest gap", Side().Music(40).Noise(20, -50).Music(40).Noise(20, -54).Music(40),
         true, -54},
        {"clicks in the gaps",
         Side().Music(40).Noise(20, -54, 4).Music(40).Noise(20, -54, 3).Music(5), true, -54},
        {"a fade into the gap", Side().Music(40).Fade(30, -20, -54).Noise(15, -54).Music(40),
         true, -54},
        {"a digitally silent lead-in",
         Side().Steady(30, kZeros).Noise(10, -54).Music(40).Noise(20, -54).Music(40), true, -54},
        {"a stretch made silent in a gap",
         Side().Music(40).Noise(8, -48).Steady(10, kZeros).Noise(8, -48).Music(40), true, -48},
        {"gaps of digital silence, as on a CD",
         Side().Music(40).Steady(20, kZeros).Music(40).Steady(20, kZeros).Music(40), true, kZeros},
        {"a noisy record", Side().Music(40).Noise(20, -40).Music(40).Noise(10, -40), true, -40},
        {"all music, steady in a soft passage",
         Side().Noise(10, -54).Music(100).Steady(20, -40).Music(100).Noise(20, -54), false, 0},
        {"all music, no lead-in", Side().Music(300), false, 0},
        {"a lead-in of the sound card's own hiss, far below the record's",
         Side().Noise(20, -80).Music(40).Noise(20, -54).Music(40), false, 0},
        {"a gap too short to tell from clicks", Side().Music(40).Noise(4, -54).Music(40), false,
         0},
        {"a gap not far enough below the music",
         Side().Music(40, -40).Noise(20, -45).Music(40, -40), false, 0},
        {"noise alone", Side().Noise(100, -54), false, 0},
        {"nothing", Side(), false, 0},
    };
    for (const auto& test : cases) {
        const NoiseFloor floor = EstimateNoiseFloor(test.side.db);
        EXPECT_EQ(floor.found, test.found) << test.name << ": " << floor.db;
        if (test.found && floor.found) {
            EXPECT_NEAR(floor.db, test.floor, 0.6) << test.name;
        }
    }
}

}  // namespace
