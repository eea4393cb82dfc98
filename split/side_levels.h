// SideLevelMeter: the first pass of grooval-split when it must see the whole side before
// cutting (--tracks) or draw it (--preview). It is the last stage of the same input chain the
// block feeder ends, cuts the stream into capture blocks at the same places (a last, shorter
// block of whole frames at the end) and measures each with the engine's own metering, so its
// block n is the block n the engine decides on in the second pass; at a passage the codec
// drops it measures a shorter block, as the feeder submits one. Beside the engine's truncated
// levels it keeps each block's loudness in dBFS, for the noise floor: as heard, and without
// rumble (dsp/noise_floor.h: RumbleFilter), which the floor is looked for in.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "dsp/noise_floor.h"
#include "engine/track_engine.h"
#include "split/block_cutter.h"

class SideLevelMeter : public BlockCutter {
public:
    // Blocks of `blockFrames` frames, as the feeder cuts them (SplitBlockFrames), at `rate`.
    SideLevelMeter(int32_t blockFrames, uint32_t rate);

    int32_t WriteConverted(const void* bytes, int32_t count) override {
        return Write(bytes, count);
    }
    // Measures the rest as a last, shorter block.
    int32_t Finish(uint32_t frames) override;

    // Requires: Finish, so the last, shorter block is measured too.
    const std::vector<BlockLevels>& Levels() const { return levels_; }
    std::vector<BlockLevels> TakeLevels() { return std::move(levels_); }
    // Each block's louder channel's RMS in dBFS (full scale 32768; a block of zeros -150).
    const std::vector<float>& Loudness() const { return loudness_; }
    // The same, the rumble below 20 Hz taken out.
    const std::vector<float>& LoudnessWithoutRumble() const { return withoutRumble_; }
    // The stream's frames, the gaps included.
    uint64_t Frames() const { return frames_; }
    bool Failed() const override { return failed_; }

private:
    int32_t Append(const uint8_t* bytes, int32_t count) override;
    uint64_t HeldFrames() const override { return uint64_t(blockBytes_ / kCaptureFrameBytes); }
    void Measure(int32_t bytes);

    const int32_t blockFrames_;
    std::vector<int16_t> block_;  // one block, aligned for the metering
    int32_t blockBytes_ = 0;      // in block_ so far
    std::vector<BlockLevels> levels_;
    std::vector<float> loudness_;
    RumbleFilter rumble_;
    std::vector<float> filtered_;  // one block, the rumble taken out
    std::vector<float> withoutRumble_;
    bool failed_ = false;
};
