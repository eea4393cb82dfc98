// grooval-split runs on synthesized sides: which tracks come out, how long, numbered how, where
// the cue sheet puts them; inputs in other formats; flow control; an interrupted run.
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "split/block_feeder.h"
#include "split/interrupt.h"
#include "split/split_run.h"
#include "engine/stream_format.h"
#include "tests/split/split_test_util.h"

namespace {

using splittest::Side;

constexpr uint32_t kFramesPerCueFrame = kCaptureRate / 75;  // 588
constexpr int32_t kTailFrames = 1000;                       // the side ends inside a block

SplitSettings InFolder(const std::string& folder) {
    SplitSettings settings;  // the recorder's defaults: silence 4, gap 14, minimum 14
    settings.autoSilence = false;  // as -s 4 asks
    settings.folder = folder;
    return settings;
}

// Songs, gaps, a song with a quiet passage shorter than a gap, a song too short to keep, and
// a last song the side's end cuts into, followed by a part of a block.
//   blocks   0-4 silence, 5-44 song, 45-74 gap, 75-84 song, 85-92 quiet, 93-107 song,
//            108-137 gap, 138-139 short song, 140-169 gap, 170-189 song, 190-199 silence
Side RecordSide() {
    Side side;
    side.Silence(5).Song(40).Silence(30).Song(10).Silence(8).Song(15).Silence(30).Song(2);
    side.Silence(30).Song(20).Silence(10);
    return side;
}

std::vector<int16_t> WithTail(std::vector<int16_t> samples) {
    const splittest::Block quiet = splittest::QuietBlock(999);
    samples.insert(samples.end(), quiet.begin(), quiet.begin() + kTailFrames * 2);
    return samples;
}

struct Expected {
    std::string file;
    uint64_t startFrame;
    uint64_t endFrame;
};

uint64_t At(int block) {
    return uint64_t(block) * kCaptureBlockFrames;
}

struct CueEntry {
    std::string file;
    uint64_t start;  // in 75ths of a second
    uint64_t end;
};

uint64_t ParseCueTime(const std::string& text) {
    unsigned minutes = 0, seconds = 0, frames = 0;
    EXPECT_EQ(std::sscanf(text.c_str(), "%u:%u:%u", &minutes, &seconds, &frames), 3) << text;
    return (uint64_t(minutes) * 60 + seconds) * 75 + frames;
}

std::vector<CueEntry> ParseCue(const std::string& text, std::string& inputFile) {
    std::vector<CueEntry> entries;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t quote = line.find('"');
        if (line.rfind("FILE ", 0) == 0) {
            inputFile = line.substr(quote + 1, line.rfind('"') - quote - 1);
        } else if (line.find("REM TRACKFILE") != std::string::npos) {
            entries.push_back({line.substr(quote + 1, line.rfind('"') - quote - 1), 0, 0});
        } else if (line.find("INDEX 01 ") != std::string::npos && !entries.empty()) {
            entries.back().start = ParseCueTime(line.substr(line.find("INDEX 01 ") + 9));
        } else if (line.find("REM END ") != std::string::npos && !entries.empty()) {
            entries.back().end = ParseCueTime(line.substr(line.find("REM END ") + 8));
        }
    }
    return entries;
}

class SplitRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        inputFolder_ = splittest::Scratch("split_run_input");
        folder_ = splittest::Scratch("split_run_tracks");
        samples_ = WithTail(RecordSide().Samples());
        input_ = inputFolder_ + "\\side a.wav";
        ASSERT_TRUE(
            splittest::WritePcmWav(input_, kCaptureRate, 2, 16, splittest::SampleBytes(samples_)));
    }

    // Every kept track holds exactly the input's frames the report gives, and the report
    // matches the prediction. The input's data is samples_ unless `data` (of `frameBytes`
    // frames) is given.
    void CheckTracks(const SplitReport& report, const std::vector<Expected>& expected,
                     const std::vector<uint8_t>* data = nullptr, uint32_t frameBytes = 4) {
        const std::vector<uint8_t> input = data ? *data : splittest::SampleBytes(samples_);
        ASSERT_EQ(report.tracks.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            const CueTrack& track = report.tracks[i];
            EXPECT_EQ(track.file, expected[i].file);
            EXPECT_EQ(track.startFrame, expected[i].startFrame) << track.file;
            EXPECT_EQ(track.endFrame, expected[i].endFrame) << track.file;
            const std::vector<uint8_t> kept = splittest::TrackData(folder_ + "\\" + track.file);
            ASSERT_EQ(kept.size(), (expected[i].endFrame - expected[i].startFrame) * frameBytes)
                << track.file;
            EXPECT_TRUE(std::equal(kept.begin(), kept.end(),
                                   input.begin() + long(expected[i].startFrame * frameBytes)))
                << track.file << " does not hold its part of the input";
        }
    }

    std::string inputFolder_, folder_, input_;
    std::vector<int16_t> samples_;
};

TEST_F(SplitRunTest, ASideSplitsIntoThePredictedTracksAndNumbers) {
    // A file of the prefix exists: its number is skipped, as in the recorder.
    ASSERT_TRUE(splittest::WriteBytes(folder_ + "\\tmp0002.wav", {1, 2, 3}));
    SplitReport report;
    ASSERT_EQ(RunSplit(InFolder(folder_), input_, true, report), kSplitDone) << report.problem;
    // Each track starts with the held silent block before its sound and keeps 2 silent blocks
    // after it; the quiet passage (8 blocks) is shorter than a gap; the short song (5 blocks
    // with its silences) is deleted and its number 0004 goes to the last song, which the end
    // of the side finishes with everything accepted.
    const uint64_t end = At(200) + kTailFrames;
    ASSERT_NO_FATAL_FAILURE(CheckTracks(report, {{"tmp0001.wav", At(4), At(47)},
                         {"tmp0003.wav", At(74), At(110)},
                         {"tmp0004.wav", At(169), end}}));
    EXPECT_EQ(report.blocks, 201);
    EXPECT_EQ(report.cuePath, folder_ + "\\tmp0001-0004.cue");
    EXPECT_EQ(splittest::FilesIn(folder_),
              (std::vector<std::string>{"tmp0001-0004.cue", "tmp0001.wav", "tmp0002.wav",
                                        "tmp0003.wav", "tmp0004.wav"}));

    // The cue sheet names the input and gives each track's place in it, in 75ths of a second.
    const std::vector<uint8_t> cue = splittest::ReadBytes(report.cuePath);
    std::string inputFile;
    const std::vector<CueEntry> entries = ParseCue(std::string(cue.begin(), cue.end()), inputFile);
    EXPECT_EQ(inputFile, "..\\split_run_input\\side a.wav");  // relative to the sheet
    ASSERT_EQ(entries.size(), report.tracks.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].file, report.tracks[i].file);
        EXPECT_EQ(entries[i].start, report.tracks[i].startFrame / kFramesPerCueFrame);
        EXPECT_EQ(entries[i].end, report.tracks[i].endFrame / kFramesPerCueFrame);
    }
    EXPECT_EQ(std::string(cue.begin(), cue.end()).find("REM CLICKS"), std::string::npos);
    EXPECT_EQ(report.declick, 0);
    EXPECT_EQ(entries[0].start, 40u);  // block 4: 0.533 s
    EXPECT_EQ(entries[2].end,
              (uint64_t(200) * kCaptureBlockFrames + kTailFrames) / kFramesPerCueFrame);
}

