// SumBlock: the per-channel sums of squares and peaks of one block of interleaved 16-bit
// stereo, the raw figures of the level meters.
//
// The sums are exact 64-bit integers (a block of k capture blocks holds at most k × 5880
// squares of at most 2^30 each), so the order in which they are added cannot change a level:
// the sums are taken four frames at a time with SSE2.
#pragma once

#include <cstdint>

struct BlockSums {
    uint64_t left = 0;   // sum of the squares of the left values
    uint64_t right = 0;
    int16_t peakLeft = 0;  // largest 16-bit magnitude; -32768 keeps its sign, so never counts
    int16_t peakRight = 0;
};

// `count` values, left then right per frame; an odd last value is ignored.
BlockSums SumBlock(const int16_t* values, int32_t count);
