// Geometry of the level scale and the meter values of the main window.
#include "app/level_scale.h"

#include <algorithm>

std::array<RECT, kLevelBands> LevelBandRects(const RECT& strip) {
    std::array<RECT, kLevelBands> rects{};
    const int h = strip.bottom - strip.top - 1;
    int bandBottom = strip.bottom;
    for (int i = 0; i < kLevelBands; ++i) {
        int bandTop = bandBottom - kLevelBandTable[i].tenths * (h + 5) / 10;
        if (bandTop < strip.top) bandTop = strip.top;
        rects[i] = RECT{strip.left, bandTop, strip.right, bandBottom};
        bandBottom = bandTop;
    }
    return rects;
}

int HeldPeakLineY(const RECT& strip, int16_t heldPeak) {
    const int h = strip.bottom - strip.top - 1;
    return strip.bottom - (h * (heldPeak / kPeakPerMeterStep)) / kMeterRange - 1;
}

int MeterPosition(int16_t peak) { return peak / kPeakPerMeterStep; }

int TickValue(int16_t leftLevel, int16_t rightLevel) {
    return std::min<int>(std::max(leftLevel, rightLevel), kTickValueLimit);
}