TEST_F(SplitRunTest, DeclickRepairsClicksBeforeTheSplitAndCountsThemPerTrack) {
    // Clicks in the songs: three in the first track, two in the second (one across a capture
    // block's boundary), one in the last.
    struct Injected {
        uint64_t frame;
        uint32_t frames;
        int channel;
    };
    const Injected clicks[] = {{At(10) + 100, 2, 0},  {At(20) + 3000, 30, 1}, {At(40) - 10, 80, 0},
                               {At(78) + 500, 12, 1}, {At(100) - 15, 40, 0}, {At(180) + 7, 60, 1}};
    std::vector<int16_t> clicked = samples_;
    for (const Injected& click : clicks) {
        for (uint32_t n = 0; n < click.frames; ++n) {
            int16_t& value = clicked[size_t(click.frame + n) * 2 + size_t(click.channel)];
            value = int16_t(value + (click.channel ? -8000 : 8000) * std::exp(-2.0 * n / click.frames));
        }
    }
    const std::string input = inputFolder_ + "\\clicks.wav";
    ASSERT_TRUE(
        splittest::WritePcmWav(input, kCaptureRate, 2, 16, splittest::SampleBytes(clicked)));
    SplitSettings settings = InFolder(folder_);
    settings.declick = kDeclickDefaultLevel;
    SplitReport report;
    ASSERT_EQ(RunSplit(settings, input, true, report), kSplitDone) << report.problem;
    // The repaired side splits as the clean one; each track counts its clicks.
    ASSERT_EQ(report.tracks.size(), 3u);
    const int32_t expected[] = {3, 2, 1};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(report.tracks[i].clicks, expected[i]) << report.tracks[i].file;
        // The songs' blocks meet in small steps (tests/app/split_test_util.h): no clicks,
        // left alone but counted.
        EXPECT_GE(report.tracks[i].clicksLeft, 0) << report.tracks[i].file;
    }
    EXPECT_EQ(report.tracks[2].endFrame, At(200) + kTailFrames);
    EXPECT_EQ(report.clicksRepaired, 6u);
    EXPECT_EQ(report.declick, kDeclickDefaultLevel);
    // The files hold the clean side: exactly, but for a few samples around each click.
    for (const CueTrack& track : report.tracks) {
        const std::vector<uint8_t> data = splittest::TrackData(folder_ + "\\" + track.file);
        ASSERT_EQ(data.size(), (track.endFrame - track.startFrame) * 4);
        for (size_t i = 0; i < data.size() / 2; ++i) {
            const uint64_t frame = track.startFrame + i / 2;
            const int channel = int(i % 2);
            const int16_t value = int16_t(data[2 * i] | data[2 * i + 1] << 8);
            const int16_t clean = samples_[size_t(frame) * 2 + size_t(channel)];
            bool closeToClick = false;
            for (const Injected& click : clicks) {
                closeToClick |= click.channel == channel && frame + 8 >= click.frame &&
                        frame < click.frame + click.frames + 8;
            }
            if (closeToClick) {
                EXPECT_NEAR(value, clean, 400) << track.file << " frame " << frame;
            } else {
                ASSERT_EQ(value, clean) << track.file << " frame " << frame;
            }
        }
    }
    const std::vector<uint8_t> cue = splittest::ReadBytes(report.cuePath);
    EXPECT_NE(std::string(cue.begin(), cue.end()).find("    REM CLICKS 3\r\n"), std::string::npos);

    // The tool itself: --stats tells each track's clicks.
    const std::string again = splittest::Scratch("split_run_declick");
    const splittest::ToolRun run = splittest::RunTool("-q --declick --stats -o " +
                                                      splittest::Quote(again) + " " +
                                                      splittest::Quote(input));
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_NE(run.err.find("stats: tmp0001.wav: 3 clicks repaired, "),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("stats: tmp0003.wav: 1 click repaired, "),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("declick level 5: 6 clicks repaired, " +
                           std::to_string(report.clicksLeft) + " events left alone in the whole"),
              std::string::npos)
        << run.err;
}

TEST_F(SplitRunTest, LiveModeKeepsTheWholeGap) {
    SplitSettings settings = InFolder(folder_);
    settings.live = true;
    SplitReport report;
    ASSERT_EQ(RunSplit(settings, input_, false, report), kSplitDone) << report.problem;
    // All 15 silent blocks that end a track stay in it; so the short song now reaches the
    // minimum length and is kept.
    ASSERT_NO_FATAL_FAILURE(CheckTracks(report, {{"tmp0001.wav", At(4), At(60)},
                         {"tmp0002.wav", At(74), At(123)},
                         {"tmp0003.wav", At(137), At(155)},
                         {"tmp0004.wav", At(169), At(200) + kTailFrames}}));
    EXPECT_TRUE(report.cuePath.empty());
    EXPECT_EQ(splittest::FilesIn(folder_).size(), 4u);
}

TEST_F(SplitRunTest, DetectionSettingsChangeTheCut) {
    SplitSettings settings = InFolder(folder_);
    settings.gap = 7;      // the quiet passage (8 blocks) now ends a track at its last block
    settings.minimum = 3;  // and the short song is kept
    settings.prefix = "side a ";
    SplitReport report;
    ASSERT_EQ(RunSplit(settings, input_, false, report), kSplitDone) << report.problem;
    ASSERT_NO_FATAL_FAILURE(CheckTracks(report, {{"side a 0001.wav", At(4), At(47)},
                         {"side a 0002.wav", At(74), At(87)},
                         {"side a 0003.wav", At(93), At(110)},  // no held block after a split
                         {"side a 0004.wav", At(137), At(142)},
                         {"side a 0005.wav", At(169), At(192)}}));  // the last silence splits too
}

// A side as a sleeve would list it: a rest of one block inside the first song, two songs that
// segue through a dip of two blocks, a song with a long soft passage above the silence level,
// and a short song.
//   blocks   0-2 silence, 3-17 song, 18 rest, 19-33 song, 34-53 gap, 54-78 song, 79-80 dip,
//            81-90 song, 91-120 soft, 121-130 song, 131-155 gap, 156-159 short song,
//            160-174 gap, 175-194 song, 195-204 silence
Side SleeveSide() {
    Side side;
    side.Silence(3).Song(15).Silence(1).Song(15).Silence(20).Song(25).Silence(2).Song(10);
    side.Soft(30).Song(10).Silence(25).Song(4).Silence(15).Song(20).Silence(10);
    return side;
}

TEST_F(SplitRunTest, TheTrackCountCutsAtTheLongestSilentRuns) {
    samples_ = SleeveSide().Samples();
    ASSERT_TRUE(
        splittest::WritePcmWav(input_, kCaptureRate, 2, 16, splittest::SampleBytes(samples_)));
    const struct {
        int32_t tracks;
        bool live;
        int code;
        std::vector<std::pair<int, int>> blocks;  // each track's [first, end)
    } cases[] = {
        // Each track keeps 2 blocks of the run after it, the next starts with the run's last
        // block; the dip of 2 splits the segue; the short song is kept; the side's end keeps 2.
        {5, false, kSplitDone, {{2, 36}, {53, 80}, {80, 133}, {155, 162}, {174, 197}}},
        // Live mode keeps gapBlocks + 1 of each run, as far as the run leaves a pre-roll.
        {5, true, kSplitDone, {{2, 49}, {53, 80}, {80, 146}, {155, 174}, {174, 205}}},
        // More than the runs give: the rest is cut too, and the run says so.
        {7, false, kSplitFewerTracks,
         {{2, 18}, {18, 36}, {53, 80}, {80, 133}, {155, 162}, {174, 197}}},
        {1, false, kSplitDone, {{2, 197}}},
    };
    for (const auto& test : cases) {
        const std::string folder = splittest::Scratch("split_run_tracks_count");
        folder_ = folder;
        SplitSettings settings = InFolder(folder);
        settings.tracks = test.tracks;
        settings.live = test.live;
        SplitReport report;
        EXPECT_EQ(RunSplit(settings, input_, false, report), test.code) << report.problem;
        std::vector<Expected> expected;
        for (size_t i = 0; i < test.blocks.size(); ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "tmp%04d.wav", int(i + 1));
            expected.push_back({name, At(test.blocks[i].first), At(test.blocks[i].second)});
        }
        SCOPED_TRACE(std::to_string(test.tracks) + (test.live ? " tracks, live" : " tracks"));
        ASSERT_NO_FATAL_FAILURE(CheckTracks(report, expected));
        if (test.code == kSplitFewerTracks) {
            EXPECT_NE(report.problem.find("asked for 7 tracks, the side has 6"), std::string::npos)
                << report.problem;
        }
    }
}

