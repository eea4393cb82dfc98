// The engine on its real worker thread: a capture thread feeding thousands of blocks while the
// test thread arms, disarms, Shift-stops and hands over writers; the worker's end, also by a
// failure; hand-over without blocks.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <new>
#include <set>

#include "tests/engine/engine_fixture.h"
#include "tests/support/engine_feed.h"

namespace {

constexpr DWORD kBound = 30000;  // generous: a fault shows as a failure, not a hang

// A capture thread: submits blocks with ids 1..count, runs of sound and gaps, never more than
// `ahead` blocks in front of the worker, `batch` at a time.
class Feeder : public WorkerThread {
public:
    Feeder(TrackEngine& engine, int32_t count, int32_t ahead, int32_t batch)
        : engine_(engine), count_(count), ahead_(ahead), batch_(batch) {}
    std::atomic<bool> stalled{false};

protected:
    int32_t Run() override {
        auto block = [](int32_t i) {
            const int32_t id = i + 1;
            const bool loud = (id / 23) % 2 == 0;  // 23 blocks of sound, 23 of silence
            return TestBlock(id, loud ? kLoud : 0);
        };
        const bench::FeedFault fault =
            bench::FeedBlocks(engine_, count_, ahead_, kBound, block, nullptr, batch_);
        stalled = fault != bench::FeedFault::kNone;
        return stalled ? 1 : 0;
    }

private:
    TrackEngine& engine_;
    int32_t count_;
    int32_t ahead_;
    int32_t batch_;
};

TrackEngineApi WithTestShift(TrackEngineApi api) {
    api.shiftHeld = &TestShift;
    return api;
}

class ThreadedEngine : public TrackEngine {
public:
    explicit ThreadedEngine(const TrackEngineApi& api = TrackEngineApi())
        : TrackEngine(WithTestShift(api)) {
        blockBytes = kCaptureBlockBytes;
        SetNameFormat("threaded%04d.%s");
    }
    bool StopWithin(DWORD milliseconds) {
        stopEvent.Set();
        return WaitForSingleObject(ThreadHandle(), milliseconds) == WAIT_OBJECT_0;
    }
};

// Fed block by block as a capture thread does, or in batches (SubmitBuffers) as grooval-split.
class EngineThreadsFed : public ::testing::TestWithParam<int32_t> {};

TEST_P(EngineThreadsFed, CaptureAndControlsRaceWithoutLosingABuffer) {
    constexpr int32_t kBlocks = 4000;
    constexpr int32_t kAhead = 8;
    auto log = std::make_shared<SinkLog>();
    ThreadedEngine engine;
    engine.gapBlocks = 14;
    auto* first = new FakeSink(log, 0);
    first->Prepare(kCaptureBlockBytes);
    engine.SetSink(first);
    ASSERT_TRUE(engine.Start());

    Feeder feeder(engine, kBlocks, kAhead, GetParam());
    ASSERT_TRUE(feeder.Start());
    int action = 0;
    int nextSink = 1;
    while (WaitForSingleObject(feeder.ThreadHandle(), 2) == WAIT_TIMEOUT) {
        switch (action++ % 6) {
            case 0:
                engine.SetStandby(0);
                break;
            case 1:
                engine.liveMode = action % 4 == 2;
                break;
            case 2:
                testShiftHeld = true;
                engine.SetStandby(1);
                testShiftHeld = false;
                break;
            case 3: {
                auto* sink = new FakeSink(log, nextSink++);
                sink->failOpens = nextSink % 3 == 0 ? 5 : 0;
                sink->Prepare(kCaptureBlockBytes);
                engine.ReplaceSink(sink);
                break;
            }
            case 4:
                engine.SetStandby(action % 3 == 0);
                break;
            default:
                engine.IsTrackOpen();
                engine.StatusText(7);
                break;
        }
    }
    EXPECT_FALSE(feeder.stalled) << "the worker stopped taking blocks";
    ASSERT_TRUE(engine.StopWithin(kBound)) << "the worker did not end: deadlock?";
    EXPECT_GT(action, 6) << "the controls never raced the feed";

    EXPECT_EQ(engine.ProcessedBlocks(), kBlocks);
    const TrackEngine::PoolCounts pool = engine.Pool();
    EXPECT_EQ(pool.input, 0);
    EXPECT_EQ(pool.delayed, 0) << "the worker's end returns the delay queue";
    EXPECT_EQ(pool.created, pool.free + pool.held);
    EXPECT_LE(pool.created, engine.gapBlocks + kAhead + 4) << "the pool grew past the delay";

    // Every free buffer is a distinct object: taking them all leaves the list empty.
    std::set<SampleBuffer*> taken;
    for (int32_t i = 0; i < pool.free; ++i) taken.insert(engine.GetFreeBuffer());
    EXPECT_EQ(int32_t(taken.size()), pool.free);
    EXPECT_EQ(taken.count(nullptr), 0u);
    SampleBuffer* extra = engine.GetFreeBuffer();
    EXPECT_EQ(engine.Pool().created, pool.created + 1);
    for (SampleBuffer* buffer : taken) engine.ReturnBuffer(buffer);
    engine.ReturnBuffer(extra);

    // Blocks reach the files in capture order, each at most once, and no track stays open.
    const std::vector<int32_t> written = log->AllWritten();
    EXPECT_GT(written.size(), size_t(kBlocks / 4));
    for (size_t i = 1; i < written.size(); ++i) {
        ASSERT_LT(written[i - 1], written[i]) << "at write " << i;
    }
    for (const SinkLog::Track& track : log->Tracks()) {
        EXPECT_NE(track.finishResult, -1) << track.name << " was never finished";
        EXPECT_EQ(track.frames, track.blocks.size() * kCaptureBlockFrames) << track.name;
    }
    auto guard = log->lock.Lock();
    EXPECT_EQ(int(log->destroyed.size()), nextSink - 1) << "each replaced writer destroyed once";
}

INSTANTIATE_TEST_SUITE_P(BlocksAtATime, EngineThreadsFed, ::testing::Values(1, 8));

TEST(EngineThreads, TheWorkersEndKeepsEveryAcceptedBlock) {
    auto log = std::make_shared<SinkLog>();
    ThreadedEngine engine;
    auto* sink = new FakeSink(log, 0);
    sink->Prepare(kCaptureBlockBytes);
    engine.SetSink(sink);
    engine.SetStandby(0);
    ASSERT_TRUE(engine.Start());
    Submit(engine, TestBlock(1, 0));
    for (int32_t id = 2; id <= 6; ++id) Submit(engine, TestBlock(id, kLoud));
    // Blocks submitted before the stop are served first: dataEvent comes before stopEvent.
    ASSERT_TRUE(engine.StopWithin(kBound));
    const auto tracks = log->Tracks();
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0].blocks, Ids(1, 6));
    EXPECT_EQ(tracks[0].finishResult, 0);
    EXPECT_GT(log->unprepares, 0);
    EXPECT_EQ(engine.Pool().delayed, 0);
}

