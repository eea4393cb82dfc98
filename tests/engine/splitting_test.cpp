// Track splitting, driven block by block: what each track file receives in live mode off and
// on, the held block, gap changes, Stop and Shift+Stop, and a failing or missing writer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/engine/engine_fixture.h"
#include "tests/support/bench_audio.h"

namespace {

constexpr int32_t kGap = 4;

class SplittingTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        engine.gapBlocks = kGap;
        engine.SetStandby(0);
    }
    std::vector<int32_t> TrackBlocks(size_t index) {
        const auto tracks = log->Tracks();
        return index < tracks.size() ? tracks[index].blocks : std::vector<int32_t>{};
    }
    // Every buffer is in exactly one place once the worker is idle.
    void ExpectAccounted() {
        const TrackEngine::PoolCounts pool = engine.Pool();
        EXPECT_EQ(pool.input, 0);
        EXPECT_EQ(pool.created, pool.free + pool.delayed + pool.held);
    }
};

TEST_F(SplittingTest, LiveModeOffKeepsTwoTrailingSilentBlocks) {
    Steps(engine, 1, 2, false);  // 1 is dropped, 2 is held
    Steps(engine, 3, 5, true);
    Steps(engine, 6, 6 + kGap, false);  // gapBlocks + 1 silent blocks end the track
    ASSERT_EQ(log->Tracks().size(), 1u);
    EXPECT_FALSE(engine.IsTrackOpen());
    EXPECT_EQ(TrackBlocks(0), Ids(2, 7));  // held block, sound, exactly 2 silent blocks
    EXPECT_EQ(log->Tracks()[0].frames, 6u * kCaptureBlockFrames);
    EXPECT_EQ(engine.Pool().delayed, 0);
    ExpectAccounted();
}

TEST_F(SplittingTest, LiveModeOnKeepsTheWholeGap) {
    engine.liveMode = 1;
    Steps(engine, 1, 1, false);
    Steps(engine, 2, 3, true);
    Steps(engine, 4, 4 + kGap, false);
    ASSERT_EQ(log->Tracks().size(), 1u);
    EXPECT_EQ(TrackBlocks(0), Ids(1, 4 + kGap));
    ExpectAccounted();
}

TEST_F(SplittingTest, SoundRightAfterASplitOpensWithoutHeldBlock) {
    Steps(engine, 1, 1, true);
    Steps(engine, 2, 2 + kGap, false);
    Steps(engine, 10, 11, true);  // no block was held since the split
    Steps(engine, 12, 12 + kGap, false);
    // Silence after a track is dropped except the block held when the next sound begins.
    Steps(engine, 20, 22, false);
    Steps(engine, 23, 23, true);
    engine.SetStandby(1);
    const auto tracks = log->Tracks();
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[0].blocks, Ids(1, 3));
    EXPECT_EQ(tracks[1].blocks, Ids(10, 13));
    EXPECT_EQ(tracks[2].blocks, Ids(22, 23));
    ExpectAccounted();
}

// A minimum of one block still removes a track of less: a side's short last block alone
// (grooval-split's sides end in one).
TEST_F(SplittingTest, AMinimumOfOneBlockRemovesATrackOfLess) {
    engine.discardBlocks = 1;
    Steps(engine, 1, 1, true);
    Steps(engine, 2, 2 + kGap, false);
    Submit(engine, TestBlock(10, kLoud, false, kCaptureBlockValues / 2));
    engine.ProcessInput();
    engine.SetStandby(1);
    const auto tracks = log->Tracks();
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].finishResult, 0);
    EXPECT_EQ(tracks[1].blocks, Ids(10, 10));
    EXPECT_EQ(tracks[1].finishResult, kSinkTrackDeleted);
}

TEST_F(SplittingTest, LoweringGapBelowTheCountDuringAGapDoesNotSplit) {
    Steps(engine, 1, 2, true);
    Steps(engine, 3, 5, false);  // 3 silent blocks counted
    engine.gapBlocks = 1;        // would have split at 2
    Steps(engine, 6, 20, false);
    EXPECT_TRUE(engine.IsTrackOpen());
    Steps(engine, 21, 21, true);  // resets the count
    Steps(engine, 22, 23, false);
    EXPECT_FALSE(engine.IsTrackOpen()) << "split at gapBlocks + 1 = 2 silent blocks";
    ASSERT_EQ(log->Tracks().size(), 1u);
}