TEST_F(SplitRunTest, ADryRunListsTheTracksAndDrawsThemButWritesNoFile) {
    const std::string titles = inputFolder_ + "\\titles.txt";
    ASSERT_TRUE(splittest::WriteBytes(titles, {'A', '\n', 'B', '\n', 'C', '\n', 'D', '\n'}));
    SplitSettings settings = InFolder(folder_);
    settings.dryRun = true;
    settings.titlesFile = titles;
    settings.prefix.clear();  // as --titles without --prefix resolves
    settings.preview = inputFolder_ + "\\side.svg";
    SplitReport report;
    ASSERT_EQ(RunSplit(settings, input_, true, report), kSplitDone) << report.problem;
    // As the real run cuts RecordSide, with the short song deleted and drawn grey.
    ASSERT_EQ(report.tracks.size(), 3u);
    EXPECT_EQ(report.tracks[1].file, "02 B.wav");
    EXPECT_EQ(report.tracks[1].title, "B");
    EXPECT_EQ(report.tracks[2].startFrame, At(169));
    ASSERT_EQ(report.discarded.size(), 1u);
    EXPECT_EQ(report.discarded[0].startFrame, At(137));
    EXPECT_TRUE(splittest::FilesIn(folder_).empty());
    EXPECT_EQ(report.warnings,
              std::vector<std::string>{"4 titles for 3 tracks: titles past track 3 are not used"});
    const std::vector<uint8_t> svg = splittest::ReadBytes(settings.preview);
    const std::string text(svg.begin(), svg.end());
    EXPECT_NE(text.find("data-start=\"" + std::to_string(At(74)) + "\" data-end=\"" +
                        std::to_string(At(110)) + "\""),
              std::string::npos);
    EXPECT_NE(text.find("class=\"discarded\""), std::string::npos);
}

// A track whose file is full (at 2 GB; here at 40 blocks) goes on in the next file: the same
// track, its number, title and tags, named "(part 2)".
TEST_F(SplitRunTest, AFullFileGoesOnAsTheSameTrack) {
    const std::string titles = inputFolder_ + "\\titles.txt";
    ASSERT_TRUE(splittest::WriteBytes(titles, {'A', '\n', 'B', '\n', 'C', '\n'}));
    SplitSettings settings = InFolder(folder_);
    settings.titlesFile = titles;
    settings.prefix.clear();
    settings.trackBytesLimit = 40 * kCaptureBlockBytes;
    SplitReport report;
    ASSERT_EQ(RunSplit(settings, input_, true, report), kSplitDone) << report.problem;
    EXPECT_EQ(splittest::FilesIn(folder_),
              (std::vector<std::string>{"0001-0003.cue", "01 A (part 2).wav", "01 A.wav",
                                        "02 B.wav", "03 C.wav"}));
    ASSERT_EQ(report.tracks.size(), 4u);
    const struct {
        int32_t number;
        int32_t part;
        const char* title;
        uint64_t start;
    } expected[] = {{1, 1, "A", At(4)}, {1, 2, "A", At(44)}, {2, 1, "B", At(74)},
                    {3, 1, "C", At(169)}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(report.tracks[i].number, expected[i].number) << i;
        EXPECT_EQ(report.tracks[i].part, expected[i].part) << i;
        EXPECT_EQ(report.tracks[i].title, expected[i].title) << i;
        EXPECT_EQ(report.tracks[i].startFrame, expected[i].start) << i;
    }
    EXPECT_EQ(report.warnings.size(), 1u);  // the full file's, no count of titles
    EXPECT_EQ(SplitSummary(report, false), "3 tracks in 4 files in " + folder_);
    // The second part carries the first's tags.
    const std::vector<uint8_t> part = splittest::ReadBytes(folder_ + "\\01 A (part 2).wav");
    const std::string tags(part.end() - std::min<size_t>(part.size(), 64), part.end());
    EXPECT_NE(tags.find(std::string("INAM\2\0\0\0A\0", 10)), std::string::npos);
    EXPECT_NE(tags.find(std::string("ITRK\2\0\0\0" "1\0", 10)), std::string::npos);
}

// Each song lies whole in a track of its own: every cut falls in a gap, and no frame of a song
// (all of it above -50 dBFS) is lost.
void ExpectSongsWhole(const SplitReport& report, const splittest::RecordedSide& side) {
    ASSERT_EQ(report.tracks.size(), side.songs.size());
    for (size_t i = 0; i < side.songs.size(); ++i) {
        EXPECT_LE(report.tracks[i].startFrame, side.songs[i].first) << "song " << i + 1;
        EXPECT_GE(report.tracks[i].endFrame, side.songs[i].second) << "song " << i + 1;
    }
}

// Every cut lies in a gap and each song's middle in its own track; its fades may be cut.
void ExpectCutsInGaps(const SplitReport& report, const splittest::RecordedSide& side) {
    ASSERT_EQ(report.tracks.size(), side.songs.size());
    for (size_t i = 0; i < side.songs.size(); ++i) {
        const uint64_t middle = (side.songs[i].first + side.songs[i].second) / 2;
        EXPECT_LE(report.tracks[i].startFrame, middle) << "song " << i + 1;
        EXPECT_GE(report.tracks[i].endFrame, middle) << "song " << i + 1;
        if (i > 0) EXPECT_GE(report.tracks[i].startFrame, side.songs[i - 1].second) << i + 1;
        if (i + 1 < side.songs.size()) {
            EXPECT_LE(report.tracks[i].endFrame, side.songs[i + 1].first) << "song " << i + 1;
        }
    }
}

