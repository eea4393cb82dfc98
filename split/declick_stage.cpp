// DeclickStage: the declicker between the input's conversion and the block feeder.
#include "split/declick_stage.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr int32_t kFrameBytes = 4;  // 16-bit stereo

}  // namespace

DeclickStage::DeclickStage(uint32_t rate, int level, std::unique_ptr<OutputSink> next)
    : PassThroughSink(std::move(next)), declicker_(rate, level, this) {}

void DeclickStage::OnDeclickEvent(const DeclickEvent& event) {
    try {
        events_.push_back(event.frame << 1 | (event.repaired ? 1u : 0u));
    } catch (const std::bad_alloc&) {
        // The counts miss this event; the samples are repaired all the same.
    }
}

int32_t DeclickStage::Pass() {
    const int32_t bytes = int32_t(out_.size() * sizeof(int16_t));
    const int32_t result = bytes > 0 ? PassThroughSink::Write(out_.data(), bytes) : 0;
    out_.clear();
    if (result == kSinkFailed) failed_ = true;
    return failed_ ? kSinkFailed : 0;
}

int32_t DeclickStage::Write(const void* bytes, int32_t count) {
    if (failed_) return kSinkFailed;
    if (count <= 0) return 0;
    const uint8_t* input = static_cast<const uint8_t*>(bytes);
    try {
        if (partialBytes_ > 0) {  // complete the frame begun by the last call
            const int32_t take = std::min(kFrameBytes - partialBytes_, count);
            std::memcpy(partial_ + partialBytes_, input, size_t(take));
            partialBytes_ += take;
            input += take;
            count -= take;
            if (partialBytes_ < kFrameBytes) return 0;
            int16_t frame[2];
            std::memcpy(frame, partial_, sizeof frame);
            declicker_.Process(frame, 1, out_);
            partialBytes_ = 0;
        }
        const int32_t whole = count / kFrameBytes;
        if (whole > 0) {
            // The bytes may not be aligned for 16-bit values: copied first.
            in_.resize(size_t(whole) * 2);
            std::memcpy(in_.data(), input, size_t(whole) * kFrameBytes);
            declicker_.Process(in_.data(), size_t(whole), out_);
        }
        partialBytes_ = count - whole * kFrameBytes;
        std::memcpy(partial_, input + whole * kFrameBytes, size_t(partialBytes_));
    } catch (const std::bad_alloc&) {
        failed_ = true;
        return kSinkFailed;
    }
    return Pass();
}

int32_t DeclickStage::Finish(uint32_t frames) {
    if (!failed_) {
        try {
            declicker_.Finish(out_);
        } catch (const std::bad_alloc&) {
            failed_ = true;
        }
        Pass();
    }
    const int32_t result = PassThroughSink::Finish(frames);
    return failed_ ? kSinkFailed : result;
}

void DeclickStage::Count(uint64_t start, uint64_t end, int32_t& repaired, int32_t& left) const {
    repaired = left = 0;
    for (uint64_t event : events_) {
        const uint64_t frame = event >> 1;
        if (frame < start || frame >= end) continue;
        if (event & 1) {
            ++repaired;
        } else {
            ++left;
        }
    }
}
