// Helpers for engine tests: an engine driven step by step on the test thread, and test blocks
// that carry an id in their last value.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/stream_format.h"
#include "engine/track_engine.h"
#include "tests/engine/fake_sink.h"

// The Shift key as the tests hold it.
extern std::atomic<bool> testShiftHeld;
bool TestShift();

// An engine whose worker steps the test runs itself; its thread is never started.
class SteppedEngine : public TrackEngine {
public:
    explicit SteppedEngine(TrackEngineApi api = TrackEngineApi()) : TrackEngine(WithTestShift(api)) {
        blockBytes = kCaptureBlockBytes;
    }
    static TrackEngineApi WithTestShift(TrackEngineApi api) {
        api.shiftHeld = &TestShift;
        return api;
    }
    // A Stop only asks the worker to end the track; the test runs the pass it wakes at once.
    void SetStandby(int32_t value) {
        TrackEngine::SetStandby(value);
        ProcessInput();
    }
    using TrackEngine::FinishTrack;
    using TrackEngine::MeasureLevels;
    using TrackEngine::ProcessInput;
};

constexpr int16_t kLoud = 1000;  // left channel of a sound block: level 26

// A full block: left channel `left` (alternating sign when `alternate`), right channel 0,
// and the id in the last value (its level contribution stays below 4).
std::vector<int16_t> TestBlock(int32_t id, int16_t left, bool alternate = false,
                               int32_t values = kCaptureBlockValues);

// Takes a buffer from the engine, fills it and submits it.
void Submit(TrackEngine& engine, const std::vector<int16_t>& values);

// Submits one block and runs one worker pass.
void Step(SteppedEngine& engine, int32_t id, bool loud);
// Steps ids first..last, all loud or all silent.
void Steps(SteppedEngine& engine, int32_t first, int32_t last, bool loud);

// Ids first..last as a vector.
std::vector<int32_t> Ids(int32_t first, int32_t last);
std::vector<int32_t> Concat(std::vector<int32_t> a, const std::vector<int32_t>& b);

// A base fixture: a stepped engine with one fake sink, prepared as the window would.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        testShiftHeld = false;
        log = std::make_shared<SinkLog>();
        sink = new FakeSink(log, 1);
        sink->Prepare(kCaptureBlockBytes);
        engine.SetSink(sink);
        engine.SetNameFormat("track%04d.%s");
    }
    void TearDown() override { testShiftHeld = false; }

    std::shared_ptr<SinkLog> log;
    FakeSink* sink = nullptr;  // owned by the engine
    SteppedEngine engine;
};