// Songs fading in from and out to -50 dBFS, each with a soft passage at -40 dBFS longer than a
// gap, on records of three kinds, and behind a digitally silent lead-in or the sound card's
// hiss: the defaults choose the level from the side's noise floor and keep every song whole. A
// 78's loud noise and rumble, clearly below the music, are cut above, in the gaps; with
// --tracks, a side whose noise is not clearly below the music is cut at its quietest long runs.
TEST_F(SplitRunTest, TheAutomaticLevelKeepsFadesAndSoftPassagesWhole) {
    const struct {
        const char* name;
        double noise;  // dBFS RMS, with crackle
        double zeros;  // seconds of digital silence (or of the sound card's hiss) first
        splittest::MoreNoise more;
        int32_t level;  // -1: not looked at
        SilenceFrom from;
        int32_t tracks;  // --tracks; 0: the gap rule
        bool whole;      // every song whole, its fades too; else each in its own track
        size_t warnings;
        const char* warned;  // in a warning
    } cases[] = {
        {"a quiet record", -60, 0, {}, 1, SilenceFrom::Floor, 0, true, 0, ""},
        {"a record", -54, 0, {}, 2, SilenceFrom::Floor, 0, true, 0, ""},
        {"a worn record: the highest automatic level", -48, 0, {}, 4, SilenceFrom::Floor, 0, true,
         0, ""},
        {"a digitally silent lead-in", -54, 3, {}, 2, SilenceFrom::Floor, 0, true, 0, ""},
        {"the sound card's hiss before the needle", -68, 3, {-86}, 0, SilenceFrom::Floor, 0, true,
         0, ""},
        {"a 78, its music clearly above the noise", -40, 0, {0, 0, -30}, 16, SilenceFrom::Floor, 0,
         false, 0, ""},
        // The engine hears the rumble: the level stays low, --tracks cuts above it.
        {"rumble, the music clearly above it", -60, 0, {0, -35, -25}, -1, SilenceFrom::Floor, 3,
         false, 2, "mostly rumble below 20 Hz"},
        // Too loud to be a floor between these songs: no runs at level 4, the quietest taken.
        {"--tracks, the noise too loud for a floor", -29, 0, {0, 0, -25}, -1,
         SilenceFrom::NoFloor, 3, false, 2, "no noise floor found"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const splittest::RecordedSide side =
            splittest::MakeRecordedSide(test.noise, 3, 10.0, test.zeros, test.more);
        ASSERT_TRUE(splittest::WritePcmWav(input_, kCaptureRate, 2, 16,
                                           splittest::SampleBytes(side.samples)));
        SplitSettings settings;  // the defaults: --silence auto
        settings.folder = splittest::Scratch("split_run_auto");
        settings.preview = inputFolder_ + "\\side.svg";
        settings.tracks = test.tracks;
        SplitReport report;
        ASSERT_EQ(RunSplit(settings, input_, false, report), kSplitDone) << report.problem;
        ASSERT_TRUE(report.silence.has_value());
        EXPECT_EQ(report.silence->from, test.from);
        if (test.level >= 0) EXPECT_EQ(report.silence->level, test.level);
        if (test.from == SilenceFrom::Floor) {  // with rumble, as heard
            const double heard = test.more.rumbleDbfs < 0 ? test.more.rumbleDbfs : test.noise;
            EXPECT_NEAR(report.silence->floor.db, heard, test.more.rumbleDbfs < 0 ? 2.0 : 1.0);
        }
        std::string warnings;
        for (const std::string& warning : report.warnings) warnings += warning + "\n";
        EXPECT_EQ(report.warnings.size(), test.warnings) << warnings;
        EXPECT_NE(warnings.find(test.warned), std::string::npos) << warnings;
        if (test.whole) {
            ExpectSongsWhole(report, side);
        } else {
            ExpectCutsInGaps(report, side);
        }
        // The picture draws the floor and says how the level was chosen.
        const std::vector<uint8_t> svg = splittest::ReadBytes(settings.preview);
        const std::string text(svg.begin(), svg.end());
        EXPECT_EQ(text.find("class=\"floor\"") != std::string::npos, report.silence->floor.found);
        EXPECT_NE(text.find(SilenceLevelText(*report.silence)), std::string::npos);

        if (test.noise != -54 || test.zeros > 0) continue;
        // The fixed level 4 cuts the fades of the same record short.
        SplitSettings fixed = InFolder(splittest::Scratch("split_run_fixed"));
        ASSERT_EQ(RunSplit(fixed, input_, false, report), kSplitDone) << report.problem;
        ASSERT_EQ(report.tracks.size(), side.songs.size());
        EXPECT_LT(report.tracks[0].endFrame, side.songs[0].second);
    }
}

// A side of one long song has no gap to take the noise from: the tool says so and cuts at the
// fixed level; a dry run and --stats name the level in dBFS, and a level given in dB is taken
// at the nearest step and printed back.
TEST_F(SplitRunTest, ASideWithoutAFloorIsCutAtTheFixedLevelAndSaysSo) {
    const splittest::RecordedSide side = splittest::MakeRecordedSide(-54, 1, 20.0);
    ASSERT_TRUE(splittest::WritePcmWav(input_, kCaptureRate, 2, 16,
                                       splittest::SampleBytes(side.samples)));
    const splittest::ToolRun run = splittest::RunTool(
        "--dry-run --stats -o " + splittest::Quote(folder_) + " " + splittest::Quote(input_));
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out.rfind("silence level 4 (-44.7 dBFS), the fixed default: no noise floor "
                            "found between sounds\n01  ",
                            0),
              0u)
        << run.out;
    EXPECT_NE(run.err.find("grooval-split: warning: no noise floor found between the side's "
                           "sounds (is it all music?): cut at the fixed silence level 4 "
                           "(-44.7 dBFS)\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("grooval-split: stats: silence level 4 (-44.7 dBFS), the fixed"),
              std::string::npos)
        << run.err;

    const splittest::ToolRun given = splittest::RunTool(
        "-s -48dB -o " + splittest::Quote(folder_) + " " + splittest::Quote(input_));
    ASSERT_EQ(given.exitCode, 0u) << given.err;
    EXPECT_EQ(given.out.rfind("silence level 2 (-49.1 dBFS), the step nearest -48.0 dBFS\n", 0),
              0u)
        << given.out;
    EXPECT_EQ(given.err, "");
}

// A mono input is cut as its stereo (the same samples on both channels), and its tracks hold
// the input's own mono frames.
TEST_F(SplitRunTest, AMonoInputIsCutAsStereoAndKeptMono) {
    std::vector<int16_t> mono;
    for (size_t i = 0; i < samples_.size(); i += 2)
        mono.push_back(samples_[i]);
    const std::string input = inputFolder_ + "\\mono.wav";
    const std::vector<uint8_t> data = splittest::SampleBytes(mono);
    ASSERT_TRUE(splittest::WritePcmWav(input, kCaptureRate, 1, 16, data));
    SplitReport report;
    ASSERT_EQ(RunSplit(InFolder(folder_), input, false, report), kSplitDone) << report.problem;
    ASSERT_NO_FATAL_FAILURE(CheckTracks(report, {{"tmp0001.wav", At(4), At(47)},
                         {"tmp0002.wav", At(74), At(110)},
                         {"tmp0003.wav", At(169), At(200) + kTailFrames}}, &data, 2));
    const std::vector<uint8_t> file = splittest::ReadBytes(folder_ + "\\tmp0001.wav");
    ASSERT_GT(file.size(), 36u);
    EXPECT_EQ(file[20] | file[21] << 8, 1) << "PCM";
    EXPECT_EQ(file[22] | file[23] << 8, 1) << "one channel";
    EXPECT_EQ(report.samples, "the input's own PCM 16-bit, 1 channel");
}

// Float and wide PCM need no codec: made 16-bit in the tool, each splits as the 16-bit side,
// and the tracks keep the input's own samples; --bits 16 makes a 16-bit copy.
TEST_F(SplitRunTest, FloatAndWidePcmSplitAsTheSixteenBitSideAndKeepTheirSamples) {
    const struct {
        const char* name;
        uint16_t tag;
        int bits;
        int32_t trackBits;  // --bits; 0: the input's own
    } formats[] = {{"float", 3, 32, 0},   {"double", 3, 64, 0},  {"pcm24-", 1, 24, 0},
                   {"pcm32-", 1, 32, 0}, {"pcm8-", 1, 8, 0},    {"narrow", 1, 24, 16}};
    for (const auto& format : formats) {
        SCOPED_TRACE(format.name);
        std::vector<uint8_t> data;
        for (const int16_t sample : samples_) {
            // Eight bits keep the high byte (the quiet blocks' noise becomes silence).
            const int16_t value = format.bits == 8 ? int16_t(sample / 256 * 256) : sample;
            const float single = value / 32768.0f;
            const double twice = value / 32768.0;
            const uint32_t wide = format.bits == 8 ? uint32_t((value >> 8) + 128)
                                                   : uint32_t(int32_t(value) * (1 << (format.bits - 16)));
            const void* sampleBytes = format.tag == 1      ? static_cast<const void*>(&wide)
                                      : format.bits == 32 ? static_cast<const void*>(&single)
                                                          : &twice;
            const uint8_t* bytes = static_cast<const uint8_t*>(sampleBytes);  // little-endian
            data.insert(data.end(), bytes, bytes + format.bits / 8);
        }
        const std::string input = inputFolder_ + "\\" + format.name + ".wav";
        ASSERT_TRUE(splittest::WritePcmWav(input, kCaptureRate, 2, format.bits, data, format.tag));
        SplitSettings settings = InFolder(folder_);
        settings.prefix = format.name;
        settings.bits = format.trackBits;
        SplitReport report;
        ASSERT_EQ(RunSplit(settings, input, false, report), kSplitDone) << report.problem;
        const std::string prefix = format.name;
        const std::vector<Expected> tracks = {{prefix + "0001.wav", At(4), At(47)},
                                              {prefix + "0002.wav", At(74), At(110)},
                                              {prefix + "0003.wav", At(169), At(200) + kTailFrames}};
        if (format.trackBits == 0) {
            ASSERT_NO_FATAL_FAILURE(CheckTracks(report, tracks, &data, uint32_t(format.bits / 4)));
            continue;
        }
        // Exact 16-bit steps in 24 bits: the copy is the 16-bit side, with no noise added.
        ASSERT_NO_FATAL_FAILURE(CheckTracks(report, tracks));
        EXPECT_EQ(report.samples,
                  "PCM 16-bit, 2 channels from the input's PCM 24-bit, 2 channels, with TPDF dither");
    }
}

// --stats says what the tracks are written in, not only what they are made from.
TEST_F(SplitRunTest, TheStatsNameWhatTheTracksAreWrittenIn) {
    std::vector<uint8_t> data;
    for (const int16_t sample : samples_) {
        data.insert(data.end(), {0, uint8_t(sample), uint8_t(sample >> 8)});
    }
    const std::string input = inputFolder_ + "\\pcm24.wav";
    ASSERT_TRUE(splittest::WritePcmWav(input, kCaptureRate, 2, 24, data));
    const struct {
        const char* format;
        const char* samples;  // its start
    } cases[] = {
        {"pcm", "the input's own PCM 24-bit, 2 channels"},
        {"flac", "the input's own PCM 24-bit, 2 channels"},
        {"mp3", "MP3 from the input's own PCM 24-bit, 2 channels"},
        {"ima-adpcm", "format 0x0011, 2 channels, 44100 Hz, made from PCM 16-bit, 2 channels"},
    };
    for (const auto& test : cases) {
        SplitSettings settings = InFolder(splittest::Scratch("split_run_stats"));
        settings.formatName = test.format;
        std::string problem;
        ParseEncoderFormat(test.format, settings.encoder, problem);
        settings.dryRun = true;
        SplitReport report;
        ASSERT_EQ(RunSplit(settings, input, false, report), kSplitDone) << report.problem;
        EXPECT_EQ(report.samples.rfind(test.samples, 0), 0u) << report.samples;
        EXPECT_EQ(report.trackRate, kCaptureRate) << test.format;
    }
}

// Sides at the rates the codec manager will not copy PCM at are written as they are; so are
// the 16-bit stereo tracks of --declick.
TEST_F(SplitRunTest, HighRatesAreSplitWithoutTheCodecManager) {
    Side side;
    side.Silence(20).Song(120).Silence(60);
    const std::vector<uint8_t> data = splittest::SampleBytes(side.Samples());
    const struct {
        uint32_t rate;
        int32_t declick;
    } cases[] = {{88200, 0}, {176400, 0}, {192000, 0}, {192000, kDeclickDefaultLevel}};
    for (const auto& test : cases) {
        SCOPED_TRACE(std::to_string(test.rate) + (test.declick ? " with --declick" : ""));
        const std::string input = inputFolder_ + "\\high.wav";
        ASSERT_TRUE(splittest::WritePcmWav(input, int(test.rate), 2, 16, data));
        folder_ = splittest::Scratch("split_run_high");
        SplitSettings settings = InFolder(folder_);
        settings.declick = test.declick;
        SplitReport report;
        ASSERT_EQ(RunSplit(settings, input, false, report), kSplitDone) << report.problem;
        ASSERT_EQ(report.tracks.size(), 1u);
        const uint64_t start = report.tracks[0].startFrame, end = report.tracks[0].endFrame;
        ASSERT_NO_FATAL_FAILURE(CheckTracks(report, {{"tmp0001.wav", start, end}}, &data));
        const std::vector<uint8_t> track = splittest::ReadBytes(folder_ + "\\tmp0001.wav");
        EXPECT_EQ(uint32_t(track[24] | track[25] << 8 | track[26] << 16), test.rate);
    }
}

// An extensible input's speakers stay those of its tracks, however unusual.
TEST_F(SplitRunTest, TheTracksKeepTheInputsSpeakers) {
    const struct {
        uint16_t channels;
        uint16_t bits;
        uint32_t mask;
    } cases[] = {{2, 24, 0x60}, {6, 16, 0x60F}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.mask);
        std::vector<uint8_t> data;  // the side on the first two channels, the rest silent
        for (size_t i = 0; i < samples_.size(); i += 2) {
            for (uint16_t channel = 0; channel < test.channels; ++channel) {
                const int32_t value = channel < 2 ? samples_[i + channel] : 0;
                if (test.bits == 24) data.push_back(0);
                data.push_back(uint8_t(value));
                data.push_back(uint8_t(value >> 8));
            }
        }
        FormatBuffer format;
        ASSERT_TRUE(MakeSampleFormat(format, kCaptureRate, test.channels, test.bits, false,
                                     test.mask));
        const std::string input = inputFolder_ + "\\speakers.wav";
        ASSERT_TRUE(splittest::WriteWav(
            input, std::vector<uint8_t>(format.Bytes(), format.Bytes() + format.Size()), data));
        folder_ = splittest::Scratch("split_run_speakers");
        SplitReport report;
        ASSERT_EQ(RunSplit(InFolder(folder_), input, false, report), kSplitDone)
            << report.problem;
        ASSERT_EQ(report.tracks.size(), 3u);
        WaveReader track;
        ASSERT_TRUE(track.Open((folder_ + "\\tmp0001.wav").c_str())) << track.Problem();
        EXPECT_EQ(track.Format()->nChannels, test.channels);
        EXPECT_EQ(track.ChannelMask(), test.mask);
    }
}

