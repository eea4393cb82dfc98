// WAV file writer: the exact file layout, short-track deletion, messages, and files that
// survive a failed write or a chain deleted while they are open.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "output/format_record.h"
#include "output/wave_file.h"
#include "output/wave_file_writer.h"
#include "tests/output/wave_test_util.h"
#include "tests/support/bench_audio.h"

namespace {

using outtest::ParseWave;
using outtest::Pcm;
using outtest::ReadFileBytes;
using outtest::U16;
using outtest::U32;

constexpr int32_t kBlock = 23520;

std::string Scratch(const std::string& name) { return bench::WindowsPath(bench::ScratchDir(name)); }

std::unique_ptr<WaveFileWriter> PreparedPcmWriter(const WaveFileApi& api = WaveFileApi()) {
    const FormatBuffer pcm = Pcm(44100);
    auto writer = std::make_unique<WaveFileWriter>(pcm.Get(), pcm.Get(), api);
    EXPECT_EQ(writer->Prepare(kBlock), 0);
    return writer;
}

// The writer closed its file on an mmioAdvance that failed with `mmioError`, and says so.
void ExpectClosedByAdvance(WaveFileWriter& writer, unsigned mmioError) {
    EXPECT_FALSE(writer.IsOpen());
    char text[kSinkMessageBytes] = "";
    EXPECT_EQ(writer.GetLastMessage(text), 1);
    char expected[kSinkMessageBytes];
    std::snprintf(expected, sizeof expected, "mmioAdvance %x", mmioError);
    EXPECT_STREQ(text, expected);
}

// Writes `bytes` in pieces of varying size, as blocks and odd remainders would come.
void WriteInPieces(OutputSink& sink, const std::vector<uint8_t>& bytes) {
    static const int32_t pieces[] = {1000, kBlock, 4, 30000, 17, 23519};
    size_t at = 0;
    for (int i = 0; at < bytes.size(); ++i) {
        const int32_t count = std::min<int32_t>(pieces[i % 6], int32_t(bytes.size() - at));
        sink.Write(bytes.data() + at, count);
        at += size_t(count);
    }
}

// Checks the whole layout of a finished PCM file holding `data`.
void ExpectPcmFile(const std::string& path, const std::vector<uint8_t>& data, uint32_t frames) {
    const std::vector<uint8_t> file = ReadFileBytes(path);
    const size_t pad = data.size() & 1;
    ASSERT_EQ(file.size(), 56 + data.size() + pad);
    const outtest::WaveLayout layout = ParseWave(file);
    ASSERT_TRUE(layout.valid);
    EXPECT_EQ(layout.riffSize, file.size() - 8);
    ASSERT_EQ(layout.chunks.size(), 3u);
    EXPECT_EQ(layout.chunks[0].id, "fmt ");
    EXPECT_EQ(layout.chunks[0].size, 16u);
    EXPECT_EQ(U16(file, 20), WAVE_FORMAT_PCM);
    EXPECT_EQ(U16(file, 22), 2);
    EXPECT_EQ(U32(file, 24), 44100u);
    EXPECT_EQ(U32(file, 28), 176400u);
    EXPECT_EQ(U16(file, 32), 4);
    EXPECT_EQ(U16(file, 34), 16);
    EXPECT_EQ(layout.chunks[1].id, "fact");
    EXPECT_EQ(layout.chunks[1].offset, 44u);
    EXPECT_EQ(U32(file, 44), frames);
    EXPECT_EQ(layout.chunks[2].id, "data");
    EXPECT_EQ(layout.chunks[2].offset, 56u);
    EXPECT_EQ(layout.chunks[2].size, data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), file.begin() + 56)) << "samples differ";
    if (pad) {
        EXPECT_EQ(file.back(), 0);
    }
}

