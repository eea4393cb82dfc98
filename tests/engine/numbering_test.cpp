// Track file numbering against real files: holes are filled first, a discarded track gives its
// number back, failed opens use up numbers, a writer that is not ready and names that cannot be
// formed use none, and the unsafe names are refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/engine/engine_fixture.h"
#include "tests/support/bench_audio.h"

namespace {

class NumberingTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = bench::WindowsPath(bench::ScratchDir(std::string("numbering_") + info->name()));
        ASSERT_FALSE(folder.empty());
        sink->createFiles = true;
        engine.gapBlocks = 2;
        engine.SetNameFormat((folder + "\\Side A %04d.%s").c_str());
        engine.SetStandby(0);
    }
    std::string Name(int number) {
        char text[32];
        std::snprintf(text, sizeof text, "%04d", number);
        return folder + "\\Side A " + text + ".wav";
    }
    void MakeFile(int number) {
        HANDLE file = CreateFileA(Name(number).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << Name(number);
        CloseHandle(file);
    }
    // One track of `blocks` sound blocks, ended by Shift+Stop so recording stays armed.
    void Track(int32_t blocks) {
        static int32_t id = 0;
        for (int32_t i = 0; i < blocks; ++i) Step(engine, ++id, true);
        testShiftHeld = true;
        engine.SetStandby(1);
        testShiftHeld = false;
    }
    std::vector<std::string> TrackNames() {
        std::vector<std::string> names;
        for (const SinkLog::Track& track : log->Tracks()) names.push_back(track.name);
        return names;
    }

    std::string folder;
};

TEST_F(NumberingTest, ExistingFilesAreSkipped) {
    ASSERT_NO_FATAL_FAILURE(MakeFile(1));
    ASSERT_NO_FATAL_FAILURE(MakeFile(2));
    ASSERT_NO_FATAL_FAILURE(MakeFile(3));
    Track(1);
    EXPECT_EQ(TrackNames(), std::vector<std::string>({Name(4)}));
    EXPECT_EQ(engine.trackNumber, 4);
}

TEST_F(NumberingTest, AHoleIsFilledFirst) {
    ASSERT_NO_FATAL_FAILURE(MakeFile(2));
    Track(1);
    Track(1);
    EXPECT_EQ(TrackNames(), std::vector<std::string>({Name(1), Name(3)}));
}

