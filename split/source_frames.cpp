// The input's own frames from the tap to the last stage.
#include "split/source_frames.h"

#include <cstring>
#include <new>

#include "engine/stream_format.h"

bool SourceFrames::Append(const uint8_t* bytes, size_t count) {
    count -= count % frameBytes_;
    if (count == 0) return true;
    // What was taken goes before the queue grows: it never holds more than it must.
    if (head_ > 0) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + std::ptrdiff_t(head_));
        head_ = 0;
    }
    try {
        bytes_.insert(bytes_.end(), bytes, bytes + count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool SourceFrames::Take(uint64_t first, uint32_t frames, uint8_t* out) {
    const uint64_t held = (bytes_.size() - head_) / frameBytes_;
    // Frames skipped over (a passage the codec dropped) are forgotten with the rest.
    if (first < start_ || first + frames > start_ + held) return false;
    const size_t at = head_ + size_t(first - start_) * frameBytes_;
    const size_t count = size_t(frames) * frameBytes_;
    std::memcpy(out, bytes_.data() + at, count);
    head_ = at + count;
    start_ = first + frames;
    return true;
}

int32_t SourceTap::Write(const void* bytes, int32_t count) {
    if (count > 0 && !frames_.Append(static_cast<const uint8_t*>(bytes), size_t(count))) {
        return kSinkFailed;
    }
    return PassThroughSink::Write(bytes, count);
}

SourceFrameSink::SourceFrameSink(std::unique_ptr<OutputSink> writer, BlockPositions& positions,
                                 const SampleLayout& source, const SampleLayout& tracks)
    : PassThroughSink(std::move(writer)), positions_(positions), source_(source), tracks_(tracks) {}

int32_t SourceFrameSink::Write(const void* bytes, int32_t count) {
    uint64_t start = 0;
    const uint8_t* frames = nullptr;
    uint32_t frameBytes = 0;
    const uint32_t blockFrames = count > 0 ? uint32_t(count) / kCaptureFrameBytes : 0;
    if (!positions_.Find(bytes, start, &frames, &frameBytes) || !frames ||
        frameBytes != blockFrames * source_.FrameBytes()) {
        return kSinkFailed;
    }
    if (tracks_ == source_) return PassThroughSink::Write(frames, int32_t(frameBytes));
    const size_t samples = size_t(blockFrames) * source_.channels;
    try {
        narrow_.resize(size_t(blockFrames) * tracks_.FrameBytes());
    } catch (const std::bad_alloc&) {
        return kSinkFailed;
    }
    dither_.Requantize(frames, samples, source_, tracks_.bits, narrow_.data());
    return PassThroughSink::Write(narrow_.data(), int32_t(narrow_.size()));
}