TEST(WaveFileLayout, PcmTrackThroughTheWriterIsByteExact) {
    const std::string dir = Scratch("wave_pcm");
    const size_t sizes[] = {0, 4, size_t(kBlock), size_t(kBlock) * 3 + 1000, 8192 * 5};
    for (size_t n : sizes) {
        SCOPED_TRACE(n);
        const std::string name = dir + "\\track" + std::to_string(n) + ".wav";
        const std::vector<uint8_t> data = outtest::PatternBytes(n, uint32_t(n) + 1);
        auto writer = PreparedPcmWriter();
        ASSERT_EQ(writer->Open(name.c_str(), 0), 0);
        EXPECT_TRUE(writer->IsOpen());
        WriteInPieces(*writer, data);
        EXPECT_EQ(writer->Finish(uint32_t(n / 4)), 0);
        EXPECT_FALSE(writer->IsOpen());
        ASSERT_NO_FATAL_FAILURE(ExpectPcmFile(name, data, uint32_t(n / 4)));
    }
}

TEST(WaveFileLayout, OddDataLengthGetsAPadByte) {
    const std::string name = Scratch("wave_odd") + "\\odd.wav";
    const std::vector<uint8_t> data = outtest::PatternBytes(kBlock + 1);
    WaveFile file;
    ASSERT_EQ(file.Open(name.c_str(), Pcm(44100).Get()), 0);
    int32_t stored = -1;
    EXPECT_EQ(file.Write(int32_t(data.size()), data.data(), &stored), 0);
    EXPECT_EQ(stored, kBlock + 1);
    EXPECT_EQ(file.Close(5880), 0);
    ASSERT_NO_FATAL_FAILURE(ExpectPcmFile(name, data, 5880));
}

// A frame of 8-bit mono is one byte: the writer takes converted output of any length.
TEST(WaveFileLayout, OneConvertedByteReachesTheFile) {
    const std::string name = Scratch("wave_one_byte") + "\\byte.wav";
    FormatBuffer narrow = Pcm(44100);
    narrow.Get()->nChannels = 1;
    narrow.Get()->wBitsPerSample = 8;
    narrow.Get()->nBlockAlign = 1;
    narrow.Get()->nAvgBytesPerSec = 44100;
    WaveFileWriter writer(Pcm(44100).Get(), narrow.Get());
    ASSERT_EQ(writer.Prepare(4), 0);
    ASSERT_EQ(writer.Open(name.c_str(), 0), 0);
    const std::vector<uint8_t> frame = {0, 0x40, 0, 0x40};
    EXPECT_EQ(writer.Write(frame.data(), 4), 0);
    EXPECT_EQ(writer.Finish(1), 0);
    const std::vector<uint8_t> file = ReadFileBytes(name);
    const outtest::WaveLayout layout = ParseWave(file);
    ASSERT_TRUE(layout.valid && layout.Find("data"));
    EXPECT_EQ(layout.Find("data")->size, 1u);
}

TEST(WaveFileLayout, HeaderHoldsPlaceholdersUntilClose) {
    const std::string name = Scratch("wave_header") + "\\open.wav";
    const std::vector<uint8_t> data = outtest::PatternBytes(20000);
    WaveFile file;
    ASSERT_EQ(file.Open(name.c_str(), Pcm(44100).Get()), 0);
    ASSERT_EQ(file.Write(int32_t(data.size()), data.data()), 0);
    // The first mmio buffer, with the header, has reached the disk by now.
    const std::vector<uint8_t> during = ReadFileBytes(name);
    ASSERT_GE(during.size(), 56u);
    EXPECT_EQ(U32(during, 4), 0u) << "RIFF length";
    EXPECT_EQ(U32(during, 44), kFactWhileWriting);
    EXPECT_EQ(U32(during, 52), 0u) << "data length";
    EXPECT_EQ(file.Close(5000), 0);
    ASSERT_NO_FATAL_FAILURE(ExpectPcmFile(name, data, 5000));
}

