// Helpers for engine tests (see engine_fixture.h).
#include <gtest/gtest.h>

#include "tests/engine/engine_fixture.h"

std::atomic<bool> testShiftHeld{false};

bool TestShift() { return testShiftHeld; }

std::vector<int16_t> TestBlock(int32_t id, int16_t left, bool alternate, int32_t values) {
    std::vector<int16_t> block(size_t(values), 0);
    for (int32_t i = 0; i + 1 < values; i += 2) {
        block[size_t(i)] = alternate && (i / 2) % 2 ? int16_t(-left) : left;
    }
    block.back() = int16_t(id);
    return block;
}

void Submit(TrackEngine& engine, const std::vector<int16_t>& values) {
    // Called in long sequences: a block that cannot be submitted fails the test and is left out,
    // which the test's own checks of what was written then show; nothing after it depends on it.
    SampleBuffer* buffer = engine.GetFreeBuffer();
    if (!buffer) {
        ADD_FAILURE() << "the engine has no free buffer";
        return;
    }
    if (!buffer->Fill(int32_t(values.size()), values.data())) {
        ADD_FAILURE() << values.size() << " values do not fit a buffer";
        engine.ReturnBuffer(buffer);
        return;
    }
    engine.SubmitBuffer(buffer);
}

void Step(SteppedEngine& engine, int32_t id, bool loud) {
    Submit(engine, TestBlock(id, loud ? kLoud : 0));
    engine.ProcessInput();
}

void Steps(SteppedEngine& engine, int32_t first, int32_t last, bool loud) {
    for (int32_t id = first; id <= last; ++id) Step(engine, id, loud);
}

std::vector<int32_t> Ids(int32_t first, int32_t last) {
    std::vector<int32_t> ids;
    for (int32_t id = first; id <= last; ++id) ids.push_back(id);
    return ids;
}

std::vector<int32_t> Concat(std::vector<int32_t> a, const std::vector<int32_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
