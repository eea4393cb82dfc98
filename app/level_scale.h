// The level display of the main window: the four coloured bands of the scale between the two
// meters, the held-peak lines drawn over it, and the values the meters and the silence-level
// tick are set to.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

constexpr int kLevelBands = 4;
constexpr int kMeterRange = 128;         // meters 1012 and 1013 run from 0 to 128
constexpr int kPeakPerMeterStep = 256;   // a sample magnitude of 32767 fills 127 steps
constexpr int kTickValueLimit = 100;     // the silence-level tick goes at most this far
constexpr int kScaleMeterGap = 3;        // pixels between a meter and the scale

struct LevelBand {
    int tenths;        // height in tenths of (strip height + 5)
    COLORREF colour;
};

// Bottom band first: dark green, green, yellow, red.
constexpr std::array<LevelBand, kLevelBands> kLevelBandTable = {{
    {4, RGB(0x00, 0xC0, 0x00)},
    {2, RGB(0x00, 0xFF, 0x00)},
    {2, RGB(0xFF, 0xFF, 0x00)},
    {2, RGB(0xFF, 0x00, 0x00)},
}};

// The band rectangles inside `strip`, bottom band first. A band that would reach above the
// strip is cut at its top.
std::array<RECT, kLevelBands> LevelBandRects(const RECT& strip);

// The height of the held-peak line for a held sample magnitude (0 to 32767).
int HeldPeakLineY(const RECT& strip, int16_t heldPeak);

// Meter position for a block peak: peak / 256, truncating.
int MeterPosition(int16_t peak);

// Where the silence-level slider shows its tick: the louder channel's level, at most 100.
int TickValue(int16_t leftLevel, int16_t rightLevel);