TEST_F(SplittingTest, GapChangesInATrackMoveTheDelayOneBlockAtATime) {
    Steps(engine, 1, 10, true);
    EXPECT_EQ(engine.Pool().delayed, kGap - 1);
    engine.gapBlocks = 2;  // lowering does not shorten the queue: one in, one out
    Steps(engine, 11, 15, true);
    EXPECT_EQ(engine.Pool().delayed, kGap - 1);
    EXPECT_EQ(TrackBlocks(0), Ids(1, 12));

    engine.gapBlocks = 7;  // raising lets the queue grow to the new length first
    Steps(engine, 16, 18, true);
    EXPECT_EQ(TrackBlocks(0), Ids(1, 12));
    EXPECT_EQ(engine.Pool().delayed, 6);
    Steps(engine, 19, 19, true);
    EXPECT_EQ(TrackBlocks(0), Ids(1, 13));
    EXPECT_EQ(engine.Pool().delayed, 6);
}

TEST_F(SplittingTest, PlannedCutsReplaceTheGapRule) {
    // Blocks are numbered from 0: id n is block n - 1.
    ASSERT_TRUE(engine.PlanCuts({17, 7}));
    Steps(engine, 1, 2, false);
    Steps(engine, 3, 5, true);
    Steps(engine, 6, 15, false);  // far more than gapBlocks + 1: no end of its own
    EXPECT_EQ(log->Tracks().size(), 1u);
    Steps(engine, 16, 17, true);
    Steps(engine, 18, 18, false);  // a cut before a single silent block: it is the pre-roll
    Steps(engine, 19, 19, true);
    Steps(engine, 20, 30, false);
    engine.SetStandby(1);
    const auto tracks = log->Tracks();
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[0].blocks, Ids(2, 7));   // ended before block 7 (id 8), delay kept
    EXPECT_EQ(tracks[1].blocks, Ids(15, 17));  // the last block held before the sound
    EXPECT_EQ(tracks[2].blocks, Ids(18, 30));
    ExpectAccounted();
}

TEST_F(SplittingTest, StopKeepsEveryAcceptedBlock) {
    Steps(engine, 1, 1, false);
    Steps(engine, 2, 3, true);
    Steps(engine, 4, 5, false);
    engine.SetStandby(1);
    EXPECT_EQ(TrackBlocks(0), Ids(1, 5));
    EXPECT_EQ(engine.IsStandby(), 1);
    Steps(engine, 6, 8, true);  // disarmed: only held
    EXPECT_EQ(log->Tracks().size(), 1u);
    ExpectAccounted();
}

// A write that fails in the final drain closes the file as at any block: the rest of the
// delay goes into the next file, not into the closed one.
TEST_F(SplittingTest, AFailedWriteDuringStopGoesOnInTheNextFile) {
    Steps(engine, 1, 6, true);  // 1 to 3 written, 4 to 6 delayed
    sink->writesBeforeFailure = 0;
    engine.SetStandby(1);
    const auto tracks = log->Tracks();
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].blocks, Ids(1, 3));
    EXPECT_EQ(tracks[0].finishResult, kSinkFailed) << "closed by its failed write";
    EXPECT_EQ(tracks[1].blocks, Ids(5, 6)) << "block 4 was the failed write";
    EXPECT_EQ(tracks[1].finishResult, 0);
    EXPECT_EQ(tracks[1].frames, 2u * kCaptureBlockFrames);
    ExpectAccounted();
}

TEST_F(SplittingTest, ShiftStopEndsTheTrackButStaysArmed) {
    Steps(engine, 1, 3, true);
    testShiftHeld = true;
    engine.SetStandby(1);
    EXPECT_EQ(engine.IsStandby(), 0);
    EXPECT_EQ(TrackBlocks(0), Ids(1, 3));
    Steps(engine, 4, 4, false);
    Steps(engine, 5, 5, true);  // armed: the next sound starts the next track
    engine.SetStandby(1);
    EXPECT_EQ(TrackBlocks(1), Ids(4, 5));
    EXPECT_EQ(engine.IsStandby(), 0);

    testShiftHeld = false;
    engine.SetStandby(1);
    testShiftHeld = true;
    engine.SetStandby(0);  // Shift+Start changes nothing
    EXPECT_EQ(engine.IsStandby(), 1);
}

TEST_F(SplittingTest, DisarmingWhileCueingCreatesNothing) {
    engine.trackNumber = 7;
    Steps(engine, 1, 5, false);
    engine.SetStandby(1);
    Steps(engine, 6, 8, true);
    EXPECT_TRUE(log->opens.empty());
    EXPECT_EQ(engine.trackNumber, 7);
    EXPECT_EQ(log->unprepares, 0);
    ExpectAccounted();
}

