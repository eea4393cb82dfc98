// SideLevelMeter: a side's block levels, measured as the engine will measure them.
#include "split/side_levels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "engine/stream_format.h"

SideLevelMeter::SideLevelMeter(int32_t blockFrames, uint32_t rate)
    : blockFrames_(blockFrames), rumble_(rate) {
    try {
        block_.resize(size_t(blockFrames) * kCaptureChannels);
        filtered_.resize(block_.size());
    } catch (const std::bad_alloc&) {
        failed_ = true;
    }
}

namespace {

constexpr double kFullScaleSquared = 32768.0 * 32768.0;
constexpr double kLeastMeanSquare = 1e-15 * kFullScaleSquared;  // -150 dBFS: log10 of 0 is none

// The louder channel's RMS of `frames` interleaved stereo frames, in dBFS.
template <typename Value>
float LouderChannelDbfs(const Value* values, int32_t frames) {
    double sums[2] = {0.0, 0.0};
    for (int32_t i = 0; i < frames * 2; ++i) sums[i & 1] += double(values[i]) * values[i];
    const double meanSquare = std::max(sums[0], sums[1]) / std::max(frames, 1);
    return float(10.0 * std::log10(std::max(meanSquare, kLeastMeanSquare) / kFullScaleSquared));
}

}  // namespace

void SideLevelMeter::Measure(int32_t bytes) {
    try {
        levels_.push_back(MeasureBlock(block_.data(), bytes / 2, blockFrames_));
        const int32_t frames = bytes / kCaptureFrameBytes;
        loudness_.push_back(LouderChannelDbfs(block_.data(), frames));
        rumble_.Run(block_.data(), frames, filtered_.data());
        withoutRumble_.push_back(LouderChannelDbfs(filtered_.data(), frames));
    } catch (const std::bad_alloc&) {
        failed_ = true;
    }
    frames_ += uint64_t(bytes / kCaptureFrameBytes);
}

int32_t SideLevelMeter::Append(const uint8_t* input, int32_t count) {
    while (!failed_ && count > 0) {
        const int32_t full = blockFrames_ * kCaptureFrameBytes;
        int32_t take = full - blockBytes_;
        if (take > count) take = count;
        std::memcpy(reinterpret_cast<uint8_t*>(block_.data()) + blockBytes_, input, size_t(take));
        blockBytes_ += take;
        input += take;
        count -= take;
        if (blockBytes_ == full) {
            Measure(blockBytes_);
            blockBytes_ = 0;
        }
    }
    return failed_ ? kSinkFailed : 0;
}

int32_t SideLevelMeter::Finish(uint32_t) {
    const int32_t whole = blockBytes_ - blockBytes_ % kCaptureFrameBytes;
    blockBytes_ = 0;
    if (!failed_ && whole > 0) Measure(whole);
    return failed_ ? kSinkFailed : 0;
}