// A side that yields no track says why, with the exit code of fewer tracks than asked for, and
// writes nothing.
TEST_F(SplitRunTest, ASideThatYieldsNothingSaysWhy) {
    Side noise;
    noise.Silence(40);
    Side blip;
    blip.Silence(3).Song(2).Silence(3);
    const splittest::Block loud = splittest::LoudBlock(1);
    const struct {
        const char* name;
        std::vector<int16_t> samples;
        const char* problem;
    } cases[] = {
        {"digital silence", std::vector<int16_t>(40 * kCaptureBlockFrames * 2, 0),
         "the side is digital silence: nothing recorded?; nothing was written"},
        {"an empty data chunk", {}, "the input holds no samples; nothing was written"},
        {"a sound shorter than the minimum", blip.Samples(),
         "1 track shorter than the minimum (2.00 s) was not kept (see --min); nothing was "
         "written"},
        {"0.05 s of sound", std::vector<int16_t>(loud.begin(), loud.begin() + 2205 * 2),
         "1 track shorter than the minimum (2.00 s) was not kept (see --min); nothing was "
         "written"},
        {"only noise below the level", noise.Samples(),
         "no sound above silence level 4 (-44.7 dBFS) (see --silence); nothing was written"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        ASSERT_TRUE(splittest::WritePcmWav(input_, kCaptureRate, 2, 16,
                                           splittest::SampleBytes(test.samples)));
        folder_ = splittest::Scratch("split_run_nothing");
        SplitReport report;
        EXPECT_EQ(RunSplit(InFolder(folder_), input_, true, report), kSplitFewerTracks);
        EXPECT_EQ(report.problem, input_ + ": " + test.problem);
        EXPECT_TRUE(splittest::FilesIn(folder_).empty());
    }
}

// A codec block that cannot be decoded is named with its place and left out; the frames after
// it keep their places in the input, and the run ends with "input damaged". The MS ADPCM side
// is made by hand (Wine has no encoder for it, but its decoder checks each block's header):
// 2 silent codec blocks, 120 that hold a constant 20000, 20 silent ones.
TEST_F(SplitRunTest, ABlockTheCodecRefusesIsReportedAndLaterTimesKeepTheirPlace) {
    WAVEFORMATEX pcm = {WAVE_FORMAT_PCM, 2, kCaptureRate, kCaptureRate * 4, 4, 16, 0};
    std::vector<uint8_t> format(256);
    auto* adpcm = reinterpret_cast<ADPCMWAVEFORMAT*>(format.data());
    adpcm->wfx = {WAVE_FORMAT_ADPCM, 2, kCaptureRate, 0, 0, 0, 0};
    ASSERT_EQ(acmFormatSuggest(nullptr, &pcm, &adpcm->wfx, DWORD(format.size()),
                               ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS |
                                   ACM_FORMATSUGGESTF_NSAMPLESPERSEC),
              MMSYSERR_NOERROR);
    const uint32_t align = adpcm->wfx.nBlockAlign;
    const uint64_t framesPerBlock = adpcm->wSamplesPerBlock;
    format.resize(sizeof(WAVEFORMATEX) + adpcm->wfx.cbSize);
    // Per channel: predictor index 0, delta 16, the first two samples; then nibbles of 0.
    std::vector<uint8_t> data(142 * align, 0);
    for (uint32_t block = 0; block < 142; ++block) {
        uint8_t* bytes = &data[block * align];
        const int16_t value = block >= 2 && block < 122 ? 20000 : 0;
        bytes[2] = bytes[4] = 16;
        for (int at = 6; at < 14; ++at) bytes[at] = uint8_t(value >> (at % 2) * 8);
    }
    const std::string whole = inputFolder_ + "\\whole.wav";
    ASSERT_TRUE(splittest::WriteWav(whole, format, data));
    const std::string wholeOut = splittest::Scratch("split_damage_whole");
    SplitReport reference;
    ASSERT_EQ(RunSplit(InFolder(wholeOut), whole, false, reference), kSplitDone)
        << reference.problem;
    ASSERT_EQ(reference.tracks.size(), 1u);

    // Block 40, in the second group of 32 converted at once, gets predictors no decoder has.
    data[40 * align] = data[40 * align + 1] = 0xFF;
    const std::string damaged = inputFolder_ + "\\damaged.wav";
    ASSERT_TRUE(splittest::WriteWav(damaged, format, data));
    SplitReport report;
    EXPECT_EQ(RunSplit(InFolder(folder_), damaged, false, report), kSplitInputDamaged);
    ASSERT_EQ(report.tracks.size(), 1u);
    EXPECT_EQ(report.tracks[0].startFrame, reference.tracks[0].startFrame);
    EXPECT_EQ(report.tracks[0].endFrame, reference.tracks[0].endFrame);
    ASSERT_EQ(report.warnings.size(), 1u);
    const std::string& warning = report.warnings[0];
    EXPECT_EQ(warning.find(damaged + ": the codec cannot decode the samples at "), 0u) << warning;
    EXPECT_NE(warning.find("(in bytes " + std::to_string(32 * align) + " to " +
                           std::to_string(64 * align - 1) + " of the data)"),
              std::string::npos)
        << warning;
    // The track is as long in the input as before, but misses the rest of the group.
    const size_t kept = splittest::TrackData(folder_ + "\\tmp0001.wav").size();
    const size_t all = splittest::TrackData(wholeOut + "\\tmp0001.wav").size();
    EXPECT_LT(kept, all);
    EXPECT_GE(kept + 24 * framesPerBlock * 4, all);

    // Behind the declicker's delay the gap comes later to the feeder, in the same place.
    SplitSettings declicked = InFolder(splittest::Scratch("split_damage_declick"));
    declicked.declick = kDeclickDefaultLevel;
    EXPECT_EQ(RunSplit(declicked, damaged, false, report), kSplitInputDamaged);
    ASSERT_EQ(report.tracks.size(), 1u);
    EXPECT_EQ(report.tracks[0].endFrame, reference.tracks[0].endFrame);

    // --tracks measures the side first, its blocks cut at the dropped passage as the split's
    // are: the planned cut is where the gap rule cuts. Two songs, codec blocks 2-61 and
    // 112-171 of 230; block 3 refused, which leaves the feeder a block of 228 frames, and
    // block 140 in the second song, which keeps its place.
    std::vector<uint8_t> two(230 * align, 0);
    for (uint32_t block = 0; block < 230; ++block) {
        uint8_t* bytes = &two[block * align];
        const bool loud = (block >= 2 && block < 62) || (block >= 112 && block < 172);
        bytes[2] = bytes[4] = 16;
        for (int at = 6; at < 14; ++at) bytes[at] = loud ? uint8_t(20000 >> (at % 2) * 8) : 0;
    }
    const std::string songs = inputFolder_ + "\\two songs.wav";
    ASSERT_TRUE(splittest::WriteWav(songs, format, two));
    SplitReport clean;
    ASSERT_EQ(RunSplit(InFolder(splittest::Scratch("split_damage_clean")), songs, false, clean),
              kSplitDone);
    ASSERT_EQ(clean.tracks.size(), 2u);
    two[3 * align] = two[3 * align + 1] = 0xFF;
    two[140 * align] = two[140 * align + 1] = 0xFF;
    ASSERT_TRUE(splittest::WriteWav(songs, format, two));
    SplitReport byGap, byCount;
    EXPECT_EQ(RunSplit(InFolder(splittest::Scratch("split_damage_gap")), songs, false, byGap),
              kSplitInputDamaged);
    SplitSettings counted = InFolder(splittest::Scratch("split_damage_count"));
    counted.tracks = 2;
    EXPECT_EQ(RunSplit(counted, songs, false, byCount), kSplitInputDamaged);
    ASSERT_EQ(byGap.tracks.size(), 2u);
    ASSERT_EQ(byCount.tracks.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(byCount.tracks[i].startFrame, byGap.tracks[i].startFrame) << i;
        EXPECT_EQ(byCount.tracks[i].endFrame, byGap.tracks[i].endFrame) << i;
    }
    // Within the block a cut at a dropped passage shifts the later blocks by.
    EXPECT_NEAR(double(byGap.tracks[1].startFrame), double(clean.tracks[1].startFrame),
                kCaptureBlockFrames);
    EXPECT_NEAR(double(byGap.tracks[1].endFrame), double(clean.tracks[1].endFrame),
                kCaptureBlockFrames);
    EXPECT_EQ(byCount.warnings.size(), 2u);  // the measuring pass does not repeat them
}

TEST_F(SplitRunTest, ACodecTrackCanBeSplitAgain) {
    // Tracks written as IMA ADPCM are an input in a codec format.
    SplitSettings settings = InFolder(folder_);
    settings.formatName = "ima-adpcm";
    SplitReport encoded;
    ASSERT_EQ(RunSplit(settings, input_, false, encoded), kSplitDone) << encoded.problem;
    ASSERT_EQ(encoded.tracks.size(), 3u);

    const std::string again = splittest::Scratch("split_run_again");
    SplitReport report;
    ASSERT_EQ(RunSplit(InFolder(again), folder_ + "\\tmp0001.wav", true, report), kSplitDone)
        << report.problem;
    ASSERT_EQ(report.tracks.size(), 1u);
    // The track's own held block is held again, so the track is the whole file: the first
    // track's 43 blocks, give or take the codec's last block of 2041 frames.
    EXPECT_EQ(report.tracks[0].startFrame, 0u);
    const uint64_t frames = report.tracks[0].endFrame;
    EXPECT_LE(frames, At(43) + 2041);
    EXPECT_GE(frames + 2041, At(43));
    EXPECT_EQ(splittest::FilesIn(again),
              (std::vector<std::string>{"tmp0001-0001.cue", "tmp0001.wav"}));
}

TEST_F(SplitRunTest, AnUnknownOutputFormatIsAUsageErrorAndWritesNothing) {
    SplitSettings settings = InFolder(folder_);
    settings.formatName = "no such codec";
    SplitReport report;
    EXPECT_EQ(RunSplit(settings, input_, true, report), kSplitUsage);
    EXPECT_NE(report.problem.find("no such codec"), std::string::npos) << report.problem;
    EXPECT_TRUE(splittest::FilesIn(folder_).empty());

    // A stored format no codec here makes: PCM, as the recorder writes, at the input's rate.
    const std::string input = inputFolder_ + "\\96k.wav";
    ASSERT_TRUE(splittest::WritePcmWav(input, 96000, 2, 16, splittest::SampleBytes(samples_)));
    settings.formatName.clear();
    settings.storedFormat = FormatBuffer(kFormatHeaderBytes);
    MakePcmFormat(settings.storedFormat.Get(), kCaptureRate);
    settings.storedFormat.Get()->wFormatTag = 0x7777;
    ASSERT_EQ(RunSplit(settings, input, false, report), kSplitDone) << report.problem;
    EXPECT_EQ(report.warnings, std::vector<std::string>{"the stored output format cannot be "
                                                        "made here; writing PCM 16-bit, 2 "
                                                        "channels, 96000 Hz"});
    const std::vector<uint8_t> track = splittest::ReadBytes(folder_ + "\\tmp0001.wav");
    ASSERT_GE(track.size(), 28u);
    EXPECT_EQ(track[24] | track[25] << 8 | track[26] << 16, 96000);  // the fmt chunk's rate
}

// --bits asks for tracks of a depth: refused, before anything is written, where they have
// none to choose.
TEST_F(SplitRunTest, BitsTheTracksCannotHaveAreAUsageError) {
    const struct {
        const char* format;
        int32_t declick;
        int32_t bits;
        const char* message;
    } cases[] = {
        {"mp3", 0, 16, "--bits is for WAV and FLAC tracks: MP3 has no bit depth"},
        {"pcm", kDeclickDefaultLevel, 24, "--bits 24: these tracks are 16-bit stereo (--declick"},
        {"ima-adpcm", 0, 24, "--bits 24: these tracks are 16-bit stereo (a codec format"},
    };
    for (const auto& test : cases) {
        SplitSettings settings = InFolder(folder_);
        settings.formatName = test.format;
        std::string problem;
        ParseEncoderFormat(test.format, settings.encoder, problem);
        settings.declick = test.declick;
        settings.bits = test.bits;
        SplitReport report;
        EXPECT_EQ(RunSplit(settings, input_, true, report), kSplitUsage) << test.format;
        EXPECT_EQ(report.problem.find(test.message), 0u) << report.problem;
        EXPECT_TRUE(splittest::FilesIn(folder_).empty()) << test.format;
    }
}

TEST_F(SplitRunTest, TrackNamesThatWouldNotFitAreRefusedBeforeSplitting) {
    // folder + "\" + prefix + "0001.wav": 260 characters do not fit the name buffer.
    SplitSettings settings = InFolder(folder_);
    settings.prefix = std::string(260 - 9 - folder_.size(), 'p');
    SplitReport report;
    EXPECT_EQ(RunSplit(settings, input_, false, report), kSplitOutputFailed);
    EXPECT_NE(report.problem.find("longer than 259 characters"), std::string::npos)
        << report.problem;
    EXPECT_TRUE(splittest::FilesIn(folder_).empty());

    settings.prefix.pop_back();  // 259 do, but not the cue sheet's longer name
    EXPECT_EQ(RunSplit(settings, input_, true, report), kSplitOutputFailed);
    EXPECT_NE(report.problem.find("the cue sheet's name"), std::string::npos) << report.problem;
    EXPECT_TRUE(splittest::FilesIn(folder_).empty());
    ASSERT_EQ(RunSplit(settings, input_, false, report), kSplitDone) << report.problem;
    ASSERT_EQ(report.tracks.size(), 3u);
    EXPECT_EQ(report.tracks[0].file, settings.prefix + "0001.wav");
    EXPECT_EQ(folder_.size() + 1 + report.tracks[0].file.size(), 259u);
}

// Reads of the input that fail once `readsLeft` are done, as on a drive that goes away.
int readsLeft = 0;
BOOL WINAPI ReadUntilTheDriveGoes(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read,
                                  LPOVERLAPPED overlapped) {
    if (readsLeft-- <= 0) {
        SetLastError(ERROR_DEV_NOT_EXIST);
        return FALSE;
    }
    return ReadFile(file, buffer, count, read, overlapped);
}

// What can refuse a run is refused before the first track file exists; what goes wrong later
// leaves the tracks written, under free names, and the cue sheet of them.
TEST_F(SplitRunTest, ARunIsRefusedBeforeItsFirstTrackOrEndsWithItsCueSheet) {
    const std::string titles = inputFolder_ + "\\titles.txt";
    ASSERT_TRUE(splittest::WriteBytes(titles, {'A', '\n', 'B', '\n', 'C', '\n'}));
    const std::string svg = "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>";
    const auto withTitles = [&](SplitSettings& s) { s.titlesFile = titles; };
    const struct {
        const char* name;
        std::function<void(SplitSettings&)> change;
        int reads;  // of the input before it fails; 0: it does not
        bool again;  // run twice into the folder; the second run is checked
        SplitExit code;
        const char* problem;  // a part of it; empty when done
        std::vector<std::string> files;  // in the folder afterwards
    } cases[] = {
        {"titles after a prefix that names a device",
         [&](SplitSettings& s) { s.titlesFile = titles, s.prefix = "CON."; }, 0, false,
         kSplitDone, "",
         {"CON_.0001-0003.cue", "CON_.01 A.wav", "CON_.02 B.wav", "CON_.03 C.wav"}},
        {"numbered names that would be a device's", [](SplitSettings& s) { s.prefix = "nul."; },
         0, false, kSplitUsage, "the prefix \"nul.\" makes \"nul.0001\" a device's name", {}},
        {"a preview in a folder that does not exist",
         [](SplitSettings& s) { s.preview = s.folder + "\\no such\\side.svg"; }, 0, false,
         kSplitOutputFailed, "side.svg: the preview cannot be created (Windows error 3", {}},
        {"a preview named as a file that is not a picture",
         [&](SplitSettings& s) { s.preview = titles; }, 0, false, kSplitOutputFailed,
         "titles.txt: not an SVG picture; the preview does not replace it", {}},
        {"a preview replacing an older one",
         [&](SplitSettings& s) {
             s.preview = s.folder + "\\side.svg";
             splittest::WriteBytes(s.preview, std::vector<uint8_t>(svg.begin(), svg.end()));
         },
         0, false, kSplitDone, "", {"0001-0003.cue", "0001.wav", "0002.wav", "0003.wav",
                                    "side.svg"}},
        {"a second titled side into the same folder", withTitles, 0, true, kSplitDone, "",
         {"0001-0003 (2).cue", "0001-0003.cue", "01 A (2).wav", "01 A.wav", "02 B (2).wav",
          "02 B.wav", "03 C (2).wav", "03 C.wav"}},
        // Read 16 blocks at a time: the first track is done, the second open at block 96.
        {"the input failing part-way", withTitles, 6, false, kSplitInputFailed,
         "side a.wav: reading failed part-way: read error (",
         {"0001-0002.cue", "01 A.wav", "02 B.wav"}},
        {"the input failing while it is measured", [](SplitSettings& s) { s.tracks = 3; }, 6,
         false, kSplitInputRejected, "; nothing was written", {}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string folder = splittest::Scratch("split_run_refusals");
        SplitSettings settings = InFolder(folder);
        settings.prefix.clear();
        test.change(settings);
        WaveReadApi reads;
        if (test.reads > 0) reads.readFile = &ReadUntilTheDriveGoes;
        readsLeft = test.reads;
        SplitReport report;
        if (test.again) {
            ASSERT_EQ(RunSplit(settings, input_, true, report), kSplitDone) << report.problem;
        }
        EXPECT_EQ(RunSplit(settings, input_, true, report, nullptr, nullptr, reads), test.code)
            << report.problem;
        EXPECT_NE(report.problem.find(test.problem), std::string::npos) << report.problem;
        EXPECT_EQ(splittest::FilesIn(folder), test.files);
        if (test.code != kSplitInputFailed) continue;
        // The finished tracks are listed with their titles.
        const std::vector<uint8_t> cue = splittest::ReadBytes(folder + "\\" + test.files[0]);
        EXPECT_NE(std::string(cue.begin(), cue.end()).find("TITLE \"B\""), std::string::npos);
    }
    EXPECT_EQ(splittest::ReadBytes(titles),
              (std::vector<uint8_t>{'A', '\n', 'B', '\n', 'C', '\n'}));  // never replaced
}

// Interrupts the run, by `interrupt`, once a third of the input has been read.
class InterruptingProgress : public SplitProgress {
public:
    explicit InterruptingProgress(std::function<void()> interrupt)
        : interrupt_(std::move(interrupt)) {}
    void Begin(double totalSeconds) override { total = totalSeconds; }
    void Update(double fraction, double) override {
        if (fraction > 0.3 && interrupt_) std::exchange(interrupt_, nullptr)();
        ++updates;
    }
    void Done() override { done = true; }
    double total = 0;
    int updates = 0;
    bool done = false;

private:
    std::function<void()> interrupt_;
};

TEST_F(SplitRunTest, AnInterruptedRunFinishesTheOpenTrack) {
    // One long song: the interruption falls inside it.
    Side side;
    side.Silence(2).Song(300);
    const std::string input = inputFolder_ + "\\long.wav";
    ASSERT_TRUE(
        splittest::WritePcmWav(input, kCaptureRate, 2, 16, splittest::SampleBytes(side.Samples())));
    std::atomic<bool> interrupted{false};
    InterruptingProgress progress([&] { interrupted = true; });
    SplitReport report;
    EXPECT_EQ(RunSplit(InFolder(folder_), input, true, report, &progress, &interrupted),
              kSplitInterrupted);
    EXPECT_NEAR(progress.total, 302 * 5880 / 44100.0, 0.01);
    EXPECT_TRUE(progress.done);
    ASSERT_EQ(report.tracks.size(), 1u);
    EXPECT_GT(report.blocks, 80);
    EXPECT_LT(report.blocks, 302);
    // Finished with every block fed: the file's header is complete.
    const std::vector<uint8_t> data = splittest::TrackData(folder_ + "\\tmp0001.wav");
    EXPECT_EQ(data.size(), (report.tracks[0].endFrame - report.tracks[0].startFrame) * 4);
    EXPECT_EQ(report.tracks[0].endFrame, At(report.blocks));
    // The cue sheet lists the finished track.
    EXPECT_EQ(splittest::FilesIn(folder_),
              (std::vector<std::string>{"tmp0001-0001.cue", "tmp0001.wav"}));
}

// Closing the console ends the process when the handler returns: the handler asks the split to
// stop and returns only once the open track and the cue sheet are finished.
TEST_F(SplitRunTest, ClosingTheConsoleWaitsUntilTheOpenTrackIsFinished) {
    Side side;
    side.Silence(2).Song(300);
    const std::string input = inputFolder_ + "\\long.wav";
    ASSERT_TRUE(
        splittest::WritePcmWav(input, kCaptureRate, 2, 16, splittest::SampleBytes(side.Samples())));
    SplitInterrupt interrupt;
    std::atomic<bool> handled{false}, returned{false};
    std::thread closer;
    InterruptingProgress progress([&] {
        closer = std::thread([&] {
            handled = interrupt.OnConsoleEvent(CTRL_CLOSE_EVENT);
            returned = true;
        });
        const DWORD start = GetTickCount();
        while (!interrupt.Requested() && GetTickCount() - start < 10000) Sleep(1);
    });
    SplitReport report;
    EXPECT_EQ(RunSplit(InFolder(folder_), input, true, report, &progress, &interrupt.Requested()),
              kSplitInterrupted);
    EXPECT_FALSE(returned) << "the process would have ended with the track open";
    interrupt.Finished();
    closer.join();
    EXPECT_TRUE(handled);
    EXPECT_EQ(splittest::FilesIn(folder_),
              (std::vector<std::string>{"tmp0001-0001.cue", "tmp0001.wav"}));
}

// A cue sheet numbers tracks in two digits: it lists the first 99, is named by them, and the
// run says which tracks it leaves out.
TEST(SplitCueTest, ACueSheetListsNinetyNineTracksAndSaysSo) {
    const std::string folder = splittest::Scratch("split_cue_many");
    Side side;
    for (int i = 0; i < 101; ++i) side.Song(3).Silence(8);
    const std::string input = folder + "\\many.wav";
    ASSERT_TRUE(
        splittest::WritePcmWav(input, kCaptureRate, 2, 16, splittest::SampleBytes(side.Samples())));
    SplitSettings settings;
    settings.folder = folder;
    settings.gap = 7;
    settings.minimum = 3;
    SplitReport report;
    ASSERT_EQ(RunSplit(settings, input, true, report), kSplitDone) << report.problem;
    ASSERT_EQ(report.tracks.size(), 101u);
    EXPECT_EQ(report.cuePath, folder + "\\tmp0001-0099.cue");
    EXPECT_EQ(report.warnings,
              std::vector<std::string>{
                  "a cue sheet holds 99 tracks: tmp0100.wav to tmp0101.wav are not in it"});
}

TEST(SplitFlowTest, TheEnginesPoolStaysSmallOnALongInput) {
    const std::string folder = splittest::Scratch("split_flow");
    Side side;
    side.Silence(1).Song(1500);  // 3.3 minutes in one track
    const std::string input = folder + "\\long.wav";
    ASSERT_TRUE(
        splittest::WritePcmWav(input, kCaptureRate, 2, 16, splittest::SampleBytes(side.Samples())));
    SplitSettings settings;
    settings.folder = folder;
    settings.gap = 7;
    SplitReport report;
    ASSERT_EQ(RunSplit(settings, input, false, report), kSplitDone) << report.problem;
    EXPECT_EQ(report.blocks, 1501);
    ASSERT_EQ(report.tracks.size(), 1u);
    // The write delay, the reader's lead, the held block and the ones in hand: not 1501.
    EXPECT_LE(report.buffersCreated, settings.gap + kSplitQueuedBlocks + 4);
}

}  // namespace
