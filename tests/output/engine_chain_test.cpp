// The track engine driving real output chains: the files on disk hold exactly the blocks that
// belong to each track, short tracks disappear and give their numbers to the next ones, and a
// disk that fills up keeps what reached it.
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/stream_format.h"
#include "engine/track_engine.h"
#include "output/format_record.h"
#include "output/output_chain.h"
#include "output/pass_through_writer.h"
#include "output/wave_file.h"
#include "output/wave_file_writer.h"
#include "tests/output/wave_test_util.h"
#include "tests/support/bench_audio.h"
#include "tests/support/engine_feed.h"

namespace {

constexpr int32_t kGapBlocks = 3;      // a track ends after 4 silent blocks
constexpr int32_t kDiscardBlocks = 5;  // tracks of fewer blocks are removed
constexpr double kPi = 3.14159265358979323846;

using Block = std::vector<int16_t>;
using outtest::Pcm;

// Every block differs, so a misplaced block shows in the comparison.
Block Silent(int index) {
    Block block(kCaptureBlockValues);
    uint32_t state = 977u * uint32_t(index + 1);
    for (int16_t& value : block) {
        state = state * 1664525u + 1013904223u;
        value = int16_t(int32_t(state >> 29) - 4);  // -4..3: level 0
    }
    return block;
}

Block Loud(int index) {
    Block block(kCaptureBlockValues);
    for (int32_t frame = 0; frame < kCaptureBlockFrames; ++frame) {
        const double t = (frame + index * kCaptureBlockFrames) / double(kCaptureRate);
        block[size_t(frame) * 2] = int16_t(8000 * std::sin(2 * kPi * (300 + 10 * index) * t));
        block[size_t(frame) * 2 + 1] = int16_t(6000 * std::sin(2 * kPi * 500 * t) + index);
    }
    return block;
}

struct Script {
    std::vector<Block> fed;
    std::vector<std::vector<size_t>> tracks;  // indexes into `fed` of each track's blocks
};

// Three passages: five loud blocks, one loud block (too short), three loud blocks. Each track
// holds the silent block before its sound and, live mode being off, two silent blocks after.
Script MakeScript(std::vector<int> passages = {5, 1, 3}) {
    Script script;
    int silent = 0, loud = 0;
    auto add = [&](const Block& block) {
        script.fed.push_back(block);
        return script.fed.size() - 1;
    };
    add(Silent(silent++));
    for (int loudBlocks : passages) {
        std::vector<size_t> track;
        track.push_back(add(Silent(silent++)));
        for (int i = 0; i < loudBlocks; ++i) track.push_back(add(Loud(loud++)));
        for (int i = 0; i <= kGapBlocks; ++i) {
            const size_t index = add(Silent(silent++));
            if (i < 2) track.push_back(index);
        }
        script.tracks.push_back(track);
    }
    return script;
}

// Runs an engine with the chain over the script, to the end of its worker; `status` receives
// the status text it shows at the end.
void RunEngine(std::unique_ptr<OutputSink> chain, const std::string& pattern, const Script& script,
               int32_t discardBlocks = kDiscardBlocks, std::string* status = nullptr,
               uint32_t headerUpdateBytes = 0) {
    TrackEngine engine(bench::kNoKeyboard);
    ASSERT_EQ(chain->Prepare(kCaptureBlockBytes), 0);
    engine.blockBytes = kCaptureBlockBytes;
    engine.headerUpdateBytes = headerUpdateBytes;
    engine.gapBlocks = kGapBlocks;
    engine.discardBlocks = discardBlocks;
    ASSERT_TRUE(bench::StartArmed(engine, chain.release(), pattern));
    // Fed all at once: the pool grows to hold the whole script.
    const int32_t count = int32_t(script.fed.size());
    ASSERT_EQ(bench::FeedBlocks(engine, count, count, 20000,
                                [&](int32_t i) -> const Block& { return script.fed[size_t(i)]; }),
              bench::FeedFault::kNone);
    while (engine.ProcessedBlocks() < count) {
        ASSERT_EQ(WaitForSingleObject(engine.DrainedEvent(), 20000), WAIT_OBJECT_0) << "worker stalled";
    }
    engine.StopAndWait();
    char text[kSinkMessageBytes] = "";
    engine.SinkStatus(text);
    if (status) *status = text;
}

std::vector<uint8_t> Bytes(const Script& script, const std::vector<size_t>& blocks) {
    std::vector<uint8_t> bytes;
    for (size_t index : blocks) {
        const auto* first = reinterpret_cast<const uint8_t*>(script.fed[index].data());
        bytes.insert(bytes.end(), first, first + kCaptureBlockBytes);
    }
    return bytes;
}

TEST(EngineWithChain, PcmTracksHoldExactlyTheirBlocks) {
    const std::string dir = bench::WindowsPath(bench::ScratchDir("engine_pcm"));
    const Script script = MakeScript();
    FormatBuffer chosen = Pcm(kCaptureRate);
    std::unique_ptr<OutputSink> chain = CreateOutputChain(Pcm(kCaptureRate).Get(), chosen.Get(), ReadMaxFormatSize());
    ASSERT_TRUE(chain);
    ASSERT_NO_FATAL_FAILURE(RunEngine(std::move(chain), dir + "\\take %04d.%s", script));

    // The one-block passage was removed and its number went to the last passage.
    const std::size_t expectedTracks[] = {0, 2};
    for (int number = 1; number <= 2; ++number) {
        SCOPED_TRACE(number);
        const std::string name = dir + "\\take 000" + std::to_string(number) + ".wav";
        const std::vector<uint8_t> file = outtest::ReadFileBytes(name);
        const std::vector<uint8_t> expected = Bytes(script, script.tracks[expectedTracks[number - 1]]);
        ASSERT_EQ(file.size(), 56 + expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + 56)) << "samples differ";
        EXPECT_EQ(outtest::U32(file, 52), expected.size());
        EXPECT_EQ(outtest::U32(file, 44), expected.size() / 4) << "fact: frames";
        EXPECT_EQ(outtest::U32(file, 4), file.size() - 8);
    }
    EXPECT_FALSE(outtest::FileExists(dir + "\\take 0003.wav"));
}