// The real wait fails only on broken handles: this one fails once its calls are used up.
LONG waitsLeft = 0;
DWORD WINAPI WaitFailingWhenUsedUp(DWORD count, const HANDLE* handles, BOOL all, DWORD ms) {
    if (InterlockedDecrement(&waitsLeft) < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return WaitForMultipleObjects(count, handles, all, ms);
}

TEST(EngineThreads, AFailedWorkerSaysSoAndTheFeedStopsGrowingThePool) {
    struct Case { const char* what; LONG waits; bool throwOnOpen; LONG code; size_t tracks; };
    const Case cases[] = {
        {"the wait fails", 1, false, LONG(HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE)), 1},
        {"the writer throws", 1000, true, LONG(E_OUTOFMEMORY), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        waitsLeft = c.waits;
        TrackEngineApi api;
        api.waitForMultipleObjects = &WaitFailingWhenUsedUp;
        auto log = std::make_shared<SinkLog>();
        ThreadedEngine engine(api);
        auto* sink = new FakeSink(log, 0);
        sink->throwOnOpen = c.throwOnOpen;
        engine.SetSink(sink);
        engine.SetStandby(0);
        for (int32_t id = 1; id <= 3; ++id) Submit(engine, TestBlock(id, kLoud));
        ASSERT_TRUE(engine.Start());
        ASSERT_EQ(WaitForSingleObject(engine.ThreadHandle(), kBound), WAIT_OBJECT_0);

        EXPECT_EQ(engine.lastResult, c.code);
        char expected[kSinkMessageBytes];
        std::snprintf(expected, sizeof expected, kWorkerStoppedMessage, unsigned(c.code));
        char text[kSinkMessageBytes] = "";
        EXPECT_EQ(engine.SinkStatus(text), 1);
        EXPECT_STREQ(text, expected);
        EXPECT_FALSE(engine.IsTrackOpen());
        // The track open at the failure keeps the blocks taken before it.
        const auto tracks = log->Tracks();
        ASSERT_EQ(tracks.size(), c.tracks);
        for (const SinkLog::Track& track : tracks) EXPECT_EQ(track.blocks, Ids(1, 3));

        // A capture feeding on gets its buffers back instead of new ones, batches too.
        const int32_t created = engine.Pool().created;
        for (int32_t id = 4; id <= 100; ++id) Submit(engine, TestBlock(id, kLoud));
        EXPECT_LE(engine.Pool().created, created + 1);
        BufferQueue batch;
        for (int32_t i = 0; i < 8; ++i) batch.Push(engine.GetFreeBuffer());
        engine.SubmitBuffers(batch);
        EXPECT_EQ(engine.Pool().input, 0) << "a batch joined a queue no one takes";
        // Stop after the death: no worker will serve it, and the naming is free again.
        engine.SetStandby(1);
        EXPECT_TRUE(engine.IsTrackEnded());
    }
}

// A capture thread has no catch of its own: the thread's entry keeps the process alive.
TEST(EngineThreads, AnExceptionEndsAnyWorkerThreadWithACode) {
    struct Throwing : WorkerThread {
        int32_t Run() override { throw std::bad_alloc(); }
    } thread;
    ASSERT_TRUE(thread.Start());
    ASSERT_EQ(WaitForSingleObject(thread.ThreadHandle(), kBound), WAIT_OBJECT_0);
    EXPECT_EQ(thread.lastResult, LONG(E_OUTOFMEMORY));
}

TEST(EngineThreads, StopReturnsAtOnceAndTheWorkerEndsTheTrack) {
    auto log = std::make_shared<SinkLog>();
    ThreadedEngine engine;
    engine.gapBlocks = 140;
    engine.SetSink(new FakeSink(log, 0));
    engine.SetStandby(0);
    ASSERT_TRUE(engine.Start());
    for (int32_t id = 1; id <= 20; ++id) Submit(engine, TestBlock(id, kLoud));
    while (engine.ProcessedBlocks() < 20) {
        ASSERT_EQ(WaitForSingleObject(engine.DrainedEvent(), kBound), WAIT_OBJECT_0);
    }
    engine.SetStandby(1);
    ASSERT_EQ(WaitForSingleObject(log->finishedEvent.Handle(), kBound), WAIT_OBJECT_0);
    const auto tracks = log->Tracks();
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0].blocks, Ids(1, 20)) << "the whole delay written";
    EXPECT_NE(tracks[0].finishThread, GetCurrentThreadId()) << "Stop wrote on the caller's thread";
    ASSERT_TRUE(engine.StopWithin(kBound));
}

