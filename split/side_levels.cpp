// SideLevelMeter: a side's block levels, measured as the engine will measure them.
#include "split/side_levels.h"

#include <cstring>
#include <new>

#include "engine/stream_format.h"

SideLevelMeter::SideLevelMeter(int32_t blockFrames) : blockFrames_(blockFrames) {
    try {
        block_.resize(size_t(blockFrames) * kCaptureChannels);
    } catch (const std::bad_alloc&) {
        failed_ = true;
    }
}

void SideLevelMeter::Measure(int32_t bytes) {
    try {
        levels_.push_back(MeasureBlock(block_.data(), bytes / 2, blockFrames_));
    } catch (const std::bad_alloc&) {
        failed_ = true;
    }
    frames_ += uint64_t(bytes / kCaptureFrameBytes);
}

int32_t SideLevelMeter::Write(const void* bytes, int32_t count) {
    const uint8_t* input = static_cast<const uint8_t*>(bytes);
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
