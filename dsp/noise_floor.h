// EstimateNoiseFloor: how loud a recorded side is where no music plays (its surface noise),
// from the level of each of its blocks in dB (the louder channel's RMS). Plain C++17.
//
// How it works: the side is looked at through windows of kFloorWindowBlocks blocks. A window is
// steady when its blocks, the kFloorIgnoredBlocks loudest left out so that a click or two do
// not count, lie within kFloorSteadyDb of each other: hiss and rumble hold their level, a fade
// falls through the window. The floor is the middle block of the quietest steady window that
// lies between sounds (before it and after it somewhere on the side is a block
// kFloorBelowSoundDb louder): a lead-in before the needle reaches the music and the run-out are
// never taken. Steady music can pass for noise, so a floor more than kFloorAboveQuietestDb above
// the quietest steady window anywhere (the run-in and run-out grooves are the record's noise
// too) is taken only when it recurs: a steady stretch as quiet, give or take kFloorSteadyDb, in
// another gap, sound between the two. A soft steady passage of one long piece is one stretch,
// the noise between the songs of a 78 or of a side behind the sound card's far quieter hiss is
// in every gap. A window of digital silence (below one 16-bit step) is the floor only when no
// window of noise is: a stretch made silent in an editor says nothing of the record's noise,
// the gaps of a side copied from a CD do.
//
// RumbleFilter: the measurement's high-pass. Rumble below 20 Hz (a warped record, the turntable's
// motor) beats and wanders over a block or two, so a gap under it is not steady; the hiss
// beneath it is the record's noise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr size_t kFloorWindowBlocks = 7;   // about a second of blocks of 0.13 s
constexpr size_t kFloorIgnoredBlocks = 2;  // the loudest of a window: clicks in a gap
constexpr float kFloorSteadyDb = 3.0f;     // surface noise varies by about 1 dB a block
constexpr float kFloorBelowSoundDb = 20.0f;  // a gap is far quieter than the music around it
constexpr float kFloorAboveQuietestDb = 10.0f;  // gaps are as noisy as the run-in, give or take
constexpr size_t kFloorMusicBlocks = 75;  // the music around a gap: 10 s before it and after it
constexpr float kDigitalSilenceDb = -90.0f;  // the RMS of one 16-bit step is -90.3 dBFS
// Rumble lies below 20 Hz: a fourth-order high-pass at twice that takes 15 Hz down by 34 dB,
// music's lowest notes (41 Hz) by 3.
constexpr double kRumbleHz = 40.0;

struct NoiseFloor {
    bool found = false;
    float db = 0.0f;  // the floor's level, as the blocks' levels are given
    size_t first = 0;  // the first block of its window
    // How far the floor lies below the music around it: the lower of the middle levels of the
    // blocks louder than the gap (kFloorSteadyDb above the floor) among the kFloorMusicBlocks
    // before its window and after it.
    float belowMusicDb = 0.0f;
};

NoiseFloor EstimateNoiseFloor(const std::vector<float>& blockDb);
// The same floor's window measured in other levels of the same blocks (the side as heard,
// rumble and all, where `floor` was found without it).
NoiseFloor NoiseFloorIn(const NoiseFloor& floor, const std::vector<float>& blockDb);

// A fourth-order Butterworth high-pass at kRumbleHz on interleaved stereo, its state carried
// from one call to the next.
class RumbleFilter {
public:
    explicit RumbleFilter(double rate);
    // Filters `frames` frames of `values` into `out` (as many values).
    void Run(const int16_t* values, int32_t frames, float* out);

private:
    struct Stage {  // one biquad, both channels
        double b0 = 1.0, a1 = 0.0, a2 = 0.0;  // b1 = -2 b0, b2 = b0
        double x1[2] = {}, x2[2] = {}, y1[2] = {}, y2[2] = {};
        double Run(int channel, double x);
    };
    Stage stages_[2];
};
