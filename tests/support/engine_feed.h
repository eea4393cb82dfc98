// Running a TrackEngine as the window and a capture thread do, for tests and benchmarks that
// link grooval_engine: armed on its worker thread, fed through its own pool never more than a
// few blocks in front of the worker, so the pool stays small however many blocks pass.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

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
// data() and size()), waiting on the engine's drained event while more than `ahead` are
// unprocessed. kStalled when the worker processed nothing within stallMs, kNoBuffer when the
// pool gave no buffer or it did not take the values; `at` then receives the block's index.
template <typename BlockAt>
FeedFault FeedBlocks(TrackEngine& engine, int32_t count, int32_t ahead, DWORD stallMs,
                     BlockAt block, int32_t* at = nullptr) {
    for (int32_t i = 0; i < count; ++i) {
        if (at) *at = i;
        while (i - engine.ProcessedBlocks() > ahead) {
            if (WaitForSingleObject(engine.DrainedEvent(), stallMs) != WAIT_OBJECT_0) {
                return FeedFault::kStalled;
            }
        }
        const auto& values = block(i);
        SampleBuffer* buffer = engine.GetFreeBuffer();
        if (!buffer || !buffer->Fill(int32_t(values.size()), values.data())) {
            return FeedFault::kNoBuffer;
        }
        engine.SubmitBuffer(buffer);
    }
    return FeedFault::kNone;
}

// "worker stalled" or "no buffer", for a benchmark's message.
inline const char* FeedFaultText(FeedFault fault) {
    return fault == FeedFault::kStalled ? "worker stalled" : "no buffer";
}

}  // namespace bench