// Brought up to date while open, the header counts exactly what is on disk, so a file left by
// a killed process reads whole; finished, the file is byte for byte the one written without.
TEST(WaveFileLayout, AHeaderBroughtUpToDateCountsWhatIsOnDiskAndLeavesTheEndAsItWas) {
    const std::string dir = Scratch("wave_update");
    const FormatBuffer pcm = Pcm(44100);
    const FormatBuffer ima = outtest::Suggest(44100, 0x0011, 2, 44100);
    ASSERT_FALSE(ima.Empty());
    const std::vector<uint8_t> samples = outtest::SineBytes(44100, 440, 44100 + 7);
    static const int32_t pieces[] = {4, 1000, kBlock, 30000, 17 * 4, 23516};
    for (const WAVEFORMATEX* format : {pcm.Get(), ima.Get()}) {
        SCOPED_TRACE(format->wFormatTag);
        std::vector<uint8_t> finished[2];
        for (int updating = 0; updating < 2; ++updating) {
            const std::string name = dir + "\\take" + std::to_string(format->wFormatTag) +
                                     (updating ? "u" : "") + ".wav";
            WaveFileWriter writer(pcm.Get(), format);
            ASSERT_EQ(writer.Prepare(kBlock), 0);
            ASSERT_EQ(writer.Open(name.c_str(), 0), 0);
            for (size_t at = 0, i = 0; at < samples.size(); ++i) {
                const int32_t count = std::min<int32_t>(pieces[i % 6], int32_t(samples.size() - at));
                writer.Write(samples.data() + at, count);
                at += size_t(count);
                if (!updating) continue;
                ASSERT_EQ(writer.UpdateHeader(uint32_t(at / 4)), 0);
                const std::vector<uint8_t> now = ReadFileBytes(name);
                const outtest::WaveLayout layout = ParseWave(now);
                ASSERT_TRUE(layout.valid) << at;
                EXPECT_EQ(layout.riffSize, now.size() - 8) << at;
                const outtest::Chunk* data = layout.Find("data");
                ASSERT_NE(data, nullptr);
                EXPECT_EQ(data->offset + data->size, now.size()) << "all of it counted, " << at;
                const uint32_t fact = U32(now, layout.Find("fact")->offset);
                EXPECT_LE(fact, at / 4);
                if (format == pcm.Get()) {
                    // The codec stage holds back what does not fill its block.
                    EXPECT_GT(data->size + kBlock, at);
                    EXPECT_EQ(fact, data->size / 4);
                    EXPECT_TRUE(std::equal(now.begin() + long(data->offset), now.end(),
                                           samples.begin()));
                }
            }
            EXPECT_EQ(writer.Finish(uint32_t(samples.size() / 4)), 0);
            finished[updating] = ReadFileBytes(name);
        }
        EXPECT_GT(finished[0].size(), 70u);
        EXPECT_TRUE(finished[0] == finished[1]) << "the finished files differ";
    }
}

