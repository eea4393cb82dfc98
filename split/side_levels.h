// SideLevelMeter: the first pass of grooval-split when it must see the whole side before
// cutting (--tracks) or draw it (--preview). It is the last stage of the same input chain the
// block feeder ends, cuts the stream into capture blocks at the same places (a last, shorter
// block of whole frames at the end) and measures each with the engine's own metering, so its
// block n is the block n the engine decides on in the second pass.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/pass_through_sink.h"
#include "engine/track_engine.h"

class SideLevelMeter : public PassThroughSink {
public:
    // Blocks of `blockFrames` frames, as the feeder cuts them (SplitBlockFrames).
    explicit SideLevelMeter(int32_t blockFrames);

    int32_t WriteConverted(const void* bytes, int32_t count) override {
        return Write(bytes, count);
    }
    int32_t Write(const void* bytes, int32_t count) override;
    // Measures the rest as a last, shorter block.
    int32_t Finish(uint32_t frames) override;

    // Requires: Finish, so the last, shorter block is measured too.
    const std::vector<BlockLevels>& Levels() const { return levels_; }
    std::vector<BlockLevels> TakeLevels() { return std::move(levels_); }
    uint64_t Frames() const { return frames_; }
    bool Failed() const { return failed_; }

private:
    void Measure(int32_t bytes);

    const int32_t blockFrames_;
    std::vector<int16_t> block_;  // one block, aligned for the metering
    int32_t blockBytes_ = 0;      // in block_ so far
    std::vector<BlockLevels> levels_;
    uint64_t frames_ = 0;
    bool failed_ = false;
};