TEST_F(SplittingTest, TheLastBlockHeardWhileDisarmedIsThePreRoll) {
    engine.SetStandby(1);
    Steps(engine, 1, 3, true);
    engine.SetStandby(0);
    Steps(engine, 4, 5, true);
    engine.SetStandby(1);
    EXPECT_EQ(TrackBlocks(0), Ids(3, 5));
}

TEST_F(SplittingTest, TheFirstBlocksGrowThePoolThenBuffersAreReused) {
    engine.SetStandby(1);
    Submit(engine, TestBlock(1, kLoud, false, 2 * kCaptureBlockValues));  // two blocks at once
    engine.ProcessInput();
    Step(engine, 2, false);  // releases the double block to the free list
    EXPECT_EQ(engine.Pool().created, 2);
    SampleBuffer* reused = engine.GetFreeBuffer();
    ASSERT_NE(reused, nullptr);
    EXPECT_EQ(reused->Count(), 2 * kCaptureBlockValues);
    const std::vector<int16_t> block = TestBlock(3, kLoud);
    ASSERT_TRUE(reused->Fill(kCaptureBlockValues, block.data()));
    EXPECT_EQ(reused->Count(), kCaptureBlockValues);
    engine.SubmitBuffer(reused);
    engine.ProcessInput();
    EXPECT_EQ(engine.Pool().created, 2);

    // Armed, the pool grows until the delay queue is full and then stays put.
    engine.SetStandby(0);
    Steps(engine, 4, 40, true);
    const int32_t grown = engine.Pool().created;
    EXPECT_LE(grown, kGap + 2);
    Steps(engine, 41, 400, true);
    EXPECT_EQ(engine.Pool().created, grown);
    ExpectAccounted();
}

// A track that would pass the largest file goes on in the next one, block for block. Blocks
// of 16 MB get there fast; the fake writer stores nothing.
TEST_F(SplittingTest, AFullTrackFileGoesOnInTheNext) {
    constexpr int32_t kBigValues = 8 << 20;
    constexpr uint32_t kBigBytes = uint32_t(kBigValues) * 2;
    const int32_t perFile = int32_t(kMaxTrackBytes / kBigBytes);
    // Sound however long the block: the level falls with the square root of its length.
    std::vector<int16_t> block = TestBlock(0, 30000, false, kBigValues);
    for (int32_t id = 1; id <= perFile + 3; ++id) {
        block.back() = int16_t(id);
        Submit(engine, block);
        engine.ProcessInput();
    }
    engine.SetStandby(1);
    const auto tracks = log->Tracks();
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].blocks, Ids(1, perFile));
    EXPECT_EQ(tracks[0].frames, uint32_t(perFile) * (kBigBytes / 4));
    EXPECT_EQ(tracks[1].blocks, Ids(perFile + 1, perFile + 3));
    EXPECT_EQ(tracks[1].frames, 3 * (kBigBytes / 4));
    EXPECT_EQ(engine.SizeLimitSplits(), 1);
    ExpectAccounted();
}

// A track goes on in the next file when its file closes in the middle, with the discard minimum
// the window sets: the continuation takes the next number and is never deleted as short, the
// gap rule keeps counting, and every accepted block is in exactly one file, in order (the
// block of the failed write is the writer's loss).
class ContinuationTest : public SplittingTest {
protected:
    void SetUp() override {
        SplittingTest::SetUp();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = bench::WindowsPath(bench::ScratchDir(std::string("continue_") + info->name()));
        ASSERT_FALSE(folder.empty());
        sink->createFiles = true;  // the engine asks the disk what a failed file kept
        engine.SetNameFormat((folder + "\\track%04d.%s").c_str());
        engine.discardBlocks = 2 * kGap;
        Steps(engine, 1, 12, true);  // 1 to 9 written, 10 to 12 delayed
        sink->writesBeforeFailure = 0;
    }
    std::string Name(int number) {
        char text[32];
        std::snprintf(text, sizeof text, "\\track%04d.wav", number);
        return folder + text;
    }
    // The two files of the track: the first up to the failed write, then the continuation.
    void ExpectContinuedIn(const std::vector<int32_t>& continuation, int number = 2) {
        const auto tracks = log->Tracks();
        ASSERT_GE(tracks.size(), 2u);
        EXPECT_EQ(tracks[0].blocks, Ids(1, 9));
        EXPECT_EQ(tracks[1].name, Name(number));
        EXPECT_EQ(tracks[1].minBytes, 0u) << "a continuation is never too short";
        EXPECT_EQ(tracks[1].blocks, continuation);
        EXPECT_EQ(tracks[1].finishResult, 0);
        EXPECT_EQ(tracks[1].frames, continuation.size() * kCaptureBlockFrames);
        ExpectAccounted();
    }
    std::string folder;
};

