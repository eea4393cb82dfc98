// The ranges of the three track-detection sliders, shared by the main window and grooval-split
// so both clamp stored settings the same way.
#pragma once

constexpr int kLevelSliderMin = 0;     // silence level, in the engine's level units
constexpr int kLevelSliderMax = 66;
constexpr int kGapSliderMin = 7;       // blocks of silence that end a track
constexpr int kDiscardSliderMin = 3;   // blocks below which a track is deleted
constexpr int kLengthSliderMax = 140;  // the upper end of both block sliders
