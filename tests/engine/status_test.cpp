// The window's questions: the elapsed-time text and the writer's status text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/engine/engine_fixture.h"

namespace {

class StatusTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        std::memcpy(savedSeparator, TimeSeparator, sizeof savedSeparator);
        engine.gapBlocks = 16;
        engine.SetStandby(0);
    }
    void TearDown() override {
        StreamRate = kCaptureRate;
        std::memcpy(TimeSeparator, savedSeparator, sizeof savedSeparator);
        EngineTest::TearDown();
    }
    char savedSeparator[kSeparatorBytes];
};

TEST_F(StatusTest, DashesUntilASecondOfBlocksIsQueued) {
    EXPECT_STREQ(engine.StatusText(7), "--:--");
    Steps(engine, 1, 6, true);
    ASSERT_TRUE(engine.IsTrackOpen());
    EXPECT_STREQ(engine.StatusText(7), "--:--");
    EXPECT_STREQ(engine.StatusText(4), "0:01") << "78 mode counts 4 blocks a second";
    Step(engine, 7, true);
    EXPECT_STREQ(engine.StatusText(7), "0:01");
    Steps(engine, 8, 14, true);
    EXPECT_STREQ(engine.StatusText(7), "0:02");
    engine.SetStandby(1);
    EXPECT_STREQ(engine.StatusText(7), "--:--") << "no track open";
}

TEST_F(StatusTest, WrittenBytesAndQueuedBlocksAddUp) {
    StreamRate = kCaptureBlockFrames;  // one written block is one second
    std::strcpy(TimeSeparator, ".");
    Steps(engine, 1, 15 + 123, true);  // 15 queued (2 s) and 123 written
    EXPECT_EQ(engine.Pool().delayed, 15);
    EXPECT_STREQ(engine.StatusText(7), "2.05");
    EXPECT_STREQ(engine.StatusText(0), "2.03") << "a zero divisor counts no queued seconds";
    Steps(engine, 139, 613, true);  // 598 written
    EXPECT_STREQ(engine.StatusText(7), "10.00");
}

TEST_F(StatusTest, RatesWhoseByteRateOverflows32BitsStillGiveSeconds) {
    // Four times these rates wraps a 32-bit value (to 0 for 2^30).
    Steps(engine, 1, 16 + 7, true);  // 15 queued, 8 written
    StreamRate = 1073741824;
    EXPECT_STREQ(engine.StatusText(7), "0:02");
    StreamRate = 2147483647;
    EXPECT_STREQ(engine.StatusText(7), "0:02");
}

TEST_F(StatusTest, SinkStatusReportsOnlyChanges) {
    char text[kSinkMessageBytes] = "";
    EXPECT_EQ(engine.SinkStatus(text), 0);
    sink->message = "Disk full";
    EXPECT_EQ(engine.SinkStatus(text), 1);
    EXPECT_STREQ(text, "Disk full");
    EXPECT_EQ(engine.SinkStatus(text), 0);
    sink->message.clear();
    EXPECT_EQ(engine.SinkStatus(text), 1);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(engine.SinkStatus(nullptr), 0);
}

TEST_F(StatusTest, TheNewerOfTheEnginesAndTheWritersTextsIsShown) {
    char text[kSinkMessageBytes] = "";
    const std::string tooLong(kTrackNameBytes, 'n');
    engine.SetNameFormat(tooLong.c_str());
    Step(engine, 1, true);
    EXPECT_EQ(engine.SinkStatus(text), 1);
    EXPECT_STREQ(text, kNameTooLongMessage);
    // No track has opened, so the engine's text still holds when the writer fails.
    engine.SetNameFormat("status%04d.%s");
    sink->failOpens = 1;
    Step(engine, 2, true);
    EXPECT_EQ(engine.SinkStatus(text), 1);
    EXPECT_STREQ(text, "open failed on status0001.wav");
    engine.SetNameFormat(tooLong.c_str());
    Step(engine, 3, true);
    EXPECT_EQ(engine.SinkStatus(text), 1);
    EXPECT_STREQ(text, kNameTooLongMessage);
}

// After a Stop the track has ended only once the worker has served it, also while cueing: a
// block the worker took before the Stop may still open a track.
TEST_F(StatusTest, TheTrackHasEndedOnceTheWorkerServedTheStop) {
    Steps(engine, 1, 3, true);
    EXPECT_FALSE(engine.IsTrackEnded());
    for (int32_t pass = 0; pass < 2; ++pass) {
        engine.TrackEngine::SetStandby(1);
        EXPECT_FALSE(engine.IsTrackEnded()) << "asked, not yet served, pass " << pass;
        engine.ProcessInput();
        EXPECT_TRUE(engine.IsTrackEnded()) << pass;
        engine.SetStandby(0);
    }
    EXPECT_EQ(log->Tracks().size(), 1u);
}

// Window calls leave no count of waiting callers behind: a track's end then yields to no one.
LONG yields = 0;
BOOL WINAPI CountYield() {
    ++yields;
    return TRUE;
}

TEST(StatusWindowCalls, LeaveNoWaitingCountBehind) {
    TrackEngineApi api;
    api.yield = &CountYield;
    SteppedEngine engine(api);
    auto log = std::make_shared<SinkLog>();
    engine.SetSink(new FakeSink(log, 0));
    engine.SetNameFormat("calls%04d.%s");
    engine.gapBlocks = 8;
    engine.SetStandby(0);
    Steps(engine, 1, 10, true);
    char text[kSinkMessageBytes] = "";
    engine.IsTrackOpen();
    engine.StatusText(7);
    engine.SinkStatus(text);
    engine.IsTrackEnded();
    engine.SetNameFormat("calls%04d.%s");
    yields = 0;
    engine.SetStandby(1);  // seven delayed blocks written one lock each
    EXPECT_EQ(log->Tracks()[0].blocks, Ids(1, 10));
    EXPECT_EQ(yields, 0);
}

}  // namespace
