// The same block stream gives byte-identical track files through grooval-split.exe (batched
// feed, and no codec stream for PCM in the capture format) and through the recorder's engine
// and output chain fed block by block as a capture back-end feeds them.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "split/formats.h"
#include "engine/stream_format.h"
#include "engine/track_engine.h"
#include "output/format_record.h"
#include "output/output_chain.h"
#include "tests/split/split_test_util.h"

namespace {

using splittest::Block;

struct Detection {
    int32_t silence = 4;
    int32_t gap = 14;
    int32_t minimum = 14;
    bool live = false;
    std::string format = "pcm";
};

// The recorder's path: the chain its window builds, the settings its sliders write, the
// blocks its capture thread submits, and the worker's end finishing the last track.
void RecordAsCapture(const std::vector<Block>& blocks, const std::string& folder,
                     const Detection& detection) {
    const uint32_t maxFormatSize = ReadMaxFormatSize();
    FormatBuffer capture(maxFormatSize + kFormatHeaderBytes);
    MakePcmFormat(capture.Get(), kCaptureRate);
    FormatBuffer chosen;
    const SplitStatus status = ChooseOutputFormat(detection.format, capture.Get(), maxFormatSize, chosen);
    ASSERT_TRUE(status.Ok()) << status.Text();
    std::unique_ptr<OutputSink> chain =
        CreateOutputChain(capture.Get(), chosen.Get(), maxFormatSize);
    ASSERT_TRUE(chain);
    ASSERT_EQ(chain->Prepare(kCaptureBlockBytes), 0);

    TrackEngine engine(TrackEngineApi{&ShiftNeverHeld});
    engine.SetSink(chain.release());
    engine.blockBytes = kCaptureBlockBytes;
    engine.silenceThreshold = detection.silence;
    engine.gapBlocks = detection.gap;
    engine.discardBlocks = detection.minimum;
    engine.liveMode = detection.live ? 1 : 0;
    engine.SetNameFormat((folder + "\\tmp%04d.%s").c_str());
    engine.SetStandby(0);
    ASSERT_TRUE(engine.Start());
    for (const Block& block : blocks) {
        SampleBuffer* buffer = engine.GetFreeBuffer();
        ASSERT_NE(buffer, nullptr);
        ASSERT_TRUE(buffer->Fill(int32_t(block.size()), block.data()));
        engine.SubmitBuffer(buffer);
    }
    engine.StopAndWait();
}

std::string ToolArguments(const Detection& detection) {
    std::string arguments = "-s " + std::to_string(detection.silence) + " -g " +
                            std::to_string(detection.gap) +
                            " --min=" + std::to_string(detection.minimum) + " --format " +
                            splittest::Quote(detection.format);
    if (detection.live) arguments += " --live";
    return arguments;
}

TEST(SplitIdentityTest, TheToolWritesWhatTheRecorderWrites) {
    splittest::Side side;
    side.Silence(3).Song(30).Silence(20).Song(3).Silence(20).Song(12).Silence(4).Song(13);
    side.Silence(25).Song(25).Silence(4);
    // The input ends in a part of a block, inside the last track.
    std::vector<Block> blocks = side.Blocks();
    blocks.push_back(splittest::LoudBlock(99));
    blocks.back().resize(blocks.back().size() / 3);
    const std::string input = splittest::Scratch("split_identity_input") + "\\side.wav";
    ASSERT_TRUE(splittest::WritePcmWav(input, kCaptureRate, 2, 16,
                                       splittest::SampleBytes(splittest::Concatenate(blocks))));

    Detection live;
    live.live = true;
    Detection adpcm;
    adpcm.silence = 10;
    adpcm.gap = 7;
    adpcm.minimum = 3;
    adpcm.format = "IMA ADPCM";
    const struct {
        const char* name;
        Detection detection;
        size_t files;
    } cases[] = {
        {"defaults", Detection(), 3},
        {"live mode", live, 4},
        {"codec format, short gap", adpcm, 4},
    };
    for (const auto& test : cases) {
        const std::string byTool = splittest::Scratch("split_identity_tool");
        const std::string byRecorder = splittest::Scratch("split_identity_recorder");
        const splittest::ToolRun run =
            splittest::RunTool(ToolArguments(test.detection) + " -q -o " +
                               splittest::Quote(byTool) + " " + splittest::Quote(input));
        ASSERT_EQ(run.exitCode, 0u) << test.name << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << test.name << ": --quiet prints no track list";
        ASSERT_NO_FATAL_FAILURE(RecordAsCapture(blocks, byRecorder, test.detection));

        const std::vector<std::string> files = splittest::FilesIn(byRecorder);
        EXPECT_EQ(files.size(), test.files) << test.name;
        ASSERT_EQ(splittest::FilesIn(byTool), files) << test.name;
        for (const std::string& file : files) {
            EXPECT_EQ(splittest::ReadBytes(byTool + "\\" + file),
                      splittest::ReadBytes(byRecorder + "\\" + file))
                << test.name << ": " << file;
        }
    }
}

// Given a level, the tool cuts a record as the recorder set to it does, byte for byte; by
// default it chooses a lower one for the same record.
TEST(SplitIdentityTest, AGivenLevelCutsAsTheRecorderDoes) {
    const std::vector<int16_t> samples = splittest::MakeRecordedSide(-54, 2).samples;
    std::vector<Block> blocks;
    for (size_t at = 0; at < samples.size(); at += kCaptureBlockValues) {
        const size_t end = std::min(samples.size(), at + size_t(kCaptureBlockValues));
        blocks.emplace_back(samples.begin() + long(at), samples.begin() + long(end));
    }
    const std::string input = splittest::Scratch("split_identity_record") + "\\record.wav";
    ASSERT_TRUE(
        splittest::WritePcmWav(input, kCaptureRate, 2, 16, splittest::SampleBytes(samples)));
    const std::string byTool = splittest::Scratch("split_identity_tool");
    const std::string byDefault = splittest::Scratch("split_identity_default");
    const std::string byRecorder = splittest::Scratch("split_identity_recorder");
    ASSERT_EQ(splittest::RunTool(ToolArguments(Detection()) + " -q -o " +
                                 splittest::Quote(byTool) + " " + splittest::Quote(input))
                  .exitCode,
              0u);
    ASSERT_EQ(splittest::RunTool("-q -o " + splittest::Quote(byDefault) + " " +
                                 splittest::Quote(input))
                  .exitCode,
              0u);
    ASSERT_NO_FATAL_FAILURE(RecordAsCapture(blocks, byRecorder, Detection()));
    const std::vector<std::string> files = splittest::FilesIn(byRecorder);
    ASSERT_EQ(files.size(), 2u);
    ASSERT_EQ(splittest::FilesIn(byTool), files);
    ASSERT_EQ(splittest::FilesIn(byDefault), files);
    for (const std::string& file : files) {
        EXPECT_EQ(splittest::ReadBytes(byTool + "\\" + file),
                  splittest::ReadBytes(byRecorder + "\\" + file))
            << file;
        EXPECT_GT(splittest::TrackData(byDefault + "\\" + file).size(),
                  splittest::TrackData(byRecorder + "\\" + file).size())
            << file << ": the fades kept";
    }
}

}  // namespace
