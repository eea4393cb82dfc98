// BlockFeeder and BlockPositions: blocks into the engine with flow control, and where each
// came from.
#include "split/block_feeder.h"

#include <cstring>
#include <new>

#include "engine/stream_format.h"
#include "split/source_frames.h"

namespace {

// Room for the whole pool: the longest delay, the held block, the queue and a few in hand.
constexpr size_t kExpectedPoolBuffers = 256;

}  // namespace

int32_t SplitBlockFrames(uint32_t rate) {
    const uint64_t frames = (uint64_t(kCaptureBlockFrames) * rate + kCaptureRate / 2) / kCaptureRate;
    return frames < 1 ? 1 : frames > kSplitMaxBlockFrames ? kSplitMaxBlockFrames : int32_t(frames);
}

BlockPositions::BlockPositions() {
    try {
        entries_.reserve(kExpectedPoolBuffers);
    } catch (const std::bad_alloc&) {
        // Note grows the list as it needs to.
    }
}

bool BlockPositions::Note(const void* samples, uint64_t startFrame, uint32_t sourceBytes,
                          uint8_t** source) {
    auto lock = lock_.Lock();
    Entry* found = nullptr;
    for (Entry& entry : entries_) {
        if (entry.samples != samples) continue;
        found = &entry;
        break;
    }
    if (!found) {
        try {
            entries_.push_back(Entry{samples, 0, nullptr, 0, 0});
        } catch (const std::bad_alloc&) {
            return false;
        }
        found = &entries_.back();
    }
    found->startFrame = startFrame;
    found->sourceBytes = sourceBytes;
    if (sourceBytes > found->sourceRoom) {
        found->source.reset(new (std::nothrow) uint8_t[sourceBytes]);
        found->sourceRoom = found->source ? sourceBytes : 0;
        if (!found->source) return false;
    }
    if (source) *source = found->source.get();
    return true;
}

bool BlockPositions::Find(const void* samples, uint64_t& startFrame, const uint8_t** source,
                          uint32_t* sourceBytes) {
    auto lock = lock_.Lock();
    for (const Entry& entry : entries_) {
        if (entry.samples == samples) {
            startFrame = entry.startFrame;
            if (source) *source = entry.sourceBytes ? entry.source.get() : nullptr;
            if (sourceBytes) *sourceBytes = entry.sourceBytes;
            return true;
        }
    }
    return false;
}

BlockFeeder::BlockFeeder(TrackEngine& engine, BlockPositions& positions, int32_t blockFrames,
                         SourceFrames* source)
    : engine_(engine),
      positions_(positions),
      blockBytes_(blockFrames * kCaptureFrameBytes),
      source_(source),
      rest_(new (std::nothrow) uint8_t[size_t(blockBytes_)]) {
    failed_ = !rest_;
}

int32_t BlockFeeder::Prepare(int32_t sourceBlockBytes) {
    sourceBlockBytes_ = sourceBlockBytes;
    return failed_ ? kSinkFailed : 0;
}

bool BlockFeeder::WaitForEngine(int32_t allowedAhead) {
    // The worker sets its drained event each time it empties its queue; a signal left from
    // an earlier drain only makes this loop look once more. Its thread handle ends the wait
    // when the worker is gone.
    const HANDLE handles[2] = {engine_.DrainedEvent(), engine_.ThreadHandle()};
    while (submitted_ - engine_.ProcessedBlocks() > allowedAhead) {
        if (!handles[1]) return false;
        const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, kSplitDrainWaitMs);
        if (woken == WAIT_OBJECT_0 + 1 || woken == WAIT_FAILED) return false;
    }
    return true;
}

bool BlockFeeder::Submit(const uint8_t* bytes, int32_t count) {
    SampleBuffer* buffer = engine_.GetFreeBuffer();
    if (!buffer) return false;
    const uint32_t frames = uint32_t(count / kCaptureFrameBytes);
    const uint32_t sourceBytes = source_ ? frames * source_->FrameBytes() : 0;
    uint8_t* source = nullptr;
    if (!buffer->Fill(count / 2, bytes) ||
        !positions_.Note(buffer->Samples(), frames_, sourceBytes, &source) ||
        (source_ && !source_->Take(frames_, frames, source))) {
        engine_.ReturnBuffer(buffer);
        return false;
    }
    batch_.Push(buffer);
    frames_ += frames;
    return batch_.Size() < kSplitBatchBlocks || SubmitBatch();
}

bool BlockFeeder::SubmitBatch() {
    // A full batch waits in hand for room, so the worker, once it has drained its queue, is
    // handed the next one at once. Room is left for the batch filled meanwhile, so the blocks
    // in hand and those not yet taken stay within kSplitQueuedBlocks.
    if (batch_.Empty()) return true;
    if (!WaitForEngine(kSplitQueuedBlocks - 2 * kSplitBatchBlocks)) return false;
    submitted_ += batch_.Size();
    engine_.SubmitBuffers(batch_);
    return true;
}

int32_t BlockFeeder::Append(const uint8_t* input, int32_t count) {
    if (failed_) return kSinkFailed;
    if (count <= 0) return 0;
    if (restBytes_ > 0) {
        int32_t take = blockBytes_ - restBytes_;
        if (take > count) take = count;
        std::memcpy(rest_.get() + restBytes_, input, size_t(take));
        restBytes_ += take;
        input += take;
        count -= take;
        if (restBytes_ < blockBytes_) return 0;
        restBytes_ = 0;
        if (!Submit(rest_.get(), blockBytes_)) failed_ = true;
    }
    while (!failed_ && count >= blockBytes_) {
        if (!Submit(input, blockBytes_)) failed_ = true;
        input += blockBytes_;
        count -= blockBytes_;
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
    if (!failed_ && !SubmitBatch()) failed_ = true;
    return failed_ ? kSinkFailed : 0;
}

bool BlockFeeder::WaitUntilProcessed() {
    if (!failed_ && !SubmitBatch()) failed_ = true;
    return WaitForEngine(0);
}
