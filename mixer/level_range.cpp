// LevelRange: trackbar positions from and to VOLUME values.
#include "mixer/level_range.h"

LevelRange LevelRange::Of(const MIXERCONTROLA& control) {
    DWORD r = control.Metrics.cSteps - 1;  // 0 steps wraps round to the cap
    if (r > kLevelRangeCap) r = kLevelRangeCap;
    if (r < 1) r = 1;
    return LevelRange{r, control.Bounds.dwMinimum, control.Bounds.dwMaximum};
}

DWORD LevelRange::PositionOf(DWORD average) const {
    DWORD step = (maximum - minimum) / range;
    if (step == 0) step = 1;
    if (average < minimum) return range;  // unsigned subtraction would wrap to the top
    DWORD fromBottom = (average - minimum) / step;
    return fromBottom >= range ? 0 : range - fromBottom;
}

DWORD LevelRange::ValueAt(DWORD position) const {
    if (position > range) position = range;
    return minimum + (range - position) * ((maximum - minimum) / range);
}

DWORD LevelAverage(const DWORD* values, DWORD count) {
    if (count == 0) return 0;
    DWORD sum = 0;
    for (DWORD j = 0; j < count; ++j) sum += values[j] / count;
    return sum;
}
