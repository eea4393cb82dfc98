// PlanTrackCuts: where grooval-split --tracks N cuts a side whose block levels it has measured.
//
// The sleeve says how many tracks there are, so the gap setting does not decide: the cuts are
// the N - 1 longest silent runs (blocks at or below the silence level) that lie between two
// sounds; among runs of equal length the earlier wins. Each cut keeps the recorder's rules for
// the block levels around it: the track before it keeps `trailingBlocks` of the run (2, or
// gapBlocks + 1 in live mode) and the run's last block is left for the next track's pre-roll,
// so a short run gives the track before it one block fewer. The silence that ends the side is
// cut the same way. The engine ends the open track just before each planned block.
//
// A side whose noise lies above the silence level (a 78, rumble) has no silent runs, or too few:
// then the level is raised step by step until N - 1 runs of at least kLongRunBlocks lie between
// sounds (a shorter sound inside a run, a beat of rumble or a click, does not split it): the
// quietest long runs. The side is cut there, at a level that leaves every block of them silent.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/track_engine.h"

// As the recorder ends a track in normal mode: gapBlocks + 1 silent blocks of which its delay
// queue has written 2.
constexpr int32_t kTrailingSilentBlocks = 2;
// A second: a pause between two notes is shorter, the gap between two songs longer.
constexpr int32_t kLongRunBlocks = 7;
// Shorter sound inside a quiet run is a click or a beat of rumble; no song is that short.
constexpr int32_t kBridgedBlocks = 3;

struct TrackPlan {
    std::vector<int32_t> cuts;  // blocks before which the open track ends, ascending
    int32_t tracks = 0;         // tracks the cuts give: fewer than asked on a side with few runs
    int32_t threshold = 0;      // the silence level the runs were found at
};

TrackPlan PlanTrackCuts(const std::vector<BlockLevels>& levels, int32_t threshold,
                        int32_t tracks, int32_t trailingBlocks);