TEST(WaveFileLayout, AdpcmFileCarriesItsFormatAndDecodesToItsLength) {
    const FormatBuffer ima = outtest::Suggest(44100, 0x0011, 2, 44100);
    ASSERT_FALSE(ima.Empty());
    const std::string name = Scratch("wave_ima") + "\\ima.wav";
    constexpr int kFrames = 3 * 44100;
    const std::vector<uint8_t> pcm = outtest::SineBytes(44100, 440, kFrames);
    WaveFileWriter writer(Pcm(44100).Get(), ima.Get());
    ASSERT_EQ(writer.Prepare(kBlock), 0);
    ASSERT_EQ(writer.Open(name.c_str(), 0), 0);
    EXPECT_STREQ(writer.GetExtension(), "wav");
    WriteInPieces(writer, pcm);
    EXPECT_EQ(writer.Finish(kFrames), 0);

    const std::vector<uint8_t> file = ReadFileBytes(name);
    const outtest::WaveLayout layout = ParseWave(file);
    ASSERT_TRUE(layout.valid);
    const outtest::Chunk* fmt = layout.Find("fmt ");
    ASSERT_NE(fmt, nullptr);
    const uint32_t recordBytes = FormatSize(ima.Get());
    EXPECT_EQ(fmt->size, recordBytes);
    EXPECT_EQ(fmt->size, 18u + ima.Get()->cbSize);
    EXPECT_EQ(std::memcmp(file.data() + fmt->offset, ima.Bytes(), recordBytes), 0);
    EXPECT_EQ(U32(file, layout.Find("fact")->offset), uint32_t(kFrames));
    const outtest::Chunk* data = layout.Find("data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->size % ima.Get()->nBlockAlign, 0u);

    FormatBuffer decodedFormat;
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(outtest::DecodeToPcm(
        ima.Get(), std::vector<uint8_t>(file.begin() + long(data->offset), file.begin() + long(data->offset + data->size)),
        &decodedFormat, &decoded));
    const int decodedFrames = int(decoded.size() / decodedFormat.Get()->nBlockAlign);
    const int blockFrames = U16(file, fmt->offset + 18);  // IMA: samples per block
    EXPECT_GT(blockFrames, 0);
    EXPECT_LE(std::abs(decodedFrames - kFrames), blockFrames) << decodedFrames << " frames decoded";
}

TEST(WaveFileLayout, Mp3RecordIsWrittenCompleteAsThirtyBytes) {
    const std::string dir = Scratch("wave_mp3");
    struct Case { WORD cbSize; WORD junk; } cases[] = {{0, 0x5555}, {4, 0x1234}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cbSize);
        FormatBuffer record(64);
        WAVEFORMATEX* mp3 = record.Get();
        mp3->wFormatTag = kFormatTagMp3;
        mp3->nChannels = 2;
        mp3->nSamplesPerSec = 44100;
        mp3->nAvgBytesPerSec = 16000;
        mp3->nBlockAlign = 1;
        mp3->cbSize = c.cbSize;
        for (int i = 18; i < 40; i += 2) std::memcpy(record.Bytes() + i, &c.junk, 2);
        const std::string name = dir + "\\t" + std::to_string(c.cbSize) + ".mp3";
        WaveFile file;
        ASSERT_EQ(file.Open(name.c_str(), mp3), 0);
        EXPECT_EQ(file.Close(0), 0);

        const std::vector<uint8_t> bytes = ReadFileBytes(name);
        ASSERT_EQ(bytes.size(), 70u) << "fact at 50, data from 70";
        EXPECT_EQ(U32(bytes, 16), 30u);
        EXPECT_EQ(U16(bytes, 36), 12) << "cbSize";
        EXPECT_EQ(U16(bytes, 38), MPEGLAYER3_ID_MPEG);
        EXPECT_EQ(U32(bytes, 40), DWORD(MPEGLAYER3_FLAG_PADDING_OFF));
        EXPECT_EQ(U16(bytes, 44), 417) << "nBlockSize";
        EXPECT_EQ(U16(bytes, 46), 1);
        EXPECT_EQ(U16(bytes, 48), 1393);
        EXPECT_EQ(std::memcmp(bytes.data() + 50, "fact", 4), 0);
        EXPECT_EQ(std::memcmp(bytes.data() + 62, "data", 4), 0);
    }
}

TEST(WaveFileShortTracks, DeletedBelowTheMinimumOnly) {
    const std::string dir = Scratch("wave_short");
    struct Case { uint32_t minBytes; uint32_t frames; bool deleted; } cases[] = {
        {94080, 23519, true}, {94080, 23520, false}, {0, 0, false}, {94080, 0, true},
    };
    const std::vector<uint8_t> data = outtest::PatternBytes(94080);
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(index);
        const std::string name = dir + "\\short" + std::to_string(index++) + ".wav";
        auto writer = PreparedPcmWriter();
        ASSERT_EQ(writer->Open(name.c_str(), c.minBytes), 0);
        writer->Write(data.data(), int32_t(data.size()));
        EXPECT_EQ(writer->Finish(c.frames), c.deleted ? kSinkTrackDeleted : 0);
        EXPECT_EQ(outtest::FileExists(name), !c.deleted);
        EXPECT_FALSE(writer->IsOpen());
    }
}

