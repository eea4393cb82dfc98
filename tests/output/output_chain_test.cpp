// Building output chains from the codec manager's suggestions: one stage, two stages through
// PCM, the record changes callers keep, and whole tracks through the chains.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/pass_through_sink.h"
#include "engine/track_engine.h"
#include "output/acm_converter.h"
#include "output/format_record.h"
#include "output/output_chain.h"
#include "output/wave_file_writer.h"
#include "tests/output/wave_test_util.h"
#include "tests/support/bench_audio.h"

namespace {

constexpr int32_t kBlock = 23520;

using outtest::Pcm;

uint32_t MaxSize() { return ReadMaxFormatSize(); }

// The user's choice as the format chooser leaves it: tag, channels, rate, the codec's own
// block alignment, byte rate and bit depth (Wine's ADPCM and mu-law codecs give one; MPEG
// Layer-3 records have none).
FormatBuffer Chosen(WORD tag, WORD channels, DWORD rate, WORD blockAlign, DWORD avgBytes,
                    WORD bits = 0) {
    FormatBuffer format(MaxSize() + kFormatHeaderBytes);
    WAVEFORMATEX* record = format.Get();
    record->wFormatTag = tag;
    record->nChannels = channels;
    record->nSamplesPerSec = rate;
    record->nBlockAlign = blockAlign;
    record->nAvgBytesPerSec = avgBytes;
    record->wBitsPerSample = bits;
    return format;
}

WaveFileWriter* LastStage(OutputSink* chain) {
    auto* stage = dynamic_cast<AcmConverter*>(chain);
    while (stage && stage->Successor()) stage = dynamic_cast<AcmConverter*>(stage->Successor());
    return dynamic_cast<WaveFileWriter*>(stage);
}

// Records `seconds` of a sine from `sourceRate` through the chain into `name`; returns the
// finished file's bytes.
std::vector<uint8_t> RecordTrack(OutputSink& chain, const std::string& name, DWORD sourceRate,
                                 int seconds) {
    EXPECT_EQ(chain.Prepare(kBlock), 0);
    EXPECT_EQ(chain.Open(name.c_str(), 0), 0);
    const std::vector<uint8_t> pcm = outtest::SineBytes(int(sourceRate), 440, int(sourceRate) * seconds);
    for (size_t at = 0; at < pcm.size(); at += kBlock) {
        chain.Write(pcm.data() + at, int32_t(std::min<size_t>(kBlock, pcm.size() - at)));
    }
    EXPECT_EQ(chain.Finish(uint32_t(pcm.size() / 4)), 0);
    EXPECT_EQ(chain.Unprepare(), 0);
    return outtest::ReadFileBytes(name);
}

// The playing time of a finished file from its data length and byte rate.
double Seconds(const std::vector<uint8_t>& file) {
    const outtest::WaveLayout layout = outtest::ParseWave(file);
    const outtest::Chunk* fmt = layout.Find("fmt ");
    const outtest::Chunk* data = layout.Find("data");
    if (!layout.valid || !fmt || !data) return -1;
    return double(data->size) / outtest::U32(file, fmt->offset + 8);
}

TEST(OutputChain, PcmToPcmIsOneStage) {
    const FormatBuffer capture = Pcm(44100);
    FormatBuffer chosen = Pcm(44100);
    const FormatBuffer before = chosen;
    std::unique_ptr<OutputSink> chain = CreateOutputChain(capture.Get(), chosen.Get(), MaxSize());
    ASSERT_TRUE(chain);
    auto* writer = dynamic_cast<WaveFileWriter*>(chain.get());
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(writer->Successor(), nullptr);
    EXPECT_TRUE(FormatsEqual(chosen.Get(), before.Get()));
    EXPECT_EQ(chain->Query(), 0);
    EXPECT_EQ(chain->Prepare(kBlock), 0);
    EXPECT_STREQ(chain->GetExtension(), "wav");
}

// Where the output grows faster than the capture, a file takes fewer capture bytes, so it
// ends at the engine's limit before the writer refuses a block at its own.
TEST(OutputChain, FilesOfAFasterOutputTakeFewerCaptureBytes) {
    const FormatBuffer capture = Pcm(44100);
    const struct { const char* what; FormatBuffer chosen; uint32_t limit; } cases[] = {
        {"PCM at 48000 Hz", Pcm(48000), uint32_t(uint64_t(kMaxTrackBytes) * 44100 / 48000) & ~3u},
        {"the capture's own PCM", Pcm(44100), 0},
        {"PCM at 22050 Hz", Pcm(22050), 0},
        {"IMA ADPCM", Chosen(0x0011, 2, 44100, 2048, 44251, 4), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FormatBuffer chosen = c.chosen;
        std::unique_ptr<OutputSink> chain = CreateOutputChain(capture.Get(), chosen.Get(), MaxSize());
        ASSERT_TRUE(chain);
        EXPECT_EQ(chain->FileSourceBytes(), c.limit);
        EXPECT_EQ(PassThroughSink(std::move(chain)).FileSourceBytes(), c.limit)
            << "a stage in front (grooval-split's namer) hides the limit";
    }
}

TEST(OutputChain, SuggestionFieldsPutBackOrKept) {
    const FormatBuffer capture = Pcm(44100);
    // With a bit depth the suggestion's alignment and byte rate stand.
    FormatBuffer pcm = Chosen(WAVE_FORMAT_PCM, 1, 22050, 7, 5, 16);
    ASSERT_TRUE(CreateOutputChain(capture.Get(), pcm.Get(), MaxSize()));
    EXPECT_EQ(pcm.Get()->nBlockAlign, 2);
    EXPECT_EQ(pcm.Get()->nAvgBytesPerSec, 44100u);
    EXPECT_EQ(pcm.Get()->wBitsPerSample, 16);

    FormatBuffer ima = Chosen(0x0011, 2, 44100, 1024, 12345, 4);
    std::unique_ptr<OutputSink> chain = CreateOutputChain(capture.Get(), ima.Get(), MaxSize());
    ASSERT_TRUE(chain);
    EXPECT_NE(dynamic_cast<WaveFileWriter*>(chain.get()), nullptr) << "one stage";
    EXPECT_EQ(ima.Get()->wBitsPerSample, 4);
    EXPECT_EQ(ima.Get()->nBlockAlign, 2048);
    EXPECT_EQ(ima.Get()->nAvgBytesPerSec, 44251u);
    EXPECT_EQ(ima.Get()->cbSize, 2);
    EXPECT_EQ(reinterpret_cast<IMAADPCMWAVEFORMAT*>(ima.Get())->wSamplesPerBlock, 2041);
    EXPECT_EQ(chain->Query(), 0);

    // Without one, the user's alignment and byte rate survive and the depth stays 0, while
    // the codec's extra bytes are filled in. (Wine's ADPCM codec then refuses the record, so
    // only the record is checked.)
    FormatBuffer noDepth = Chosen(0x0011, 2, 44100, 1024, 12345);
    ASSERT_TRUE(CreateOutputChain(capture.Get(), noDepth.Get(), MaxSize()));
    EXPECT_EQ(noDepth.Get()->wBitsPerSample, 0);
    EXPECT_EQ(noDepth.Get()->nBlockAlign, 1024);
    EXPECT_EQ(noDepth.Get()->nAvgBytesPerSec, 12345u);
    EXPECT_EQ(noDepth.Get()->cbSize, 2);
    EXPECT_EQ(noDepth.Get()->nSamplesPerSec, 44100u);
}

TEST(OutputChain, ImaAdpcmTrackHasTheRightLength) {
    const std::string dir = bench::WindowsPath(bench::ScratchDir("chain_ima"));
    const FormatBuffer capture = Pcm(44100);
    FormatBuffer ima = Chosen(0x0011, 2, 44100, 2048, 44251, 4);
    std::unique_ptr<OutputSink> chain = CreateOutputChain(capture.Get(), ima.Get(), MaxSize());
    ASSERT_TRUE(chain);
    const std::vector<uint8_t> file = RecordTrack(*chain, dir + "\\ima.wav", 44100, 4);
    EXPECT_NEAR(Seconds(file), 4.0, 2048.0 / 44251) << "within one codec block";
}

// The case the two-stage chain exists for: the codec takes the chosen format only from PCM at
// its own rate. Wine's mu-law codec refuses a suggestion from 48000 Hz PCM.
TEST(OutputChain, RateTheCodecCannotTakeGoesThroughPcm) {
    const std::string dir = bench::WindowsPath(bench::ScratchDir("chain_two_stage"));
    const FormatBuffer capture = Pcm(48000);
    FormatBuffer mulaw = Chosen(0x0007, 2, 44100, 2, 88200, 8);
    std::unique_ptr<OutputSink> chain = CreateOutputChain(capture.Get(), mulaw.Get(), MaxSize());
    ASSERT_TRUE(chain);
    auto* first = dynamic_cast<AcmConverter*>(chain.get());
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(dynamic_cast<WaveFileWriter*>(chain.get()), nullptr) << "two stages";
    ASSERT_NE(LastStage(chain.get()), nullptr);
    const WAVEFORMATEX* middle = first->DestinationFormat();
    EXPECT_EQ(middle->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(middle->nChannels, 2);
    EXPECT_EQ(middle->nSamplesPerSec, 44100u);
    EXPECT_TRUE(FormatsEqual(LastStage(chain.get())->SourceFormat(), middle));
    EXPECT_TRUE(FormatsEqual(LastStage(chain.get())->DestinationFormat(), mulaw.Get()));
    EXPECT_EQ(mulaw.Get()->wBitsPerSample, 8);
    EXPECT_EQ(mulaw.Get()->nBlockAlign, 2);
    EXPECT_EQ(mulaw.Get()->nAvgBytesPerSec, 88200u);
    EXPECT_EQ(chain->Query(), 0);
    EXPECT_STREQ(chain->GetExtension(), "wav");

    // The second stage's blocks are the first stage's largest output.
    ASSERT_EQ(chain->Prepare(kBlock), 0);
    EXPECT_EQ(LastStage(chain.get())->SourceBlockBytes(), int32_t(first->DestinationBytes()));
    EXPECT_EQ(chain->Unprepare(), 0);

    const std::vector<uint8_t> file = RecordTrack(*chain, dir + "\\mulaw.wav", 48000, 3);
    EXPECT_NEAR(Seconds(file), 3.0, 0.01);
}

// Wine's codecs also suggest rates and channel counts they cannot convert to from the capture
// format; those chains go through PCM as well instead of failing their Query.
TEST(OutputChain, SuggestedButUnconvertibleFormatGoesThroughPcm) {
    const std::string dir = bench::WindowsPath(bench::ScratchDir("chain_suggested"));
    const FormatBuffer capture = Pcm(44100);
    struct Case { WORD tag; WORD channels; DWORD rate; WORD blockAlign; DWORD avgBytes; WORD bits; } cases[] = {
        {0x0011, 2, 22050, 1024, 22201, 4},  // IMA ADPCM at half the rate
        {0x0007, 1, 8000, 1, 8000, 8},       // telephone mu-law
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        FormatBuffer chosen = Chosen(c.tag, c.channels, c.rate, c.blockAlign, c.avgBytes, c.bits);
        std::unique_ptr<OutputSink> chain = CreateOutputChain(capture.Get(), chosen.Get(), MaxSize());
        ASSERT_TRUE(chain);
        EXPECT_EQ(dynamic_cast<WaveFileWriter*>(chain.get()), nullptr) << "two stages";
        EXPECT_EQ(chain->Query(), 0);
        EXPECT_EQ(chosen.Get()->nSamplesPerSec, c.rate);
        EXPECT_EQ(chosen.Get()->nChannels, c.channels);
        const std::vector<uint8_t> file =
            RecordTrack(*chain, dir + "\\t" + std::to_string(index++) + ".wav", 44100, 3);
        EXPECT_NEAR(Seconds(file), 3.0, double(c.blockAlign) / c.avgBytes + 0.01);
    }
}

TEST(OutputChain, NoWayGivesNoChain) {
    const FormatBuffer capture = Pcm(44100);
    // Wine has no MPEG Layer-3 or GSM encoder.
    FormatBuffer mp3 = Chosen(kFormatTagMp3, 2, 44100, 1, 16000);
    EXPECT_FALSE(CreateOutputChain(capture.Get(), mp3.Get(), MaxSize()));
    FormatBuffer gsm = Chosen(0x0031, 1, 8000, 65, 1625);
    EXPECT_FALSE(CreateOutputChain(capture.Get(), gsm.Get(), MaxSize()));

    // A record claiming more extra bytes than its buffer holds is not read past its end.
    FormatBuffer broken = Chosen(0x0011, 2, 44100, 2048, 44251);
    broken.Get()->cbSize = 60000;
    EXPECT_FALSE(CreateOutputChain(capture.Get(), broken.Get(), MaxSize()));
}

TEST(OutputChain, ExtensionFollowsTheOutputTag) {
    const FormatBuffer capture = Pcm(44100);
    FormatBuffer mp3 = Chosen(kFormatTagMp3, 2, 44100, 1, 16000);
    CompleteMp3Format(mp3.Get());
    EXPECT_STREQ(WaveFileWriter(capture.Get(), mp3.Get()).GetExtension(), "mp3");
    const WORD others[] = {WAVE_FORMAT_PCM, 0x0002, 0x0006, 0x0007, 0x0011, 0x0031, 0x0050};
    for (WORD tag : others) {
        FormatBuffer other = Chosen(tag, 2, 44100, 4, 176400);
        EXPECT_STREQ(WaveFileWriter(capture.Get(), other.Get()).GetExtension(), "wav") << tag;
    }
}

TEST(OutputChain, TwoStageChainShowsTheWritersTextAsOneStageDoes) {
    const std::string dir = bench::WindowsPath(bench::ScratchDir("chain_text"));
    const FormatBuffer capture = Pcm(48000);
    FormatBuffer mulaw = Chosen(0x0007, 2, 44100, 2, 88200, 8);
    std::unique_ptr<OutputSink> twoStage = CreateOutputChain(capture.Get(), mulaw.Get(), MaxSize());
    ASSERT_TRUE(twoStage);
    ASSERT_EQ(twoStage->Prepare(kBlock), 0);
    const std::string missing = dir + "\\missing\\track0001.wav";

    char text[kSinkMessageBytes] = "mmioAdvance 10b";
    EXPECT_EQ(twoStage->GetLastMessage(text), 1);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(twoStage->Open(missing.c_str(), 0), kSinkFailed);
    EXPECT_FALSE(twoStage->IsOpen());
    EXPECT_EQ(twoStage->GetLastMessage(text), 1) << "the failed open is shown";
    EXPECT_EQ(std::string(text).rfind("WaveOpenFailed ", 0), 0u) << text;
    ASSERT_EQ(twoStage->Open((dir + "\\track0001.wav").c_str(), 0), 0);
    EXPECT_EQ(twoStage->GetLastMessage(text), 0) << "the same text";
    EXPECT_EQ(twoStage->Finish(0), 0);

    // A one-stage chain shows the failure.
    FormatBuffer pcm = Pcm(44100);
    std::unique_ptr<OutputSink> oneStage = CreateOutputChain(Pcm(44100).Get(), pcm.Get(), MaxSize());
    ASSERT_TRUE(oneStage);
    ASSERT_EQ(oneStage->Prepare(kBlock), 0);
    text[0] = '\0';
    EXPECT_EQ(oneStage->Open(missing.c_str(), 0), kSinkFailed);
    EXPECT_EQ(oneStage->GetLastMessage(text), 1);
    EXPECT_EQ(std::string(text).rfind("WaveOpenFailed ", 0), 0u) << text;
}

// A take rescued from a chain deleted with its file open counts capture frames, whatever the
// output rate, so it is kept when it is longer than its minimum.
TEST(OutputChain, RescuedTakesCountCaptureFrames) {
    const std::string dir = bench::WindowsPath(bench::ScratchDir("chain_rescue"));
    const FormatBuffer capture = Pcm(44100);
    struct Case { const char* name; FormatBuffer chosen; } cases[] = {
        {"ima22050.wav", Chosen(0x0011, 2, 22050, 1024, 22201, 4)},  // two stages
        {"mulaw8000.wav", Chosen(0x0007, 1, 8000, 1, 8000, 8)},
    };
    constexpr int32_t kBlocks = 6;
    const std::vector<uint8_t> pcm = outtest::SineBytes(44100, 440, kBlocks * kBlock / 4);
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<OutputSink> chain =
            CreateOutputChain(capture.Get(), c.chosen.Get(), MaxSize());
        ASSERT_TRUE(chain);
        ASSERT_EQ(chain->Prepare(kBlock), 0);
        const std::string name = dir + "\\" + c.name;
        ASSERT_EQ(chain->Open(name.c_str(), (kBlocks - 2) * kBlock), 0);
        for (size_t at = 0; at < pcm.size(); at += kBlock) chain->Write(pcm.data() + at, kBlock);
        chain.reset();

        const std::vector<uint8_t> file = outtest::ReadFileBytes(name);
        const outtest::WaveLayout layout = outtest::ParseWave(file);
        ASSERT_TRUE(layout.valid && layout.Find("fact")) << "kept";
        const double frames = outtest::DecodedCaptureFrames(file, 44100);
        EXPECT_GT(frames, (kBlocks - 2) * kBlock / 4);
        EXPECT_NEAR(outtest::U32(file, layout.Find("fact")->offset), frames, frames / 50);
    }
}

// At start-up: the chosen format when it can be recorded, otherwise PCM for the run with a text
// saying so, and the choice left exactly as it was.
TEST(OutputChain, ARecordingFallsBackToPcmAndKeepsTheChoice) {
    const FormatBuffer capture = Pcm(44100);
    struct Case { const char* what; FormatBuffer chosen; bool usable; bool fallsBack; } cases[] = {
        {"IMA ADPCM", Chosen(0x0011, 2, 44100, 1024, 12345, 4), true, false},
        {"MPEG Layer-3: no encoder", Chosen(kFormatTagMp3, 2, 44100, 1, 16000), true, true},
        {"built, but the codec refuses it", Chosen(0x0011, 2, 44100, 1024, 12345), true, true},
        {"a stored record not read", Chosen(0x0011, 2, 44100, 1024, 12345, 4), false, true},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FormatBuffer before = c.chosen;
        std::unique_ptr<OutputSink> chain =
            CreateRecordingChain(capture.Get(), c.chosen.Get(), MaxSize(), kBlock, c.usable);
        ASSERT_TRUE(chain);
        EXPECT_EQ(chain->PrepareResult(), 0);
        char text[kSinkMessageBytes] = "";
        chain->GetLastMessage(text);
        ASSERT_NE(LastStage(chain.get()), nullptr);
        const WAVEFORMATEX* recorded = LastStage(chain.get())->DestinationFormat();
        if (c.fallsBack) {
            EXPECT_STREQ(text, kPcmFallbackMessage);
            EXPECT_TRUE(FormatsEqual(recorded, Pcm(44100).Get()));
            EXPECT_EQ(std::memcmp(c.chosen.Bytes(), before.Bytes(), before.Size()), 0);
        } else {
            EXPECT_STREQ(text, "");
            EXPECT_TRUE(FormatsEqual(recorded, c.chosen.Get()));
            EXPECT_EQ(c.chosen.Get()->nAvgBytesPerSec, 44251u) << "completed as the chain has it";
        }
    }
}

}  // namespace