TEST_F(NumberingTest, ADiscardedTrackGivesItsNumberBack) {
    engine.discardBlocks = 3;
    Track(2);  // shorter than 3 blocks: deleted by the writer
    Track(4);
    const auto tracks = log->Tracks();
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].minBytes, 3u * kCaptureBlockBytes);
    EXPECT_EQ(tracks[0].finishResult, kSinkTrackDeleted);
    EXPECT_EQ(tracks[1].name, Name(1));
    EXPECT_EQ(tracks[1].finishResult, 0);
    EXPECT_NE(GetFileAttributesA(Name(1).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(engine.trackNumber, 1);
}

// A new prefix asks for the numbers to start again: a track still ending keeps its own
// numbering (here it is deleted as short and gives its number back), the next is named anew.
TEST_F(NumberingTest, ANumberResetWaitsForTheTrackEnding) {
    engine.discardBlocks = 3;
    Track(4);
    Step(engine, 100, true);
    engine.ResetTrackNumber();
    engine.SetStandby(1);
    EXPECT_EQ(engine.trackNumber, 1);
    engine.SetStandby(0);
    Track(4);
    EXPECT_EQ(TrackNames(), std::vector<std::string>({Name(1), Name(2), Name(2)}));
}

TEST_F(NumberingTest, EachFailedOpenUsesANumber) {
    sink->failOpens = 3;
    Step(engine, 1, false);  // held
    Step(engine, 2, true);   // the held block and this one: two searches
    EXPECT_EQ(engine.trackNumber, 2);
    Step(engine, 3, true);   // third failure
    Step(engine, 4, true);   // opens
    EXPECT_EQ(engine.trackNumber, 4);
    EXPECT_EQ(log->opens, std::vector<std::string>({Name(1), Name(2), Name(3), Name(4)}));
    EXPECT_EQ(TrackNames(), std::vector<std::string>({Name(4)}));
}

TEST_F(NumberingTest, AWriterThatIsNotReadyUsesNoNumberAndSaysSo) {
    char status[kSinkMessageBytes] = "";
    char notReady[kSinkMessageBytes];
    std::snprintf(notReady, sizeof notReady, kWriterNotReadyMessage, unsigned(kSinkFailed));
    // As at start-up: the window's Prepare failed before the hand-over.
    auto* unready = new FakeSink(log, 2);
    unready->createFiles = true;
    unready->failPrepares = 3;
    unready->Prepare(kCaptureBlockBytes);
    engine.SetSink(unready);
    EXPECT_EQ(engine.SinkStatus(status), 1);
    EXPECT_STREQ(status, notReady);
    Steps(engine, 1, 2, true);  // two retries
    EXPECT_TRUE(log->opens.empty());
    EXPECT_EQ(engine.trackNumber, 0);
    Step(engine, 3, true);  // the retry succeeds
    EXPECT_EQ(TrackNames(), std::vector<std::string>({Name(1)}));
    EXPECT_EQ(engine.SinkStatus(status), 1);
    EXPECT_STREQ(status, "");

    // After a track the writer is prepared again; when that fails, the next track waits too.
    unready->failPrepares = 1;
    testShiftHeld = true;
    engine.SetStandby(1);
    testShiftHeld = false;
    EXPECT_EQ(engine.SinkStatus(status), 1);
    EXPECT_STREQ(status, notReady);
    Step(engine, 4, true);
    EXPECT_EQ(TrackNames(), std::vector<std::string>({Name(1), Name(2)}));
}

TEST_F(NumberingTest, NumbersGrowPastFourDigits) {
    engine.trackNumber = 9999;
    Track(1);
    EXPECT_EQ(TrackNames(), std::vector<std::string>({folder + "\\Side A 10000.wav"}));
}

TEST_F(NumberingTest, WhenEveryNameIsTakenNothingIsOverwritten) {
    // Slow under Wine (about half a minute): each new name is checked against the whole folder.
    for (int number = 1; number <= 10001; ++number) {
        ASSERT_NO_FATAL_FAILURE(MakeFile(number));
        if (HasFatalFailure()) return;
    }
    Step(engine, 1, true);
    EXPECT_FALSE(engine.IsTrackOpen());
    EXPECT_TRUE(log->opens.empty()) << "the sink is never asked to open a taken name";
    EXPECT_EQ(engine.trackNumber, 10001);
    char status[kSinkMessageBytes] = "";
    EXPECT_EQ(engine.SinkStatus(status), 1);
    EXPECT_STREQ(status, kNoFreeNumberMessage);
    // The next search starts after the names already tried.
    Step(engine, 2, true);
    EXPECT_TRUE(engine.IsTrackOpen());
    EXPECT_EQ(TrackNames(), std::vector<std::string>({folder + "\\Side A 10002.wav"}));
    EXPECT_EQ(engine.SinkStatus(status), 1);
    EXPECT_STREQ(status, "") << "the writer's own text again";
}

struct NameCase {
    const char* what;
    std::string format;
    std::string expected;  // empty: refused
};

TEST(TrackNames, PatternsAreFilledSafely) {
    const std::string longFolder(250, 'f');
    const NameCase cases[] = {
        {"the window's pattern", "C:\\Rec\\Side A %04d.%s", "C:\\Rec\\Side A 0001.wav"},
        {"percent signs in folder and prefix stay literal", "C:\\50%s\\%d%n%04d.%s",
         "C:\\50%s\\%d%n0001.wav"},
        {"exactly 259 characters", "C:\\" + std::string(248, 'a') + "%04d.%s",
         "C:\\" + std::string(248, 'a') + "0001.wav"},
        {"260 characters", "C:\\" + std::string(249, 'a') + "%04d.%s", ""},
        {"a pattern too long to store", "C:\\" + longFolder + "%04d.%s", ""},
    };
    for (const NameCase& c : cases) {
        auto log = std::make_shared<SinkLog>();
        SteppedEngine engine;
        auto* sink = new FakeSink(log, 1);
        engine.SetSink(sink);
        engine.SetNameFormat(c.format.c_str());
        engine.SetStandby(0);
        Steps(engine, 1, 5, true);
        if (c.expected.empty()) {
            EXPECT_TRUE(log->opens.empty()) << c.what;
            char status[kSinkMessageBytes] = "";
            engine.SinkStatus(status);
            EXPECT_STREQ(status, kNameTooLongMessage) << c.what;
            // No number is used up while the name cannot be formed.
            engine.SetNameFormat("short%04d.%s");
            Step(engine, 6, true);
            EXPECT_EQ(log->opens, std::vector<std::string>({"short0001.wav"})) << c.what;
        } else {
            EXPECT_EQ(log->opens, std::vector<std::string>({c.expected})) << c.what;
        }
    }
}

}  // namespace
