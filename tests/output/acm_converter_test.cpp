// Codec conversion stage: block collection, carry-over of what the codec leaves, the final
// flush and the calls it passes on, against Wine's real codecs.
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "output/acm_converter.h"
#include "output/format_record.h"
#include "tests/output/wave_test_util.h"

namespace {

using outtest::Pcm;
using outtest::RecordingSink;

constexpr int32_t kBlock = 23520;

struct Stage {
    RecordingSink* sink;  // owned by the stage
    std::unique_ptr<AcmConverter> converter;
};

Stage MakeStage(const WAVEFORMATEX* destination, std::vector<std::string>* log = nullptr,
                bool* destroyed = nullptr) {
    auto sink = std::make_unique<RecordingSink>(log, destroyed);
    Stage stage{sink.get(), nullptr};
    stage.converter = std::make_unique<AcmConverter>(Pcm().Get(), destination, std::move(sink));
    return stage;
}

TEST(AcmConverterWrite, CollectsFullBlocksBeforeConverting) {
    Stage stage = MakeStage(Pcm().Get());
    ASSERT_EQ(stage.converter->Prepare(kBlock), 0);
    EXPECT_EQ(stage.sink->SourceBlockBytes(), kBlock) << "PCM to PCM: output block = input block";
    const std::vector<uint8_t> data = outtest::PatternBytes(size_t(kBlock) * 3);
    const uint8_t* at = data.data();

    EXPECT_EQ(stage.converter->Write(at, 0), 0);
    EXPECT_EQ(stage.converter->KeptBytes(), 0);
    EXPECT_TRUE(stage.sink->writeSizes.empty());

    // Fewer bytes than room are only kept.
    EXPECT_EQ(stage.converter->Write(at, 1000), 0);
    at += 1000;
    EXPECT_EQ(stage.converter->KeptBytes(), 1000);
    EXPECT_TRUE(stage.sink->writeSizes.empty());

    // Exactly the room fills the block, which is converted at once.
    EXPECT_EQ(stage.converter->Write(at, kBlock - 1000), 0);
    at += kBlock - 1000;
    EXPECT_EQ(stage.converter->KeptBytes(), 0);
    ASSERT_EQ(stage.sink->writeSizes, std::vector<int32_t>{kBlock});

    // More than a block: one conversion, the rest kept.
    EXPECT_EQ(stage.converter->Write(at, kBlock + 7), 0);
    at += kBlock + 7;
    EXPECT_EQ(stage.converter->KeptBytes(), 7);
    EXPECT_EQ(stage.sink->writeSizes.size(), 2u);

    // Finish flushes whole frames of the rest and passes the frame count on.
    stage.sink->finishResult = kSinkTrackDeleted;
    EXPECT_EQ(stage.converter->Finish(12345), kSinkTrackDeleted) << "the successor's result";
    EXPECT_EQ(stage.sink->finishedFrames, 12345u);
    const size_t handed = size_t(at - data.data());
    ASSERT_EQ(stage.sink->received.size(), handed - 3) << "the last 3 bytes make no frame";
    EXPECT_TRUE(std::equal(stage.sink->received.begin(), stage.sink->received.end(), data.begin()));
    EXPECT_EQ(stage.converter->SourceBlockBytes(), kBlock);
}

TEST(AcmConverterWrite, CodecConsumingPartOfABlockKeepsTheRestInOrder) {
    const FormatBuffer ima = outtest::Suggest(44100, 0x0011, 2, 44100);
    ASSERT_FALSE(ima.Empty());
    Stage stage = MakeStage(ima.Get());
    ASSERT_EQ(stage.converter->Prepare(kBlock), 0);
    const int blockAlign = ima.Get()->nBlockAlign;
    const int32_t sourcePerCodecBlock =
        int32_t(reinterpret_cast<const IMAADPCMWAVEFORMAT*>(ima.Get())->wSamplesPerBlock) * 4;
    ASSERT_GT(sourcePerCodecBlock, 0);

    constexpr int kFrames = 44100 * 2;
    const std::vector<uint8_t> pcm = outtest::SineBytes(44100, 997, kFrames);
    EXPECT_EQ(stage.converter->Write(pcm.data(), kBlock), 0);
    const int32_t used = kBlock / sourcePerCodecBlock * sourcePerCodecBlock;
    EXPECT_EQ(stage.converter->KeptBytes(), kBlock - used);
    ASSERT_EQ(stage.sink->received.size(), size_t(kBlock / sourcePerCodecBlock * blockAlign));

    // The kept bytes must lead the next block: the decoded stream follows the input exactly.
    EXPECT_EQ(stage.converter->Write(pcm.data() + kBlock, int32_t(pcm.size()) - kBlock), 0);
    EXPECT_EQ(stage.converter->Finish(kFrames), 0);
    FormatBuffer decodedFormat;
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(outtest::DecodeToPcm(ima.Get(), stage.sink->received, &decodedFormat, &decoded));
    ASSERT_GE(decoded.size(), pcm.size() - size_t(sourcePerCodecBlock));
    // The encoder adapts during the stream's first codec block; after that every sample must
    // follow the input closely, including those of the final flush (a codec reset there, or
    // kept bytes out of order, shows as an error of thousands).
    int worst = 0;
    for (size_t i = size_t(sourcePerCodecBlock); i + 1 < decoded.size(); i += 2) {
        const int in = int16_t(pcm[i] | pcm[i + 1] << 8);
        const int out = int16_t(decoded[i] | decoded[i + 1] << 8);
        worst = std::max(worst, std::abs(in - out));
    }
    EXPECT_LT(worst, 1000);
}

TEST(AcmConverterFinish, FlushesWithNothingKeptAndStaysReusable) {
    // Without a successor the result is the flush's own.
    AcmConverter last(Pcm().Get(), Pcm().Get(), nullptr);
    EXPECT_NE(last.PrepareResult(), 0) << "not ready before its first Prepare";
    ASSERT_EQ(last.Prepare(kBlock), 0);
    EXPECT_EQ(last.PrepareResult(), 0);
    const std::vector<uint8_t> data = outtest::PatternBytes(kBlock);
    EXPECT_EQ(last.Write(data.data(), kBlock), 0);
    EXPECT_EQ(last.KeptBytes(), 0);
    EXPECT_EQ(last.Finish(0), 0) << "a flush of 0 bytes with start and end flags";
    EXPECT_EQ(last.SourceBlockBytes(), kBlock);

    // The engine prepares again with the same size after every track.
    EXPECT_EQ(last.Unprepare(), 0);
    EXPECT_EQ(last.SourceBlockBytes(), kBlock);
    EXPECT_FALSE(last.IsPrepared());
    EXPECT_NE(last.PrepareResult(), 0);
    EXPECT_EQ(last.Prepare(last.SourceBlockBytes()), 0);
    EXPECT_EQ(last.Prepare(kBlock), MMSYSERR_INVALPARAM) << "prepared twice";
    EXPECT_EQ(last.PrepareResult(), 0) << "and still ready";
    EXPECT_EQ(last.Write(data.data(), kBlock), 0);
    EXPECT_EQ(last.KeptBytes(), 0);
}

TEST(AcmConverterFinish, UnpreparedStageRefusesWritesButLetsTheFileClose) {
    std::vector<std::string> log;
    Stage stage = MakeStage(Pcm().Get(), &log);
    const std::vector<uint8_t> data = outtest::PatternBytes(kBlock * 2);
    EXPECT_NE(stage.converter->Write(data.data(), int32_t(data.size())), 0);
    EXPECT_TRUE(stage.sink->received.empty());
    EXPECT_EQ(stage.converter->Finish(10), 0);
    EXPECT_EQ(stage.sink->finishedFrames, 10u);

    // A failing Prepare still records the size for the next try.
    // Wine's mu-law codec suggests mono at 44100 Hz but cannot convert stereo to it.
    const FormatBuffer impossible = outtest::Suggest(44100, 0x0007, 1, 44100);
    ASSERT_FALSE(impossible.Empty());
    AcmConverter refused(Pcm().Get(), impossible.Get(), nullptr);
    EXPECT_NE(refused.Query(), 0);
    const int32_t refusal = refused.Prepare(kBlock);
    EXPECT_NE(refusal, 0);
    EXPECT_EQ(refused.PrepareResult(), refusal) << "the engine shows it and tries again";
    EXPECT_EQ(refused.SourceBlockBytes(), kBlock);
    EXPECT_NE(refused.Write(data.data(), kBlock), 0);
}

TEST(AcmConverterChain, PassesCallsToItsSuccessorInOrder) {
    std::vector<std::string> log;
    bool destroyed = false;
    Stage stage = MakeStage(Pcm().Get(), &log, &destroyed);
    EXPECT_EQ(stage.converter->Query(), 0);
    EXPECT_EQ(stage.converter->Prepare(kBlock), 0);
    EXPECT_EQ(stage.converter->ConvertFlags(), 0u);
    EXPECT_EQ(stage.converter->BeginStream(), 0);
    EXPECT_EQ(stage.converter->ConvertFlags(), uint32_t(ACM_STREAMCONVERTF_START));
    EXPECT_STREQ(stage.converter->GetExtension(), "rec");
    EXPECT_EQ(stage.converter->Open("x", 5), 0);
    EXPECT_EQ(stage.converter->Close(0), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"Query", "Prepare", "BeginStream", "Open", "Close"}));

    // Deleting a prepared stage unprepares and deletes its successor.
    log.clear();
    stage.converter.reset();
    EXPECT_EQ(log, std::vector<std::string>{"Unprepare"});
    EXPECT_TRUE(destroyed);

    AcmConverter alone(Pcm().Get(), Pcm().Get(), nullptr);
    EXPECT_STREQ(alone.GetExtension(), "");
    EXPECT_EQ(alone.Open("x", 0), kSinkFailed);
    EXPECT_EQ(alone.Close(0), kSinkFailed);
    EXPECT_FALSE(alone.IsOpen());
    EXPECT_EQ(alone.BeginStream(), 0);
}

// Also while no file is open: the failures that matter most leave none open.
TEST(AcmConverterChain, MessagesComeFromTheSuccessor) {
    Stage stage = MakeStage(Pcm().Get());
    char text[kSinkMessageBytes] = "WaveOpenFailed 101 on\r\nx";
    EXPECT_FALSE(stage.converter->IsOpen());
    EXPECT_EQ(stage.converter->GetLastMessage(text), 0) << "the successor answers";
    EXPECT_STREQ(text, "WaveOpenFailed 101 on\r\nx");

    // Without a successor there is no text.
    AcmConverter alone(Pcm().Get(), Pcm().Get(), nullptr);
    EXPECT_EQ(alone.GetLastMessage(text), 1);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(alone.GetLastMessage(text), 0);
}

}  // namespace