// A writer that was never prepared drops every block: its file holds no frames, whatever the
// engine counted, and is deleted when a minimum applies.
TEST(WaveFileShortTracks, ATrackThatReceivedNoBytesHasNoFrames) {
    const std::string dir = Scratch("wave_unprepared");
    const std::vector<uint8_t> data = outtest::PatternBytes(kBlock * 4);
    const FormatBuffer pcm = Pcm(44100);
    for (uint32_t minBytes : {uint32_t(kBlock), 0u}) {
        SCOPED_TRACE(minBytes);
        const std::string name = dir + "\\take" + std::to_string(minBytes) + ".wav";
        WaveFileWriter writer(pcm.Get(), pcm.Get());
        ASSERT_EQ(writer.Open(name.c_str(), minBytes), 0);
        writer.Write(data.data(), int32_t(data.size()));
        EXPECT_EQ(writer.Finish(uint32_t(data.size() / 4)), minBytes ? kSinkTrackDeleted : 0);
        EXPECT_EQ(outtest::FileExists(name), minBytes == 0);
        if (minBytes == 0) ExpectPcmFile(name, {}, 0);
    }
}

TEST(WaveFileMessages, MissingFolderFailsTheOpenWithItsText) {
    const std::string name = Scratch("wave_missing") + "\\no such folder\\track0001.wav";
    // The code comes from mmio itself for the same name.
    std::vector<char> copy(name.begin(), name.end());
    copy.push_back('\0');
    MMIOINFO info = {};
    ASSERT_EQ(mmioOpenA(copy.data(), &info, MMIO_ALLOCBUF | MMIO_CREATE | MMIO_READWRITE), nullptr);
    char expected[kSinkMessageBytes];
    std::snprintf(expected, sizeof expected, "WaveOpenFailed %x on\r\n%s", info.wErrorRet, name.c_str());

    auto writer = PreparedPcmWriter();
    char text[kSinkMessageBytes] = "";
    EXPECT_EQ(writer->GetLastMessage(text), 0) << "nothing to show yet";
    EXPECT_EQ(writer->Open(name.c_str(), 0), kSinkFailed);
    EXPECT_FALSE(writer->IsOpen());
    EXPECT_EQ(writer->GetLastMessage(text), 1);
    EXPECT_STREQ(text, expected);
    EXPECT_NE(std::string(text).find(" on\r\n"), std::string::npos);
    EXPECT_EQ(writer->GetLastMessage(text), 0) << "unchanged text";
    EXPECT_STREQ(text, expected);

    // A second identical failure changes nothing the window sees.
    EXPECT_EQ(writer->Open(name.c_str(), 0), kSinkFailed);
    EXPECT_EQ(writer->GetLastMessage(text), 0);

    // Writing and finishing without a file do no harm.
    const std::vector<uint8_t> data = outtest::PatternBytes(kBlock * 2);
    EXPECT_EQ(writer->Write(data.data(), int32_t(data.size())), 0);
    EXPECT_EQ(writer->Finish(kBlock / 2), kSinkFailed);
    EXPECT_EQ(writer->Close(0), 0);
}

TEST(WaveFileMessages, LongFileNameIsCutToFitTheText) {
    std::string name = Scratch("wave_long") + "\\missing";
    while (name.size() < 300) name += "\\folder";
    name += "\\Side A 0001.wav";
    WaveFile file;
    ASSERT_EQ(file.Open(name.c_str(), Pcm(44100).Get()), kSinkFailed);
    const std::string text = file.MessageText();
    EXPECT_EQ(text.size(), size_t(kSinkMessageBytes - 1));
    EXPECT_EQ(text.compare(0, 15, "WaveOpenFailed "), 0);
    const size_t cut = text.find(" on\r\n...");
    ASSERT_NE(cut, std::string::npos);
    const std::string tail = text.substr(cut + 8);
    EXPECT_EQ(name.compare(name.size() - tail.size(), tail.size(), tail), 0)
        << "the end of the name is kept: " << tail;
    // The code is lower-case hex without leading zeros.
    const std::string code = text.substr(15, cut - 15);
    ASSERT_FALSE(code.empty());
    EXPECT_NE(code[0], '0');
    EXPECT_EQ(code.find_first_not_of("0123456789abcdef"), std::string::npos) << code;
}

