// BlockCutter: the last stage of an input chain, which cuts the stream into capture blocks: the
// block feeder of the split (split/block_feeder.h) and the level meter of the measuring pass
// (split/side_levels.h). Both are told of the passages a codec drops (split/input_chain.h) and
// cut at them alike, so block n of the one pass is block n of the other.
#pragma once

#include <cstdint>

#include "engine/pass_through_sink.h"

class BlockCutter : public PassThroughSink {
public:
    // `frames` of the stream are missing at stream frame `at` (now, or once the bytes before
    // it have come through a stage that delays them): the rest before it becomes a shorter
    // block, and what follows counts from after the gap, so positions stay those of the stream.
    // Requires: `at` not before the frames already taken.
    virtual void SkipFrames(uint64_t at, uint64_t frames) = 0;
    // True once the stage cannot go on.
    virtual bool Failed() const = 0;
};