TEST(EngineWithChain, AdpcmTracksHaveTheirLength) {
    const std::string dir = bench::WindowsPath(bench::ScratchDir("engine_ima"));
    const Script script = MakeScript();
    FormatBuffer chosen = outtest::Suggest(kCaptureRate, 0x0011, 2, kCaptureRate);
    ASSERT_FALSE(chosen.Empty());
    std::unique_ptr<OutputSink> chain = CreateOutputChain(Pcm(kCaptureRate).Get(), chosen.Get(), ReadMaxFormatSize());
    ASSERT_TRUE(chain);
    ASSERT_NO_FATAL_FAILURE(RunEngine(std::move(chain), dir + "\\take %04d.%s", script));

    const std::size_t expectedTracks[] = {0, 2};
    const double blockSeconds = double(chosen.Get()->nBlockAlign) / chosen.Get()->nAvgBytesPerSec;
    for (int number = 1; number <= 2; ++number) {
        SCOPED_TRACE(number);
        const std::vector<uint8_t> file =
            outtest::ReadFileBytes(dir + "\\take 000" + std::to_string(number) + ".wav");
        const outtest::WaveLayout layout = outtest::ParseWave(file);
        ASSERT_TRUE(layout.valid);
        ASSERT_NE(layout.Find("data"), nullptr);
        const double seconds = double(layout.Find("data")->size) / chosen.Get()->nAvgBytesPerSec;
        const double expected =
            double(script.tracks[expectedTracks[number - 1]].size()) * kCaptureBlockFrames / kCaptureRate;
        EXPECT_NEAR(seconds, expected, blockSeconds);
    }
    EXPECT_FALSE(outtest::FileExists(dir + "\\take 0003.wav"));
}

