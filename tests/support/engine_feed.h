// Running a TrackEngine as the window and a capture thread do, for tests and benchmarks that
// link grooval_engine: armed on its worker thread, fed through its own pool never more than a
// few blocks in front of the worker, so the pool stays small however many blocks pass.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/buffer_queue.h"
#include "engine/track_engine.h"

namespace bench {

// The engine of a test or benchmark: the keyboard never arms or disarms it.
const TrackEngineApi kNoKeyboard{&ShiftNeverHeld};

// Installs `sink` (prepared; the engine owns it from here on), names tracks by `nameFormat`,
// arms the engine (made with kNoKeyboard) and starts its worker; false when the thread did not
// start.
inline bool StartArmed(TrackEngine& engine, OutputSink* sink, const std::string& nameFormat) {
    engine.SetSink(sink);
    engine.SetNameFormat(nameFormat.c_str());
    engine.SetStandby(0);
    return engine.Start();
}

enum class FeedFault { kNone, kStalled, kNoBuffer };

// Submits blocks 0..count-1, where block(i) gives the values of block i (any container with
// data() and size()), waiting while more than `ahead` are unprocessed. With `batch` above 1
// they are handed over that many at a time (SubmitBuffers), as grooval-split does; the room for
// a batch is waited for, on the engine's drained event, before it is filled. kStalled when the
// worker processed nothing within stallMs, kNoBuffer when the pool gave no buffer or it did not
// take the values; `at` then receives the block's index.
template <typename BlockAt>
FeedFault FeedBlocks(TrackEngine& engine, int32_t count, int32_t ahead, DWORD stallMs,
                     BlockAt block, int32_t* at = nullptr, int32_t batch = 1) {
    BufferQueue filled;
    for (int32_t i = 0; i < count; ++i) {
        if (at) *at = i;
        while (filled.Empty() && i - engine.ProcessedBlocks() > ahead - batch + 1) {
            if (WaitForSingleObject(engine.DrainedEvent(), stallMs) != WAIT_OBJECT_0) {
                return FeedFault::kStalled;
            }
        }
        const auto& values = block(i);
        SampleBuffer* buffer = engine.GetFreeBuffer();
        if (!buffer || !buffer->Fill(int32_t(values.size()), values.data())) {
            return FeedFault::kNoBuffer;
        }
        if (batch <= 1) {
            engine.SubmitBuffer(buffer);
            continue;
        }
        filled.Push(buffer);
        if (filled.Size() >= batch || i + 1 == count) engine.SubmitBuffers(filled);
    }
    return FeedFault::kNone;
}

// "worker stalled" or "no buffer", for a benchmark's message.
inline const char* FeedFaultText(FeedFault fault) {
    return fault == FeedFault::kStalled ? "worker stalled" : "no buffer";
}

}  // namespace bench
