// Format record routines: sizes, comparison, MPEG Layer-3 completion and the owning buffer.
#include <gtest/gtest.h>

#include <cstring>

#include "output/format_record.h"

namespace {

MPEGLAYER3WAVEFORMAT* Mp3(FormatBuffer& buffer) {
    return reinterpret_cast<MPEGLAYER3WAVEFORMAT*>(buffer.Get());
}

FormatBuffer Record(WORD tag, WORD cbSize, DWORD rate = 44100, DWORD avgBytes = 16000) {
    FormatBuffer buffer(64);
    WAVEFORMATEX* record = buffer.Get();
    record->wFormatTag = tag;
    record->nChannels = 2;
    record->nSamplesPerSec = rate;
    record->nAvgBytesPerSec = avgBytes;
    record->nBlockAlign = 1;
    record->cbSize = cbSize;
    return buffer;
}

TEST(FormatRecord, SizeIsEighteenForPcmWhateverItsCbSize) {
    struct Case { WORD tag; WORD cbSize; uint32_t size; } cases[] = {
        {WAVE_FORMAT_PCM, 0, 18}, {WAVE_FORMAT_PCM, 22, 18}, {0x0011, 2, 20},
        {0x0002, 32, 50}, {kFormatTagMp3, 12, 30}, {kFormatTagMp3, 0, 18},
    };
    for (const Case& c : cases) {
        FormatBuffer record = Record(c.tag, c.cbSize);
        EXPECT_EQ(FormatSize(record.Get()), c.size) << "tag " << c.tag << " cbSize " << c.cbSize;
    }
}

TEST(FormatRecord, EqualityCoversTagHeaderAndExtraBytesOnly) {
    FormatBuffer a = Record(0x0011, 2);
    FormatBuffer b = Record(0x0011, 2);
    a.Bytes()[18] = b.Bytes()[18] = 0xF9;
    a.Bytes()[25] = 0x11;  // beyond the extra bytes: not part of the record
    EXPECT_TRUE(FormatsEqual(a.Get(), b.Get()));

    b.Bytes()[19] = 0x01;  // inside the extra bytes
    EXPECT_FALSE(FormatsEqual(a.Get(), b.Get()));

    FormatBuffer pcm = Record(WAVE_FORMAT_PCM, 0);
    FormatBuffer pcmOtherCbSize = Record(WAVE_FORMAT_PCM, 5);
    // A PCM record is 18 bytes: cbSize counts, the bytes after it do not.
    EXPECT_FALSE(FormatsEqual(pcm.Get(), pcmOtherCbSize.Get()));
    pcmOtherCbSize.Get()->cbSize = 0;
    pcmOtherCbSize.Bytes()[18] = 0x77;
    EXPECT_TRUE(FormatsEqual(pcm.Get(), pcmOtherCbSize.Get()));

    FormatBuffer otherTag = Record(0x0007, 0);
    FormatBuffer sameBytes = Record(0x0007, 0);
    sameBytes.Get()->wFormatTag = 0x0006;
    EXPECT_FALSE(FormatsEqual(otherTag.Get(), sameBytes.Get()));
}

TEST(FormatRecord, MakePcmFormatWritesStereoSixteenBitAndClearsCbSize) {
    FormatBuffer buffer(64);
    std::memset(buffer.Bytes(), 0xAB, buffer.Size());
    MakePcmFormat(buffer.Get(), 25442);
    const WAVEFORMATEX* record = buffer.Get();
    EXPECT_EQ(record->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(record->nChannels, 2);
    EXPECT_EQ(record->nSamplesPerSec, 25442u);
    EXPECT_EQ(record->nAvgBytesPerSec, 25442u * 4);
    EXPECT_EQ(record->nBlockAlign, 4);
    EXPECT_EQ(record->wBitsPerSample, 16);
    EXPECT_EQ(record->cbSize, 0);
    EXPECT_EQ(buffer.Bytes()[18], 0xAB) << "only the 18 bytes of the record are written";
}

TEST(FormatRecord, CompleteMp3FormatFillsMissingExtraBytes) {
    struct Case { DWORD rate; DWORD avgBytes; WORD blockSize; } cases[] = {
        {44100, 16000, 417},  // 128 kbit/s: 1152 samples per frame
        {22050, 4000, 104},   // 32 kbit/s below 32000 Hz: 576 samples per frame
        {32000, 16000, 576},  // 32000 Hz takes the long frame
        {8000, 1000, 72},
    };
    for (const Case& c : cases) {
        FormatBuffer buffer = Record(kFormatTagMp3, 0, c.rate, c.avgBytes);
        Mp3(buffer)->nBlockSize = 999;  // left over behind a record without extra bytes
        CompleteMp3Format(buffer.Get());
        const MPEGLAYER3WAVEFORMAT* mp3 = Mp3(buffer);
        EXPECT_EQ(mp3->wfx.cbSize, 12);
        EXPECT_EQ(mp3->wID, MPEGLAYER3_ID_MPEG);
        EXPECT_EQ(mp3->fdwFlags, DWORD(MPEGLAYER3_FLAG_PADDING_OFF));
        EXPECT_EQ(mp3->nFramesPerBlock, 1);
        EXPECT_EQ(mp3->nCodecDelay, 1393);
        EXPECT_EQ(mp3->nBlockSize, c.blockSize) << c.rate << " Hz, " << c.avgBytes << " bytes/s";
    }
}

TEST(FormatRecord, CompleteMp3FormatKeepsACompleteRecordAndIgnoresOtherTags) {
    FormatBuffer complete = Record(kFormatTagMp3, 12);
    Mp3(complete)->nBlockSize = 417;
    Mp3(complete)->wID = 2;
    Mp3(complete)->fdwFlags = 0;
    Mp3(complete)->nCodecDelay = 7;
    const FormatBuffer before = complete;
    CompleteMp3Format(complete.Get());
    EXPECT_EQ(std::memcmp(complete.Bytes(), before.Bytes(), complete.Size()), 0);

    // Twelve extra bytes without a block size: the fields are set and the size computed.
    FormatBuffer noBlockSize = Record(kFormatTagMp3, 12);
    Mp3(noBlockSize)->wID = 2;
    CompleteMp3Format(noBlockSize.Get());
    EXPECT_EQ(Mp3(noBlockSize)->wID, MPEGLAYER3_ID_MPEG);
    EXPECT_EQ(Mp3(noBlockSize)->nBlockSize, 417);

    FormatBuffer ima = Record(0x0011, 2);
    const FormatBuffer imaBefore = ima;
    CompleteMp3Format(ima.Get());
    EXPECT_EQ(std::memcmp(ima.Bytes(), imaBefore.Bytes(), ima.Size()), 0);
}

TEST(FormatBuffer, HoldsAtLeastAnMp3RecordAndCopiesBytes) {
    FormatBuffer small(18);
    EXPECT_GE(small.Size(), size_t(kMp3FormatBytes));

    FormatBuffer ima = Record(0x0011, 2);
    ima.Bytes()[18] = 0xF9;
    ima.Bytes()[19] = 0x07;
    FormatBuffer copy = CopyFormat(ima.Get());
    EXPECT_TRUE(FormatsEqual(copy.Get(), ima.Get()));

    // Copying a record into the buffer it lives in, and growing it on the way.
    ASSERT_TRUE(copy.Assign(copy.Get(), 200));
    EXPECT_EQ(copy.Size(), 200u);
    EXPECT_TRUE(FormatsEqual(copy.Get(), ima.Get()));

    FormatBuffer target(64);
    EXPECT_EQ(CopyFormat(target.Get(), ima.Get()), target.Get());
    EXPECT_TRUE(FormatsEqual(target.Get(), ima.Get()));
}

TEST(FormatRecord, MaxFormatSizeCoversTheInstalledCodecs) {
    // MS ADPCM's record, with its coefficient table, is the largest of Wine's codecs.
    EXPECT_GE(ReadMaxFormatSize(), 50u);
}

}  // namespace
