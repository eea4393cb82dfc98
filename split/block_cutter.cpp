// BlockCutter: blocks cut at the passages a codec drops.
#include "split/block_cutter.h"

#include "engine/stream_format.h"

int32_t BlockCutter::Write(const void* bytes, int32_t count) {
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

void BlockCutter::SkipFrames(uint64_t at, uint64_t frames) {
    gapAt_ = at;
    gapFrames_ += frames;
    if (at > StreamFrames()) return;  // its bytes are still on their way
    Finish(0);
    frames_ += gapFrames_;
    gapFrames_ = 0;
}