// Fails the advance of the mmio buffer from a given call on, without writing, as a full or
// removed disk would; earlier calls go through to mmio. The first `noRoom` failing calls
// answer success but leave the buffer full, as a broken driver might.
struct FailingAdvance {
    static int callsLeft;
    static int noRoom;
    static MMRESULT WINAPI Advance(HMMIO file, LPMMIOINFO info, UINT flags) {
        if (callsLeft-- > 0) return mmioAdvance(file, info, flags);
        if (noRoom-- > 0) return MMSYSERR_NOERROR;
        return MMIOERR_CANNOTWRITE;
    }
};
int FailingAdvance::callsLeft = 0;
int FailingAdvance::noRoom = 0;

class WaveFileFailure : public testing::Test {
protected:
    static WaveFileApi FailingApi() {
        WaveFileApi api;
        api.advance = FailingAdvance::Advance;
        return api;
    }
};

TEST_F(WaveFileFailure, FailedWriteKeepsWhatReachedTheFile) {
    const std::string dir = Scratch("wave_fail");
    const std::string name = dir + "\\take0001.wav";
    const std::vector<uint8_t> data = outtest::PatternBytes(kBlock * 5);
    FailingAdvance::callsLeft = 2;  // two buffers reach the disk, the third does not

    auto writer = PreparedPcmWriter(FailingApi());
    ASSERT_EQ(writer->Open(name.c_str(), 8000), 0);
    EXPECT_EQ(writer->Write(data.data(), int32_t(data.size())), 0) << "the caller is told success";
    ExpectClosedByAdvance(*writer, MMIOERR_CANNOTWRITE);

    // Two 8192-byte mmio buffers reached the disk: the header and the first samples. Where
    // the first buffer starts is mmio's affair, so the kept length comes from the file.
    const size_t fileBytes = ReadFileBytes(name).size();
    ASSERT_GT(fileBytes, 56u);
    const uint32_t kept = uint32_t(fileBytes - 56);
    EXPECT_EQ(kept % 4, 0u) << "whole frames only";
    EXPECT_GE(kept, 2u * 8192 - 56 - 4);
    EXPECT_LE(kept, 2u * 8192);
    ASSERT_NO_FATAL_FAILURE(
        ExpectPcmFile(name, std::vector<uint8_t>(data.begin(), data.begin() + kept), kept / 4));

    // The next block opens the next file, which is written in full.
    FailingAdvance::callsLeft = INT_MAX;
    const std::string next = dir + "\\take0002.wav";
    ASSERT_EQ(writer->Open(next.c_str(), 8000), 0);
    writer->Write(data.data(), int32_t(data.size()));
    EXPECT_EQ(writer->Finish(uint32_t(data.size() / 4)), 0);
    ASSERT_NO_FATAL_FAILURE(ExpectPcmFile(next, data, uint32_t(data.size() / 4)));
}

// An advance that answers success without room would write nothing for ever: it ends the file.
TEST_F(WaveFileFailure, AnAdvanceThatGivesNoRoomIsAFailure) {
    FailingAdvance::callsLeft = 2;
    FailingAdvance::noRoom = 1;
    auto writer = PreparedPcmWriter(FailingApi());
    ASSERT_EQ(writer->Open((Scratch("wave_no_room") + "\\take.wav").c_str(), 8000), 0);
    const std::vector<uint8_t> data = outtest::PatternBytes(kBlock * 5);
    writer->Write(data.data(), int32_t(data.size()));
    FailingAdvance::noRoom = 0;
    ExpectClosedByAdvance(*writer, MMIOERR_CANNOTEXPAND);
}

