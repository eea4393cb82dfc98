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
// too) is none: a side of one long piece has no floor, and neither has a side whose lead-in is
// the sound card's own hiss, far below the record's. A window of digital silence (below one
// 16-bit step) is the floor only when no window of noise is: a stretch made silent in an
// editor says nothing of the record's noise, the gaps of a side copied from a CD do.
#pragma once

#include <cstddef>
#include <vector>

constexpr size_t kFloorWindowBlocks = 7;   // about a second of blocks of 0.13 s
constexpr size_t kFloorIgnoredBlocks = 2;  // the loudest of a window: clicks in a gap
constexpr float kFloorSteadyDb = 3.0f;     // surface noise varies by about 1 dB a block
constexpr float kFloorBelowSoundDb = 20.0f;  // a gap is far quieter than the music around it
constexpr float kFloorAboveQuietestDb = 10.0f;  // gaps are as noisy as the run-in, give or take
constexpr float kDigitalSilenceDb = -90.0f;  // the RMS of one 16-bit step is -90.3 dBFS

struct NoiseFloor {
    bool found = false;
    float db = 0.0f;  // the floor's level, as the blocks' levels are given
};

NoiseFloor EstimateNoiseFloor(const std::vector<float>& blockDb);
