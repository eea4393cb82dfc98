// BlockFeeder and BlockPositions: blocks into the engine with flow control, and where each
// came from.
#include "split/block_feeder.h"

#include <cstring>
#include <new>

#include "engine/stream_format.h"

namespace {

// Room for the whole pool: the longest delay, the held block, the queue and a few in hand.
constexpr size_t kExpectedPoolBuffers = 256;

}  // namespace

BlockPositions::BlockPositions() {
    try {
        entries_.reserve(kExpectedPoolBuffers);
    } catch (const std::bad_alloc&) {
        // Note grows the list as it needs to.
    }
}

bool BlockPositions::Note(const void* samples, uint64_t startFrame) {
    auto lock = lock_.Lock();
    for (auto& entry : entries_) {
        if (entry.first == samples) {
            entry.second = startFrame;
            return true;
        }
    }
    try {
        entries_.emplace_back(samples, startFrame);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool BlockPositions::Find(const void* samples, uint64_t& startFrame) {
    auto lock = lock_.Lock();
    for (const auto& entry : entries_) {
        if (entry.first == samples) {
            startFrame = entry.second;
            return true;
        }
    }
    return false;
}

BlockFeeder::BlockFeeder(TrackEngine& engine, BlockPositions& positions)
    : engine_(engine),
      positions_(positions),
      rest_(new (std::nothrow) uint8_t[kCaptureBlockBytes]) {
    failed_ = !rest_;
}

int32_t BlockFeeder::Prepare(int32_t sourceBlockBytes) {
    sourceBlockBytes_ = sourceBlockBytes;
    return failed_ ? kSinkFailed : 0;
}

bool BlockFeeder::WaitForEngine(int32_t allowedAhead) {
    // The worker sets its drained event each time it empties its queue; a signal left from
    // an earlier drain only makes this loop look once more.
    while (submitted_ - engine_.ProcessedBlocks() > allowedAhead) {
        if (!engine_.ThreadHandle() || engine_.HasEnded()) return false;
        WaitForSingleObject(engine_.DrainedEvent(), kSplitDrainWaitMs);
    }
    return true;
}

bool BlockFeeder::Submit(const uint8_t* bytes, int32_t count) {
    if (!WaitForEngine(kSplitQueuedBlocks - 1)) return false;
    SampleBuffer* buffer = engine_.GetFreeBuffer();
    if (!buffer) return false;
    if (!buffer->Fill(count / 2, bytes) || !positions_.Note(buffer->Samples(), frames_)) {
        engine_.ReturnBuffer(buffer);
        return false;
    }
    engine_.SubmitBuffer(buffer);
    ++submitted_;
    frames_ += uint64_t(count / kCaptureFrameBytes);
    return true;
}

int32_t BlockFeeder::Write(const void* bytes, int32_t count) {
    const uint8_t* input = static_cast<const uint8_t*>(bytes);
    if (gapFrames_ > 0 && count > 0) {
        const uint64_t before = (gapAt_ - StreamFrames()) * kCaptureFrameBytes;
        if (before <= uint64_t(count)) {
            if (Append(input, int32_t(before)) != 0) return kSinkFailed;
            SkipFrames(gapAt_, 0);
            input += before;
            count -= int32_t(before);
        }
    }
    return Append(input, count);
}

int32_t BlockFeeder::Append(const uint8_t* input, int32_t count) {
    if (failed_) return kSinkFailed;
    if (count <= 0) return 0;
    if (restBytes_ > 0) {
        int32_t take = kCaptureBlockBytes - restBytes_;
        if (take > count) take = count;
        std::memcpy(rest_.get() + restBytes_, input, size_t(take));
        restBytes_ += take;
        input += take;
        count -= take;
        if (restBytes_ < kCaptureBlockBytes) return 0;
        restBytes_ = 0;
        if (!Submit(rest_.get(), kCaptureBlockBytes)) failed_ = true;
    }
    while (!failed_ && count >= kCaptureBlockBytes) {
        if (!Submit(input, kCaptureBlockBytes)) failed_ = true;
        input += kCaptureBlockBytes;
        count -= kCaptureBlockBytes;
    }
    if (failed_) return kSinkFailed;
    std::memcpy(rest_.get(), input, size_t(count));
    restBytes_ = count;
    return 0;
}

int32_t BlockFeeder::Finish(uint32_t) {
    const int32_t whole = restBytes_ - restBytes_ % kCaptureFrameBytes;
    restBytes_ = 0;
    if (!failed_ && whole > 0 && !Submit(rest_.get(), whole)) failed_ = true;
    return failed_ ? kSinkFailed : 0;
}

void BlockFeeder::SkipFrames(uint64_t at, uint64_t frames) {
    gapAt_ = at;
    gapFrames_ += frames;
    if (at > StreamFrames()) return;  // its bytes are still on their way
    Finish(0);
    frames_ += gapFrames_;
    gapFrames_ = 0;
}

bool BlockFeeder::WaitUntilProcessed() {
    return WaitForEngine(0);
}
