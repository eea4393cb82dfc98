// The FLAC and MP3 stages as the engine drives them: results, short tracks, failures, tags and
// a stage deleted while its file is open. The files they leave in the bench's scratch folders
// encoder_stage_* are read back with Debian's tools by encoded_tracks_test.py (case "stage").
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/stream_format.h"
#include "encode/encoder_stage.h"
#include "tests/split/split_test_util.h"

namespace {

struct FixedTags : TrackTagSource {
    TrackTags tags;
    TrackTags OpeningTrack() const override { return tags; }
};

struct Format {
    const char* extension;
    EncoderKind kind;
};
const Format kFormats[] = {{"flac", EncoderKind::Flac}, {"mp3", EncoderKind::Mp3}};

std::unique_ptr<EncoderStage> MakeStage(const Format& format, const TrackTagSource& tags,
                                        const EncodedFileApi& api = EncodedFileApi()) {
    EncoderFormat encoder;
    encoder.kind = format.kind;
    auto stage =
        CreateEncoderStage(encoder, kCaptureRate, SampleLayout(), 60ull * kCaptureRate, tags, api);
    EXPECT_EQ(stage->Prepare(kCaptureBlockBytes), 0);
    EXPECT_STREQ(stage->GetExtension(), format.extension);
    return stage;
}

std::vector<uint8_t> Tone(uint32_t frames) {
    std::vector<int16_t> samples(size_t(frames) * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = int16_t(12000 * std::sin(0.031 * double(i / 2) + double(i % 2)));
    }
    return splittest::SampleBytes(samples);
}

std::string Path(const std::string& folder, const std::string& name, const Format& format) {
    return folder + "\\" + name + "." + format.extension;
}

// Fails every write from the given call on, as a full disk does, and counts what got through.
struct FailingWrite {
    static int callsLeft;
    static uint64_t bytesWritten;
    static BOOL WINAPI Write(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written,
                             LPOVERLAPPED overlapped) {
        if (callsLeft-- > 0) {
            bytesWritten += count;
            return WriteFile(file, bytes, count, written, overlapped);
        }
        SetLastError(ERROR_DISK_FULL);
        *written = 0;
        return FALSE;
    }
};
int FailingWrite::callsLeft = 0;
uint64_t FailingWrite::bytesWritten = 0;

TEST(EncoderStageTest, ShortTracksAreKeptOrDeletedByTheMinimum) {
    const struct {
        uint32_t frames;
        uint32_t minBytes;
        int32_t result;
    } cases[] = {
        {0, 0, 0},       {1, 0, 0},  {1151, 0, 0}, {1153, 0, 0},  // around one MP3 frame
        {5879, 23520, kSinkTrackDeleted}, {5880, 23520, 0},     {0, 4, kSinkTrackDeleted},
    };
    const std::string folder = splittest::Scratch("encoder_stage_short");
    FixedTags tags;
    for (const Format& format : kFormats) {
        auto stage = MakeStage(format, tags);  // one stage for every track, as in the engine
        for (const auto& test : cases) {
            const std::string path = Path(folder, std::to_string(test.frames) + "-" +
                                                      std::to_string(test.minBytes), format);
            SCOPED_TRACE(path);
            ASSERT_EQ(stage->Open(path.c_str(), test.minBytes), 0);
            EXPECT_TRUE(stage->IsOpen());
            const std::vector<uint8_t> bytes = Tone(test.frames);
            EXPECT_EQ(stage->Write(bytes.data(), int32_t(bytes.size())), 0);
            EXPECT_EQ(stage->Finish(test.frames), test.result);
            EXPECT_FALSE(stage->IsOpen());
            EXPECT_EQ(GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES, test.result == 0);
            EXPECT_EQ(stage->Finish(test.frames), kSinkFailed) << "no file is open";
            EXPECT_EQ(stage->Unprepare(), 0);
            EXPECT_EQ(stage->Prepare(stage->SourceBlockBytes()), 0);
        }
    }
}

TEST(EncoderStageTest, AFailedOpenLeavesNoFileOpenAndSaysWhy) {
    const std::string folder = splittest::Scratch("encoder_stage_open");
    FixedTags tags;
    for (const Format& format : kFormats) {
        auto stage = MakeStage(format, tags);
        const std::string missing = Path(folder + "\\missing", "x", format);
        EXPECT_EQ(stage->Open(missing.c_str(), 0), kSinkFailed);
        EXPECT_FALSE(stage->IsOpen());
        char text[kSinkMessageBytes] = "";
        EXPECT_EQ(stage->GetLastMessage(text), 1);
        EXPECT_STREQ(text, "cannot create the file (Windows error 3)");
        EXPECT_EQ(stage->GetLastMessage(text), 0) << "unchanged";
        const std::vector<uint8_t> bytes = Tone(kCaptureBlockFrames);
        EXPECT_EQ(stage->Write(bytes.data(), int32_t(bytes.size())), 0);
        EXPECT_EQ(stage->Finish(kCaptureBlockFrames), kSinkFailed);

        // While a track is open, another Open fails and leaves the track alone.
        const std::string first = Path(folder, "first", format);
        ASSERT_EQ(stage->Open(first.c_str(), 0), 0);
        EXPECT_EQ(stage->Open(Path(folder, "second", format).c_str(), 0), kSinkFailed);
        EXPECT_TRUE(stage->IsOpen());
        stage->Write(bytes.data(), int32_t(bytes.size()));
        EXPECT_EQ(stage->Finish(kCaptureBlockFrames), 0);
        EXPECT_EQ(splittest::FilesIn(folder),
                  (std::vector<std::string>{std::string("first.") + format.extension}));
        DeleteFileA(first.c_str());
    }
}

TEST(EncoderStageTest, AFailedWriteKeepsTheWholePartAndTheNextTrackOpens) {
    const std::string folder = splittest::Scratch("encoder_stage_cut");
    EncodedFileApi api;
    api.write = FailingWrite::Write;
    FixedTags tags;
    const std::vector<uint8_t> side = Tone(40 * kCaptureBlockFrames);
    for (const Format& format : kFormats) {
        SCOPED_TRACE(format.extension);
        auto stage = MakeStage(format, tags, api);
        // The header and a good part of the track get through; a later write fails.
        FailingWrite::callsLeft = 30;
        FailingWrite::bytesWritten = 0;
        const std::string cut = Path(folder, "cut", format);
        ASSERT_EQ(stage->Open(cut.c_str(), kCaptureBlockBytes), 0);
        for (int32_t at = 0; at < int32_t(side.size()); at += kCaptureBlockBytes) {
            EXPECT_EQ(stage->Write(side.data() + at, kCaptureBlockBytes), 0) << "told success";
        }
        EXPECT_FALSE(stage->IsOpen());
        char text[kSinkMessageBytes] = "";
        EXPECT_EQ(stage->GetLastMessage(text), 1);
        EXPECT_STREQ(text, "writing the file failed (Windows error 112)");
        WIN32_FILE_ATTRIBUTE_DATA file;
        ASSERT_TRUE(GetFileAttributesExA(cut.c_str(), GetFileExInfoStandard, &file));
        // FLAC hands over whole frames, so everything written stays; LAME's writes are whole.
        EXPECT_EQ(file.nFileSizeLow, FailingWrite::bytesWritten);
        EXPECT_EQ(stage->Finish(uint32_t(side.size() / 4)), kSinkFailed);

        // The part kept is shorter than the minimum: deleted.
        FailingWrite::callsLeft = 8;
        const std::string shortCut = Path(folder, "short", format);
        ASSERT_EQ(stage->Open(shortCut.c_str(), uint32_t(side.size())), 0);
        for (int32_t at = 0; at < int32_t(side.size()); at += kCaptureBlockBytes) {
            stage->Write(side.data() + at, kCaptureBlockBytes);
        }
        EXPECT_EQ(GetFileAttributesA(shortCut.c_str()), INVALID_FILE_ATTRIBUTES);

        // The next track is written in full.
        FailingWrite::callsLeft = INT_MAX;
        const std::string next = Path(folder, "next", format);
        ASSERT_EQ(stage->Open(next.c_str(), kCaptureBlockBytes), 0);
        stage->Write(side.data(), int32_t(side.size()));
        EXPECT_EQ(stage->Finish(uint32_t(side.size() / 4)), 0);
    }
}

TEST(EncoderStageTest, TagsAndAFinishedHeaderReachTheFile) {
    const std::string folder = splittest::Scratch("encoder_stage_tags");
    FixedTags tags;
    tags.tags = TrackTags{"\xC3\x89t\xC3\xA9 \xC3\xA0 Paris", "Quintette du Hot Club", "Swing 1937",
                          "1937", 7, "Django Reinhardt", 12};
    const std::vector<uint8_t> bytes = Tone(3 * kCaptureBlockFrames);
    for (const Format& format : kFormats) {
        // Deleted while its file is open, the stage finishes the track with what it was given.
        const std::string path = Path(folder, "tagged", format);
        {
            auto stage = MakeStage(format, tags);
            ASSERT_EQ(stage->Open(path.c_str(), 0), 0);
            stage->Write(bytes.data(), int32_t(bytes.size()));
        }
        const std::vector<uint8_t> file = splittest::ReadBytes(path);
        ASSERT_GT(file.size(), 64u);
        const std::string text(file.begin(), file.end());
        if (format.kind == EncoderKind::Flac) {
            // STREAMINFO's 36-bit total of samples, completed at the end.
            const uint64_t total = uint64_t(file[21] & 0x0F) << 32 | uint64_t(file[22]) << 24 |
                                   uint64_t(file[23]) << 16 | uint64_t(file[24]) << 8 | file[25];
            EXPECT_EQ(total, 3u * kCaptureBlockFrames);
            EXPECT_NE(text.find("TITLE=\xC3\x89t\xC3\xA9 \xC3\xA0 Paris"), std::string::npos);
        } else {
            EXPECT_EQ(text.compare(0, 5, "ID3\x04\x00", 5), 0);
            // The empty frame LAME leaves after the tag was replaced by its header.
            EXPECT_NE(text.find("Xing"), std::string::npos);
            EXPECT_NE(text.find("\xC3\x89t\xC3\xA9 \xC3\xA0 Paris"), std::string::npos);
        }
    }
}

TEST(EncoderStageTest, QueryAsksTheEncoder) {
    FixedTags tags;
    const SampleLayout stereo, mono{1, 24, false}, eight{8, 32, true}, nine{9, 16, false};
    const struct {
        EncoderKind kind;
        int level;  // FLAC level, MP3 bitrate (0: VBR at the quality below)
        int quality;
        uint32_t rate;
        SampleLayout layout;
        int32_t result;
    } cases[] = {
        {EncoderKind::Flac, 5, 0, 44100, stereo, 0},
        {EncoderKind::Flac, 8, 0, 655350, stereo, 0},
        {EncoderKind::Flac, 9, 0, 44100, stereo, kSinkFailed},
        {EncoderKind::Flac, 5, 0, 0, stereo, kSinkFailed},
        {EncoderKind::Flac, 5, 0, 96000, eight, 0},
        {EncoderKind::Flac, 5, 0, 96000, nine, kSinkFailed},  // FLAC's most is 8 channels
        {EncoderKind::Mp3, 0, 2, 25442, stereo, 0},
        {EncoderKind::Mp3, 320, 2, 48000, stereo, 0},
        {EncoderKind::Mp3, 100, 2, 44100, stereo, kSinkFailed},
        {EncoderKind::Mp3, 0, 10, 44100, stereo, kSinkFailed},
        {EncoderKind::Mp3, 0, 2, 96000, mono, 0},
        {EncoderKind::Mp3, 0, 2, 96000, {3, 24, false}, kSinkFailed},
    };
    for (const auto& test : cases) {
        EncoderFormat format;
        format.kind = test.kind;
        format.flacLevel = test.level;
        format.mp3.bitrate = test.kind == EncoderKind::Mp3 ? test.level : 0;
        format.mp3.vbrQuality = test.quality;
        auto stage = CreateEncoderStage(format, test.rate, test.layout, 0, tags);
        EXPECT_EQ(stage->Query(), test.result)
            << test.level << " at " << test.rate << ", " << test.layout.channels << " channels";
    }
}

// Any layout at its full resolution: FLAC at the layout's depth (24 at most, exactly), MP3
// from floats. The files are read back by encoded_tracks_test.py (case "stage").
TEST(EncoderStageTest, WideLayoutsAreEncodedAtTheirResolution) {
    const std::string folder = splittest::Scratch("encoder_stage_wide");
    FixedTags tags;
    const struct {
        const char* name;
        SampleLayout layout;
        uint16_t depth;
    } layouts[] = {{"mono24", {1, 24, false}, 24}, {"float", {2, 32, true}, 24},
                   {"pcm8", {2, 8, false}, 8}};
    for (const auto& test : layouts) {
        for (const Format& format : kFormats) {
            EncoderFormat encoder;
            encoder.kind = format.kind;
            auto stage = CreateEncoderStage(encoder, 96000, test.layout, 96000, tags);
            ASSERT_EQ(stage->Query(), 0) << test.name;
            ASSERT_EQ(stage->Prepare(kCaptureBlockBytes), 0);
            EXPECT_EQ(FlacDepth(test.layout), test.depth) << test.name;
            // A tone of 24-bit steps, one second.
            std::vector<uint8_t> bytes;
            for (uint32_t frame = 0; frame < 96000; ++frame) {
                for (uint16_t channel = 0; channel < test.layout.channels; ++channel) {
                    const double value = 0.5 * std::sin(0.02 * frame + channel);
                    const int64_t step = std::lround(value * 8388608);
                    const float single = float(step) / 8388608;
                    uint8_t sample[4];
                    const int64_t scaled = test.layout.bits == 8 ? (step >> 16) + 128 : step;
                    for (int i = 0; i < 4; ++i) sample[i] = uint8_t(uint64_t(scaled) >> (8 * i));
                    if (test.layout.isFloat) std::memcpy(sample, &single, 4);
                    bytes.insert(bytes.end(), sample, sample + test.layout.SampleBytes());
                }
            }
            const std::string path = Path(folder, test.name, format);
            ASSERT_EQ(stage->Open(path.c_str(), 0), 0);
            stage->Write(bytes.data(), int32_t(bytes.size()));
            EXPECT_EQ(stage->Finish(96000), 0) << path;
        }
    }
    // A float finer than 24 bits is no FLAC sample: the track ends there, saying why.
    EncoderFormat flac;
    flac.kind = EncoderKind::Flac;
    auto stage = CreateEncoderStage(flac, 96000, {1, 32, true}, 96000, tags);
    ASSERT_EQ(stage->Prepare(kCaptureBlockBytes), 0);
    const float samples[] = {0.25f, 0.5f, 1.0f / (1 << 30)};
    const std::string path = Path(folder, "fine", kFormats[0]);
    ASSERT_EQ(stage->Open(path.c_str(), 0), 0);
    EXPECT_EQ(stage->Write(samples, int32_t(sizeof samples)), 0) << "told success";
    EXPECT_FALSE(stage->IsOpen());
    char text[kSinkMessageBytes] = "";
    EXPECT_EQ(stage->GetLastMessage(text), 1);
    EXPECT_STREQ(text, "FLAC: a sample does not fit (24 bits, frame 2)");
}

}  // namespace