// Fails the mmio buffer advance once, after a number of good ones, as a disk that fills up and
// is cleared again would.
int goodAdvances = 0;
MMRESULT WINAPI AdvanceFailingOnce(HMMIO file, LPMMIOINFO info, UINT flags) {
    if (goodAdvances-- == 0) return MMIOERR_CANNOTWRITE;
    return mmioAdvance(file, info, flags);
}

// A header update the disk refuses once ends the file as a failed write does.
int goodFlushes = 0;
MMRESULT WINAPI FlushFailingOnce(HMMIO file, UINT flags) {
    if (goodFlushes-- == 0) return MMIOERR_CANNOTWRITE;
    return mmioFlush(file, flags);
}

// The file keeps what reached it, and the track goes on in the next from the block after the
// failed write; a failed header update loses nothing, every block in one of the two files.
TEST(EngineWithChain, AFailedWriteKeepsTheFileAndTheNextBlockOpensTheNext) {
    WaveFileApi advance, flush;
    advance.advance = AdvanceFailingOnce;
    flush.flush = FlushFailingOnce;
    const struct {
        const char* what;
        WaveFileApi api;
        int good;  // advances or flushes
        uint32_t headerUpdate;
        bool whole;
    } cases[] = {
        {"a failed write", advance, 10, 0, false},  // about 3.5 blocks reach the first file
        {"a failed header update", flush, 5, kCaptureBlockBytes, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = bench::WindowsPath(bench::ScratchDir("engine_fail"));
        const Script script = MakeScript({20});
        FormatBuffer chosen = Pcm(kCaptureRate);
        goodAdvances = goodFlushes = c.good;
        ASSERT_NO_FATAL_FAILURE(RunEngine(
            CreateOutputChain(Pcm(kCaptureRate).Get(), chosen.Get(), ReadMaxFormatSize(), c.api),
            dir + "\\take %04d.%s", script, 0, nullptr, c.headerUpdate));

        const std::vector<uint8_t> track = Bytes(script, script.tracks[0]);
        const std::vector<uint8_t> first = outtest::ReadFileBytes(dir + "\\take 0001.wav");
        const std::vector<uint8_t> second = outtest::ReadFileBytes(dir + "\\take 0002.wav");
        ASSERT_GT(first.size(), 56u + kCaptureBlockBytes * 3);
        ASSERT_GT(second.size(), 56u);
        const size_t firstData = first.size() - 56, secondData = second.size() - 56;
        for (const auto* file : {&first, &second}) {
            EXPECT_EQ(outtest::U32(*file, 52), file->size() - 56);
            EXPECT_EQ(outtest::U32(*file, 44), (file->size() - 56) / 4);
        }
        EXPECT_TRUE(std::equal(first.begin() + 56, first.end(), track.begin())) << "the start";
        ASSERT_EQ(secondData % kCaptureBlockBytes, 0u);
        EXPECT_TRUE(std::equal(second.begin() + 56, second.end(), track.end() - long(secondData)))
            << "the end of the track";
        if (c.whole) {
            EXPECT_EQ(firstData + secondData, track.size()) << "every block in one file";
        } else {
            EXPECT_LT(secondData, track.size() - firstData) << "the failed write's block is lost";
        }
        EXPECT_FALSE(outtest::FileExists(dir + "\\take 0003.wav"));
    }
}

// The same, but the disk stays full once the good advances are used up.
MMRESULT WINAPI AdvanceFailingForGood(HMMIO file, LPMMIOINFO info, UINT flags) {
    if (goodAdvances <= 0) return MMIOERR_CANNOTWRITE;
    --goodAdvances;
    return mmioAdvance(file, info, flags);
}

// The discard minimum is the whole track's, not one of its files': a failed write early in a
// long track keeps both files, a short burst leaves none and gives its numbers back, and a
// disk that stays full leaves no empty files behind and says so.
TEST(EngineWithChain, AFailedWriteLeavesTheWholeTrackToTheMinimum) {
    struct Case {
        const char* what;
        std::vector<int> passages;
        int goodAdvances;
        bool forGood;
        std::vector<bool> kept;  // take 0001, 0002, 0003
        const char* status;      // the text shown at the end, when it matters
        int wholeTrack;          // the script's track that take 0001 holds whole, or -1
    };
    const Case cases[] = {
        {"early failure in a long track", {20}, 2, false, {true, true, false}, nullptr, -1},
        {"failure in a short burst", {2, 6}, 2, false, {true, false, false}, nullptr, 1},
        {"a song, then a burst with a failure", {8, 2}, 34, false, {true, false, false}, nullptr, 0},
        {"a disk that stays full", {20}, 5, true, {true, false, false}, kDiskFullMessage, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = bench::WindowsPath(bench::ScratchDir("engine_minimum"));
        const Script script = MakeScript(c.passages);
        FormatBuffer chosen = Pcm(kCaptureRate);
        WaveFileApi failing;
        failing.advance = c.forGood ? AdvanceFailingForGood : AdvanceFailingOnce;
        goodAdvances = c.goodAdvances;
        std::string status;
        ASSERT_NO_FATAL_FAILURE(RunEngine(
            CreateOutputChain(Pcm(kCaptureRate).Get(), chosen.Get(), ReadMaxFormatSize(), failing),
            dir + "\\take %04d.%s", script, 6, &status));
        for (size_t i = 0; i < c.kept.size(); ++i) {
            const std::string name = dir + "\\take 000" + std::to_string(i + 1) + ".wav";
            EXPECT_EQ(outtest::FileExists(name), c.kept[i]) << name;
        }
        if (c.status) EXPECT_EQ(status, c.status);
        if (c.wholeTrack < 0) continue;
        // The burst's numbers went to the song, or are free after it.
        const std::vector<uint8_t> song = Bytes(script, script.tracks[size_t(c.wholeTrack)]);
        const std::vector<uint8_t> file = outtest::ReadFileBytes(dir + "\\take 0001.wav");
        ASSERT_EQ(file.size(), 56 + song.size());
        EXPECT_TRUE(std::equal(song.begin(), song.end(), file.begin() + 56));
    }
}

// A real full disk: the output_full_disk entry maps a 400 KiB tmpfs as the drive named in
// GROOVAL_FULL_DISK. Wine's mmio reports no write error there; only the size on disk tells.
TEST(FullDisk, WhatReachedTheDiskIsKeptAndTheNextTrackFailsWithAText) {
    const char* drive = std::getenv("GROOVAL_FULL_DISK");
    if (!drive) GTEST_SKIP() << "needs the full disk of the output_full_disk entry";
    const std::string first = std::string(drive) + "\\full0001.wav";
    struct Case { WORD tag; DWORD rate; int loudBlocks; uint32_t headerUpdate; } cases[] = {
        {WAVE_FORMAT_PCM, 44100, 30, 0},  // 17 blocks fit
        {0x0011, 22050, 160, 0},          // IMA ADPCM through two stages: about 135 blocks fit
        {WAVE_FORMAT_PCM, 44100, 30, kCaptureBlockBytes},  // the header after every block
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        FormatBuffer chosen = Pcm(c.rate);
        chosen.Get()->wFormatTag = c.tag;
        if (c.tag != WAVE_FORMAT_PCM) chosen.Get()->wBitsPerSample = 4;
        std::unique_ptr<OutputSink> chain =
            CreateOutputChain(Pcm(kCaptureRate).Get(), chosen.Get(), ReadMaxFormatSize());
        ASSERT_TRUE(chain);
        EXPECT_EQ(dynamic_cast<WaveFileWriter*>(chain.get()) == nullptr, c.tag != WAVE_FORMAT_PCM);
        const Script script = MakeScript({c.loudBlocks, 3});
        std::string status;
        ASSERT_NO_FATAL_FAILURE(RunEngine(std::move(chain), std::string(drive) + "\\full%04d.%s",
                                          script, 2, &status, c.headerUpdate));

        // The first track keeps what fitted, its header agreeing with the file, its fact in
        // capture frames.
        const std::vector<uint8_t> file = outtest::ReadFileBytes(first);
        ASSERT_GT(file.size(), 300u * 1024) << "the disk was not filled";
        const outtest::WaveLayout layout = outtest::ParseWave(file);
        ASSERT_TRUE(layout.valid && layout.Find("fact") && layout.Find("data"));
        const outtest::Chunk& data = *layout.Find("data");
        EXPECT_EQ(layout.riffSize, file.size() - 8);
        EXPECT_EQ(data.offset + data.size, file.size());
        const double frames = outtest::DecodedCaptureFrames(file, kCaptureRate);
        EXPECT_NEAR(outtest::U32(file, layout.Find("fact")->offset), frames, frames / 100);
        if (c.tag == WAVE_FORMAT_PCM) {
            const std::vector<uint8_t> fed = Bytes(script, script.tracks[0]);
            EXPECT_TRUE(std::equal(file.begin() + long(data.offset), file.end(), fed.begin()));
        }
        // The second track found the disk full: nothing of it is kept, and the user is told.
        EXPECT_FALSE(outtest::FileExists(std::string(drive) + "\\full0002.wav"));
        EXPECT_FALSE(outtest::FileExists(std::string(drive) + "\\full0003.wav"));
        EXPECT_EQ(status, std::string("WaveWriteFailed on\r\n") + drive + "\\full0002.wav");
        DeleteFileA(first.c_str());
    }
}

// grooval-split writes output in the capture format without the codec manager; the files must
// be the recorder's, byte for byte, whatever the mmio buffer and even when a write fails.
TEST(EngineWithChain, PassThroughWriterWritesTheCodecChainsFiles) {
    Script endsInTrack = MakeScript({5, 1, 40});
    endsInTrack.fed.resize(endsInTrack.fed.size() - kGapBlocks);  // Stop finishes the last
    endsInTrack.fed.back().resize(kCaptureBlockValues / 3);         // a short last block
    WaveFileApi failingOnce;
    failingOnce.advance = AdvanceFailingOnce;
    const struct {
        const char* name;
        Script script;
        LONG bufferBytes;
        WaveFileApi api;
        int failAfter;
    } cases[] = {
        {"default buffer", MakeScript(), 0, WaveFileApi(), -1},
        {"1 MB buffer, track open at the end", endsInTrack, 1 << 20, WaveFileApi(), -1},
        {"odd buffer", endsInTrack, 12345, WaveFileApi(), -1},
        {"failed write", MakeScript({20}), 0, failingOnce, 10},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string codec = bench::WindowsPath(bench::ScratchDir("engine_codec_path"));
        const std::string direct = bench::WindowsPath(bench::ScratchDir("engine_direct_path"));
        FormatBuffer chosen = Pcm(kCaptureRate);
        goodAdvances = test.failAfter;
        const int32_t discard = test.failAfter < 0 ? kDiscardBlocks : 0;
        ASSERT_NO_FATAL_FAILURE(RunEngine(
            CreateOutputChain(Pcm(kCaptureRate).Get(), chosen.Get(), ReadMaxFormatSize(), test.api),
            codec + "\\take %04d.%s", test.script, discard));
        goodAdvances = test.failAfter;
        ASSERT_NO_FATAL_FAILURE(RunEngine(
            std::make_unique<PassThroughWriter>(Pcm(kCaptureRate).Get(), test.bufferBytes, test.api),
            direct + "\\take %04d.%s", test.script, discard));
        int files = 0;
        for (int number = 1; number <= 4; ++number) {
            const std::string name = "\\take 000" + std::to_string(number) + ".wav";
            ASSERT_EQ(outtest::FileExists(codec + name), outtest::FileExists(direct + name))
                << name;
            if (!outtest::FileExists(codec + name)) continue;
            ++files;
            EXPECT_EQ(outtest::ReadFileBytes(codec + name), outtest::ReadFileBytes(direct + name))
                << name;
        }
        EXPECT_EQ(files, 2);
    }
}

}  // namespace