TEST(EngineThreads, AHandOverTakesEffectWithoutBlocks) {
    auto log = std::make_shared<SinkLog>();
    ThreadedEngine engine;
    engine.SetSink(new FakeSink(log, 0));
    ASSERT_TRUE(engine.Start());
    auto* second = new FakeSink(log, 1);
    second->message = "second";
    engine.ReplaceSink(second);
    // Acknowledged once the worker holds the new writer and the old one is gone.
    ASSERT_TRUE(engine.AwaitSinkTaken(second, kBound));
    {
        auto guard = log->lock.Lock();
        EXPECT_EQ(log->destroyed, std::vector<int>({0}));
    }
    char text[kSinkMessageBytes] = "";
    EXPECT_EQ(engine.SinkStatus(text), 1);
    EXPECT_STREQ(text, "second");

    // A writer replaced while still pending is destroyed by the hand-over itself.
    engine.ReplaceSink(new FakeSink(log, 2));
    engine.ReplaceSink(new FakeSink(log, 3));
    ASSERT_TRUE(engine.StopWithin(kBound));
    auto guard = log->lock.Lock();
    EXPECT_EQ(log->destroyed.size(), 3u);
}

// The acknowledgement names the writer taken: one handed over while the worker takes another
// (here from the destructor of the writer it replaces) is not answered by that one's.
TEST(EngineThreads, AHandOverIsAcknowledgedOnlyForTheWriterTaken) {
    auto log = std::make_shared<SinkLog>();
    SteppedEngine engine;
    auto* old = new FakeSink(log, 0);
    engine.SetSink(old);
    auto* first = new FakeSink(log, 1);
    auto* second = new FakeSink(log, 2);
    old->onDestroyed = [&] { engine.ReplaceSink(second); };
    engine.ReplaceSink(first);
    engine.ProcessInput();
    EXPECT_FALSE(engine.AwaitSinkTaken(second, 0)) << "answered by the earlier hand-over";
    EXPECT_TRUE(engine.AwaitSinkTaken(first, 0));
    engine.ProcessInput();
    EXPECT_TRUE(engine.AwaitSinkTaken(second, 0));
}

