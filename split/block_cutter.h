// BlockCutter: the last stage of an input chain, which cuts the stream into capture blocks: the
// block feeder of the split (split/block_feeder.h) and the level meter of the measuring pass
// (split/side_levels.h). Both are told of the passages a codec drops (split/input_chain.h) and
// cut at them alike, here, so block n of the one pass is block n of the other.
#pragma once

#include <cstdint>

#include "engine/pass_through_sink.h"

class BlockCutter : public PassThroughSink {
public:
    // The bytes before a gap that is due end a block of their own; the rest goes on after it.
    int32_t Write(const void* bytes, int32_t count) override;
    // `frames` of the stream are missing at stream frame `at` (now, or once the bytes before
    // it have come through a stage that delays them): the rest before it becomes a shorter
    // block, and what follows counts from after the gap, so positions stay those of the stream.
    // Requires: `at` not before the frames already taken.
    void SkipFrames(uint64_t at, uint64_t frames);
    // Frames of the stream taken so far, the gaps and the block in hand included.
    uint64_t StreamFrames() const { return frames_ + HeldFrames(); }
    // True once the stage cannot go on.
    virtual bool Failed() const = 0;

protected:
    // Cuts `count` bytes into blocks, keeping the rest in hand; kSinkFailed when it cannot.
    virtual int32_t Append(const uint8_t* bytes, int32_t count) = 0;
    // The frames of the block in hand.
    virtual uint64_t HeldFrames() const = 0;

    uint64_t frames_ = 0;  // of the stream in finished blocks, the gaps included

private:
    uint64_t gapAt_ = 0;  // a gap of gapFrames_ is due at this stream frame
    uint64_t gapFrames_ = 0;
};