TEST_F(ContinuationTest, QuietBlocksThenSoundAfterAFailedWrite) {
    Step(engine, 13, false);  // the failed write is block 10's
    EXPECT_TRUE(engine.IsTrackOpen()) << "the continuation opens at once";
    char text[kSinkMessageBytes] = "";
    engine.SinkStatus(text);
    EXPECT_EQ(text, "write failed on " + Name(1)) << "the writer's text is kept";
    Steps(engine, 14, 15, false);
    Steps(engine, 16, 17, true);
    engine.SetStandby(1);
    ExpectContinuedIn(Ids(11, 17));
    EXPECT_EQ(log->Tracks().size(), 2u);
}

TEST_F(ContinuationTest, AContinuationThatCannotOpenAtOnceOpensAtTheNextBlock) {
    sink->failOpens = 1;
    Step(engine, 13, false);
    EXPECT_FALSE(engine.IsTrackOpen());
    Steps(engine, 14, 15, false);  // still in the track: written, counted
    Steps(engine, 16, 17, true);
    engine.SetStandby(1);
    ExpectContinuedIn(Ids(11, 17), 3);
}

TEST_F(ContinuationTest, AGapAfterAFailedWriteStillEndsTheTrack) {
    Steps(engine, 13, 13 + kGap, false);
    EXPECT_FALSE(engine.IsTrackOpen());
    EXPECT_EQ(engine.Pool().delayed, 0);
    Steps(engine, 18, 20, false);
    ExpectContinuedIn(Ids(11, 14));  // with its 2 trailing silent blocks
    EXPECT_EQ(log->Tracks().size(), 2u);
}

TEST_F(ContinuationTest, StopAfterAFailedWriteKeepsTheDelay) {
    Step(engine, 13, true);
    engine.SetStandby(1);
    ExpectContinuedIn(Ids(11, 13));
}

// After a track of several files, a track of one is its writer's to judge, by the minimum its
// file opened with, though the slider moved since.
TEST_F(ContinuationTest, TheNextTrackOfOneFileIsJudgedByItsWriter) {
    Step(engine, 13, true);
    engine.SetStandby(1);
    engine.SetStandby(0);
    engine.discardBlocks = 1;
    Steps(engine, 20, 22, true);
    engine.discardBlocks = 2 * kGap;
    engine.SetStandby(1);
    const auto tracks = log->Tracks();
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[2].finishResult, 0);
    EXPECT_NE(GetFileAttributesA(Name(3).c_str()), INVALID_FILE_ATTRIBUTES);
}

// A disk that stays full: each new file keeps nothing and is gone, its number given back, and
// after a few the track opens no more and says so once; the track so far is kept.
TEST_F(ContinuationTest, ADiskThatStaysFullLeavesNoEmptyFiles) {
    sink->writesFail = true;
    Steps(engine, 13, 40, true);
    engine.SetStandby(1);
    const auto tracks = log->Tracks();
    ASSERT_EQ(tracks.size(), size_t(1 + kEmptyFilesBeforeGivingUp));
    for (size_t i = 1; i < tracks.size(); ++i) EXPECT_EQ(tracks[i].name, Name(2)) << i;
    EXPECT_NE(GetFileAttributesA(Name(1).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(Name(2).c_str()), INVALID_FILE_ATTRIBUTES);
    char text[kSinkMessageBytes] = "";
    engine.SinkStatus(text);
    EXPECT_STREQ(text, kDiskFullMessage);
    EXPECT_EQ(engine.trackNumber, 1);
    ExpectAccounted();
}

// A file full at the engine's limit, at the chain's own, or found full by the writer first
// (the block it refused opens the next file): no block is lost, and the short rest of the
// track is kept in the next file.
TEST_F(SplittingTest, AFullFileGoesOnInTheNextAndLosesNoBlock) {
    struct Case { const char* what; uint32_t engineLimit, chainLimit, writerFull; };
    const Case cases[] = {
        {"the engine's limit", 5 * kCaptureBlockBytes, 0, 0},
        {"the chain's limit", kMaxTrackBytes, 5 * kCaptureBlockBytes, 0},
        {"the writer refuses", kMaxTrackBytes, 0, 5 * kCaptureBlockBytes + 100},
    };
    engine.discardBlocks = 4;
    int32_t splits = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log->tracks.clear();
        engine.maxTrackBytes = c.engineLimit;
        sink->SetFileSourceBytes(c.chainLimit);
        sink->fullAtBytes = c.writerFull;
        Steps(engine, 1, 12, true);
        engine.SetStandby(1);
        engine.SetStandby(0);
        const auto tracks = log->Tracks();
        ASSERT_EQ(tracks.size(), 3u);
        EXPECT_EQ(tracks[0].blocks, Ids(1, 5));
        EXPECT_EQ(tracks[0].minBytes, 4u * kCaptureBlockBytes);
        EXPECT_EQ(tracks[1].blocks, Ids(6, 10));
        EXPECT_EQ(tracks[2].blocks, Ids(11, 12));
        EXPECT_EQ(tracks[2].minBytes, 0u);
        EXPECT_EQ(tracks[2].finishResult, 0) << "shorter than the minimum, yet kept";
        EXPECT_EQ(engine.SizeLimitSplits(), splits += 2);
        ExpectAccounted();
    }
}

