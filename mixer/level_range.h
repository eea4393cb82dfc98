// LevelRange: the mapping between a VOLUME control's values and the positions of the vertical
// recording-level trackbar, which runs from 0 at the top (loudest) to `range` at the bottom.
// All arithmetic is 32-bit unsigned with integer division.
#pragma once

#include <windows.h>
#include <mmsystem.h>

constexpr DWORD kLevelRangeCap = 32767;  // the trackbar range is a signed 16-bit number
constexpr DWORD kLevelTicks = 10;         // about ten tick marks over the range

struct LevelRange {
    DWORD range;    // R: cSteps - 1, capped at 32767, at least 1
    DWORD minimum;  // Bounds.dwMinimum
    DWORD maximum;  // Bounds.dwMaximum

    static LevelRange Of(const MIXERCONTROLA& control);

    DWORD TickFrequency() const { return range / kLevelTicks; }
    // Position that shows `average`; values outside the bounds show at the ends.
    DWORD PositionOf(DWORD average) const;
    // Value that position writes. The quotient is not raised to 1: when the bounds span
    // less than the range, every position writes the minimum.
    DWORD ValueAt(DWORD position) const;
};

// The mean of `count` channel values, each divided before it is added so the sum cannot
// overflow.
DWORD LevelAverage(const DWORD* values, DWORD count);