// With nothing to write for a while, the open file's header is brought up to date.
TEST(EngineThreads, APauseInTheBlocksBringsTheHeaderUpToDate) {
    auto log = std::make_shared<SinkLog>();
    ThreadedEngine engine;
    engine.headerUpdateBytes = 1000 * kCaptureBlockBytes;  // never by length here
    engine.gapBlocks = 16;
    engine.SetSink(new FakeSink(log, 0));
    engine.SetStandby(0);
    ASSERT_TRUE(engine.Start());
    for (int32_t id = 1; id <= 20; ++id) Submit(engine, TestBlock(id, kLoud));
    const uint32_t written = 5 * kCaptureBlockFrames;  // 20 blocks less the delay of 15
    auto latest = [&] {
        const auto tracks = log->Tracks();
        return tracks.empty() || tracks[0].headers.empty() ? 0u : tracks[0].headers.back();
    };
    while (latest() != written) {
        ASSERT_EQ(WaitForSingleObject(log->headerEvent.Handle(), kBound), WAIT_OBJECT_0);
    }
    ASSERT_TRUE(engine.StopWithin(kBound));
    EXPECT_EQ(log->Tracks()[0].blocks, Ids(1, 20));
}

TEST(EngineThreads, AHandOverDuringATrackFinishesItFirst) {
    auto log = std::make_shared<SinkLog>();
    SteppedEngine engine;
    engine.SetSink(new FakeSink(log, 0));
    engine.SetNameFormat("handover%04d.%s");
    engine.SetStandby(0);
    Steps(engine, 1, 3, true);
    engine.ReplaceSink(new FakeSink(log, 1));
    Step(engine, 4, true);
    const auto tracks = log->Tracks();
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].sink, 0);
    EXPECT_EQ(tracks[0].blocks, Ids(1, 3)) << "the old writer's track keeps its blocks";
    EXPECT_EQ(tracks[0].finishResult, 0);
    EXPECT_EQ(tracks[1].sink, 1) << "block 4 starts a track on the new writer";
    EXPECT_TRUE(engine.IsTrackOpen());
}

}  // namespace