// The track a failed write interrupts goes on in another file, so its minimum is not this
// file's to apply: any frame kept keeps the file, and only a file that kept none goes.
TEST_F(WaveFileFailure, AFailedWriteKeepsAnyFrameAndDropsAFileWithout) {
    const std::string dir = Scratch("wave_fail_short");
    const std::vector<uint8_t> data = outtest::PatternBytes(kBlock * 2);
    struct Case { int buffersWritten; bool headerFirst; uint32_t minBytes; const char* name; bool kept; };
    const Case cases[] = {
        {2, false, kBlock, "\\short.wav", true},  // 16328 bytes of samples, minimum 23520
        {0, false, kBlock, "\\nothing.wav", false},  // not even the header arrived
        {0, true, 0, "\\header.wav", false},  // the header, and no sample
        {4, false, kBlock, "\\enough.wav", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FailingAdvance::callsLeft = c.buffersWritten;
        const std::string name = dir + c.name;
        auto writer = PreparedPcmWriter(FailingApi());
        ASSERT_EQ(writer->Open(name.c_str(), c.minBytes), 0);
        if (c.headerFirst) ASSERT_EQ(writer->UpdateHeader(0), 0);
        writer->Write(data.data(), int32_t(data.size()));
        EXPECT_FALSE(writer->IsOpen());
        EXPECT_EQ(outtest::FileExists(name), c.kept);
    }
}

// A header update the disk refuses, at any of its calls, closes the file with the samples that
// reached it and a header that counts them, and says so.
struct FailingHeaderCall {
    static int failing;  // 0: setInfo, 1: the seek to the header, 2: flush, 3: the seek back
    static int seeks;
    static MMRESULT WINAPI SetInfo(HMMIO h, LPCMMIOINFO info, UINT flags) {
        return failing == 0 ? MMIOERR_CANNOTWRITE : mmioSetInfo(h, info, flags);
    }
    static LONG WINAPI Seek(HMMIO h, LONG offset, int origin) {
        return failing == 1 + 2 * (seeks++ % 2) ? -1 : mmioSeek(h, offset, origin);
    }
    static MMRESULT WINAPI Flush(HMMIO h, UINT flags) {
        return failing == 2 ? MMIOERR_CANNOTWRITE : mmioFlush(h, flags);
    }
};
int FailingHeaderCall::failing = 0;
int FailingHeaderCall::seeks = 0;

TEST_F(WaveFileFailure, AHeaderUpdateTheDiskRefusesClosesTheFileAsItStands) {
    const std::string dir = Scratch("wave_header_fail");
    const std::vector<uint8_t> data = outtest::PatternBytes(kBlock * 3);
    WaveFileApi api;
    api.setInfo = &FailingHeaderCall::SetInfo;
    api.seek = &FailingHeaderCall::Seek;
    api.flush = &FailingHeaderCall::Flush;
    for (int failing = 0; failing < 4; ++failing) {
        SCOPED_TRACE(failing);
        const std::string name = dir + "\\take" + std::to_string(failing) + ".wav";
        FailingHeaderCall::failing = -1;
        FailingHeaderCall::seeks = 0;
        auto writer = PreparedPcmWriter(api);
        ASSERT_EQ(writer->Open(name.c_str(), 0), 0);
        writer->Write(data.data(), int32_t(data.size()));
        FailingHeaderCall::failing = failing;
        EXPECT_EQ(writer->UpdateHeader(uint32_t(data.size() / 4)), kSinkFailed);
        EXPECT_FALSE(writer->IsOpen());
        char text[kSinkMessageBytes] = "";
        writer->GetLastMessage(text);
        EXPECT_EQ(std::string(text).rfind("Header update ", 0), 0u) << text;
        const std::vector<uint8_t> file = ReadFileBytes(name);
        ASSERT_GT(file.size(), 56u);
        const outtest::WaveLayout layout = ParseWave(file);
        ASSERT_TRUE(layout.valid && layout.Find("data"));
        EXPECT_EQ(layout.riffSize, file.size() - 8);
        EXPECT_EQ(layout.Find("data")->offset + layout.Find("data")->size, file.size());
        EXPECT_TRUE(std::equal(file.begin() + 56, file.end(), data.begin()));
    }
}

// The samples of an open file are put on the disk every ten seconds of header updates, and a
// finished file at its close, through the file's own handle.
struct CountingDiskFlush {
    static DWORD now;
    static std::vector<BOOL> results;
    static DWORD WINAPI Tick() { return now; }
    static BOOL WINAPI Flush(HANDLE file) {
        results.push_back(FlushFileBuffers(file));
        return results.back();
    }
};
DWORD CountingDiskFlush::now = 0;
std::vector<BOOL> CountingDiskFlush::results;

TEST(WaveFileDiskFlush, EveryTenSecondsAndAtTheClose) {
    WaveFileApi api;
    api.tickCount = &CountingDiskFlush::Tick;
    api.flushToDisk = &CountingDiskFlush::Flush;
    CountingDiskFlush::now = 0xFFFFF000;  // the tick count wraps in between
    CountingDiskFlush::results.clear();
    const std::vector<uint8_t> data = outtest::PatternBytes(kBlock);
    auto writer = PreparedPcmWriter(api);
    ASSERT_EQ(writer->Open((Scratch("wave_disk_flush") + "\\take.wav").c_str(), 0), 0);
    const struct { DWORD advance; size_t flushes; } steps[] = {
        {4000, 0}, {kDiskFlushMilliseconds - 4001, 0}, {1, 1}, {kDiskFlushMilliseconds - 1, 1},
        {1, 2},
    };
    for (const auto& step : steps) {
        CountingDiskFlush::now += step.advance;
        writer->Write(data.data(), int32_t(data.size()));
        ASSERT_EQ(writer->UpdateHeader(0), 0);
        EXPECT_EQ(CountingDiskFlush::results.size(), step.flushes) << CountingDiskFlush::now;
    }
    EXPECT_EQ(writer->Finish(0), 0);
    ASSERT_EQ(CountingDiskFlush::results.size(), 3u);
    for (BOOL flushed : CountingDiskFlush::results) EXPECT_TRUE(flushed) << "not the file's handle";
}

// Moves the mmio buffer on without writing it: the file grows in the writer's count only.
MMRESULT WINAPI DiscardingAdvance(HMMIO, LPMMIOINFO info, UINT) {
    info->pchNext = info->pchBuffer;
    info->dwFlags &= ~MMIO_DIRTY;
    return MMSYSERR_NOERROR;
}

TEST_F(WaveFileFailure, TheWriteThatWouldPassTwoGigabytesEndsTheFileInstead) {
    WaveFileApi discarding;
    discarding.advance = &DiscardingAdvance;
    WaveFile file(discarding);
    ASSERT_EQ(file.Open((Scratch("wave_full") + "\\full.wav").c_str(), Pcm().Get()), 0);
    const std::vector<uint8_t> megabyte(1 << 20, 0x5A);
    for (int i = 0; i < 2047; ++i) {  // with the 56-byte header, 2047 MB fit
        ASSERT_EQ(file.Write(int32_t(megabyte.size()), megabyte.data()), 0) << i;
    }
    // What is left fills the file to the limit, with no room for the pad byte an odd size
    // needs.
    const std::vector<uint8_t> rest(kMaxWaveFileBytes - 56 - 2047u * megabyte.size(), 0x5A);
    int32_t stored = -1;
    EXPECT_EQ(file.Write(int32_t(rest.size()), rest.data(), &stored), kSinkFileFull);
    EXPECT_EQ(stored, 0);
    EXPECT_FALSE(file.IsOpen());
    // The seam kept every byte off the disk, so the close after the refused write also finds the
    // file short on disk, and that text, the later one, is what the user sees.
    EXPECT_EQ(std::string(file.MessageText()).rfind("WaveWriteFailed on\r\n", 0), 0u)
        << file.MessageText();
}

TEST(WaveFileLifetime, ChainDeletedWhileOpenKeepsTheTake) {
    const std::string dir = Scratch("wave_deleted");
    const std::vector<uint8_t> data = outtest::PatternBytes(kBlock * 3);
    {
        auto writer = PreparedPcmWriter();
        ASSERT_EQ(writer->Open((dir + "\\kept.wav").c_str(), kBlock), 0);
        writer->Write(data.data(), int32_t(data.size()));
    }
    ASSERT_NO_FATAL_FAILURE(ExpectPcmFile(dir + "\\kept.wav", data, uint32_t(data.size() / 4)));
    {
        auto writer = PreparedPcmWriter();
        ASSERT_EQ(writer->Open((dir + "\\short.wav").c_str(), kBlock * 4), 0);
        writer->Write(data.data(), int32_t(data.size()));
    }
    EXPECT_FALSE(outtest::FileExists(dir + "\\short.wav")) << "shorter than its minimum";
}

}  // namespace
