// The silence level in decibels, and the level grooval-split chooses itself from the side's
// noise floor (--silence auto, its default).
//
// The engine's level of a block is the square root of its sum of squares over a quarter of its
// value count: for a full block of 5880 frames its RMS over 38.3, truncated. A block is silent
// at silence level N when that is at most N, that is when its louder channel's RMS is below
// (N + 1) x 38.3: level N stands for that RMS in dBFS (full scale 32768), 20 log10((N + 1) x
// 38.3 / 32768). Level 0 is -58.6 dBFS, 1 is -52.6, 2 is -49.1, 4 (the recorder's default) is
// -44.7, 66 is -22.1.
//
// The automatic level is the highest step at most kAutoMarginDb above the side's noise floor
// (dsp/noise_floor.h), but at least kAutoMinMarginDb above it: as low as the noise lets it be,
// so that fades and soft starts survive. It stays at or below kAutoCapDbfs unless the noise would
// sound there and the floor lies kAutoClearMarginDb or more below the music around its gap: a
// 78's surface noise is then cut above. Rumble is not: the engine hears it, so a level above it
// would drop the soft music it hides from no one (15 Hz is below hearing).
#pragma once

#include <cstdint>
#include <string>

#include "dsp/noise_floor.h"
#include "settings/settings_store.h"

// The margin keeps the noise of every gap silent: the floor is the side's quietest gap, and
// other gaps, worn grooves and crackle lie up to a few dB above it. Steps are 3.5 dB apart or
// less from level 1 on, so the level lands 3 to 6 dB above the floor.
constexpr double kAutoMarginDb = 6.0;
constexpr double kAutoMinMarginDb = 3.0;
// Level 4, the recorder's default: one step higher splits soft passages of real music. A record
// noisier than that joins songs, as the fixed level does, and is warned about.
constexpr double kAutoCapDbfs = -44.0;
// A gap that far below the music around it is a gap however loud its noise: the level, 3 to 6 dB
// above the floor, still lies 4 dB or more below the music.
constexpr double kAutoClearMarginDb = 10.0;
// A floor heard that far above the same gap without its rumble is rumble: half its power or more.
constexpr double kAutoRumbleDb = 3.0;

// The RMS in dBFS below which a block is silent at `level`.
double SilenceLevelDbfs(int32_t level);
// The engine's level, before truncation, of a full block whose louder channel has this RMS.
double EngineLevelOfDbfs(double dbfs);
// The level whose dBFS is nearest `dbfs` (in dB), within the slider's range.
int32_t NearestSilenceLevel(double dbfs);
// "-48dB", "-48.5dB", "-48dBFS" (any case): decibels, negative or 0.
bool ParseDecibels(const std::string& text, double& dbfs);
// The automatic level for a side whose noise floor is `floorDbfs`, `belowMusicDb` below the music
// around it (NoiseFloor::belowMusicDb).
int32_t AutoSilenceLevel(double floorDbfs, double belowMusicDb);
// The level that would cut above a floor the cap holds the automatic level below, as given on
// the command line: "-s -34.1dB".
std::string CuttingLevelOption(double floorDbfs);

enum class SilenceFrom {
    Given,     // -s N, or the recorder's stored level (--settings)
    Decibels,  // -s NdB: the nearest level
    Floor,     // --silence auto: above the side's noise floor
    NoFloor,   // --silence auto on a side without a floor: the fixed default
};

struct SilenceLevel {
    int32_t level = kDefaultSilence;
    SilenceFrom from = SilenceFrom::Given;
    double givenDbfs = 0.0;  // Decibels: as given
    bool measured = false;   // the side was measured first, so its floor was looked for
    NoiseFloor floor;        // in dBFS, as heard
    double rumbleDb = 0.0;   // how far rumble lifts the floor above the gap's noise without it
};

// "silence level 2 (-49.1 dBFS)"
std::string SilenceLevelName(int32_t level);
// The level in the engine's units and in dBFS, how it was chosen, and the floor when the side
// was measured: "silence level 2 (-49.1 dBFS), 4.9 dB above the noise floor, -54.0 dBFS (level
// 1.7)".
std::string SilenceLevelText(const SilenceLevel& silence);
// The floor as "-54.0 dBFS (level 1.7)", or "digital silence".
std::string NoiseFloorText(const NoiseFloor& floor);