// The header is brought up to date after every headerUpdateBytes of a file, counted anew in
// each file of the track.
TEST_F(SplittingTest, TheHeaderFollowsEachFileInSteps) {
    engine.headerUpdateBytes = 3 * kCaptureBlockBytes;
    engine.maxTrackBytes = 7 * kCaptureBlockBytes;
    Steps(engine, 1, 14, true);
    engine.SetStandby(1);
    const auto tracks = log->Tracks();
    ASSERT_EQ(tracks.size(), 2u);
    const std::vector<uint32_t> steps = {3 * kCaptureBlockFrames, 6 * kCaptureBlockFrames};
    EXPECT_EQ(tracks[0].headers, steps);
    EXPECT_EQ(tracks[1].headers, steps) << "the final drain goes on counting";
    EXPECT_EQ(tracks[1].blocks, Ids(8, 14));
}

// While the writer cannot open, the delay queue keeps only its newest gapBlocks - 1 blocks, so
// a track that opens later starts exactly as if it had opened then.
TEST_F(SplittingTest, FailingOpensNeitherGrowThePoolNorBreakTheNextTrack) {
    sink->failOpens = 100;
    Steps(engine, 1, 60, true);
    EXPECT_FALSE(engine.IsTrackOpen());
    EXPECT_EQ(engine.Pool().delayed, kGap - 1);
    EXPECT_LE(engine.Pool().created, kGap + 3);
    EXPECT_EQ(engine.trackNumber, 60) << "one name search per block while the failure lasts";

    sink->failOpens = 0;
    Steps(engine, 61, 62, true);
    ASSERT_TRUE(engine.IsTrackOpen());
    Steps(engine, 63, 63 + kGap, false);
    EXPECT_EQ(TrackBlocks(0), Ids(58, 64)) << "the delay as it stood, sound, 2 silent blocks";
    ExpectAccounted();
}

TEST_F(SplittingTest, StopWhileTheWriterFailsReturnsEveryQueuedBlock) {
    sink->failOpens = -1;
    Steps(engine, 1, 1, false);
    Steps(engine, 2, 3, true);
    EXPECT_EQ(engine.trackNumber, 3) << "the held block and each sound block search a name";
    engine.SetStandby(1);
    EXPECT_EQ(engine.Pool().delayed, 0);
    ExpectAccounted();
}

TEST(SplittingNoWriter, AMissingWriterDropsTracksButKeepsRunning) {
    SteppedEngine engine;
    engine.gapBlocks = kGap;
    engine.SetNameFormat("x%04d.%s");
    engine.SetStandby(0);
    Steps(engine, 1, 20, true);
    Steps(engine, 21, 30, false);
    EXPECT_FALSE(engine.IsTrackOpen());
    EXPECT_EQ(engine.trackNumber, 0) << "no writer, no number used";
    EXPECT_LE(engine.Pool().created, kGap + 3);
    char status[kSinkMessageBytes] = "";
    EXPECT_EQ(engine.SinkStatus(status), 1);
    EXPECT_STREQ(status, kNoWriterMessage);
    EXPECT_EQ(engine.SinkStatus(status), 0);
    EXPECT_STREQ(engine.StatusText(7), "--:--");
    engine.SetStandby(1);
    EXPECT_EQ(engine.Pool().delayed, 0);

    // A writer installed later takes over, and the engine's own text gives way to the writer's.
    auto log = std::make_shared<SinkLog>();
    auto* sink = new FakeSink(log, 1);
    sink->Prepare(kCaptureBlockBytes);
    engine.ReplaceSink(sink);
    engine.SetStandby(0);
    Steps(engine, 31, 32, true);
    EXPECT_TRUE(engine.IsTrackOpen());
    EXPECT_EQ(engine.SinkStatus(status), 1);
    EXPECT_STREQ(status, "");
}

}  // namespace
