// Format record routines and FormatBuffer.
#include "output/format_record.h"

#include <mmsystem.h>
#include <msacm.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr DWORD kMp3CodecDelay = 1393;         // the usual encoder delay in samples
constexpr uint32_t kMp3FrameSamplesLow = 576;  // samples per frame below 32000 Hz (MPEG-2)
constexpr uint32_t kMp3FrameSamples = 1152;    // samples per frame from 32000 Hz (MPEG-1)
constexpr uint32_t kMp3LowRateLimit = 32000;

// The speakers of the usual layouts, by their count: mono (front centre), stereo, front and
// centre, quad, quad and centre, 5.1, 6.1, 7.1.
constexpr uint32_t kChannelMasks[] = {0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};
constexpr WORD kExtensibleExtraBytes = kExtensibleFormatBytes - kFormatHeaderBytes;  // 22
// The SubFormat GUID after its first 4 bytes (the format tag): KSDATAFORMAT_SUBTYPE_PCM and
// _IEEE_FLOAT differ only there.
constexpr uint8_t kSubFormatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                        0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr size_t kValidBitsAt = 18, kChannelMaskAt = 20, kSubFormatAt = 24;

}  // namespace

uint32_t FormatSize(const WAVEFORMATEX* record) {
    if (record->wFormatTag == kFormatTagPcm) return kFormatHeaderBytes;
    return kFormatHeaderBytes + record->cbSize;
}

bool FormatsEqual(const WAVEFORMATEX* a, const WAVEFORMATEX* b) {
    if (a->wFormatTag != b->wFormatTag) return false;
    return std::memcmp(a, b, FormatSize(a)) == 0;
}

WAVEFORMATEX* CopyFormat(WAVEFORMATEX* target, const WAVEFORMATEX* source) {
    std::memmove(target, source, FormatSize(source));
    return target;
}

FormatBuffer CopyFormat(const WAVEFORMATEX* source) {
    FormatBuffer copy;
    copy.Assign(source);
    return copy;
}

void MakePcmFormat(WAVEFORMATEX* record, uint32_t rate) {
    std::memset(record, 0, kFormatHeaderBytes);
    record->wFormatTag = kFormatTagPcm;
    record->nChannels = 2;
    record->nSamplesPerSec = rate;
    record->nAvgBytesPerSec = rate * 4;
    record->nBlockAlign = 4;
    record->wBitsPerSample = 16;
}

uint32_t DefaultChannelMask(uint16_t channels) {
    const size_t layouts = sizeof kChannelMasks / sizeof kChannelMasks[0];
    return channels >= 1 && channels <= layouts ? kChannelMasks[channels - 1] : 0;
}

bool MakeSampleFormat(FormatBuffer& record, uint32_t rate, uint16_t channels, uint16_t bits,
                      bool isFloat, uint32_t channelMask) {
    const bool extensible = channels > 2 || (!isFloat && bits > 16);
    if (!record.Allocate(extensible ? kExtensibleFormatBytes : kFormatHeaderBytes)) return false;
    WAVEFORMATEX* format = record.Get();
    const WORD tag = isFloat ? kFormatTagFloat : kFormatTagPcm;
    format->wFormatTag = extensible ? kFormatTagExtensible : tag;
    format->nChannels = channels;
    format->nSamplesPerSec = rate;
    format->nBlockAlign = WORD(channels * (bits / 8));
    format->nAvgBytesPerSec = rate * format->nBlockAlign;
    format->wBitsPerSample = bits;
    if (!extensible) return true;
    format->cbSize = kExtensibleExtraBytes;
    uint8_t* bytes = record.Bytes();
    const WORD validBits = bits;
    const DWORD mask = channelMask ? channelMask : DefaultChannelMask(channels);
    std::memcpy(bytes + kValidBitsAt, &validBits, sizeof validBits);
    std::memcpy(bytes + kChannelMaskAt, &mask, sizeof mask);
    const DWORD subTag = tag;
    std::memcpy(bytes + kSubFormatAt, &subTag, sizeof subTag);
    std::memcpy(bytes + kSubFormatAt + sizeof subTag, kSubFormatTail, sizeof kSubFormatTail);
    return true;
}

void CompleteMp3Format(WAVEFORMATEX* record) {
    if (record->wFormatTag != kFormatTagMp3) return;
    auto* mp3 = reinterpret_cast<MPEGLAYER3WAVEFORMAT*>(record);
    if (record->cbSize == kMp3ExtraBytes && mp3->nBlockSize != 0) return;
    // Without its extra bytes the block size field holds whatever followed the record.
    if (record->cbSize != kMp3ExtraBytes) mp3->nBlockSize = 0;
    record->cbSize = kMp3ExtraBytes;
    mp3->wID = MPEGLAYER3_ID_MPEG;
    mp3->fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
    mp3->nCodecDelay = kMp3CodecDelay;
    mp3->nFramesPerBlock = 1;
    if (mp3->nBlockSize == 0 && record->nSamplesPerSec != 0) {
        const uint32_t frameSamples =
            record->nSamplesPerSec < kMp3LowRateLimit ? kMp3FrameSamplesLow : kMp3FrameSamples;
        mp3->nBlockSize = WORD(frameSamples * record->nAvgBytesPerSec / record->nSamplesPerSec);
    }
}

uint32_t ReadMaxFormatSize() {
    DWORD size = 0;
    if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size) != MMSYSERR_NOERROR) return 0;
    return size;
}

bool FormatBuffer::Allocate(size_t size) {
    bytes_.clear();
    try {
        bytes_.assign(std::max<size_t>(size, kMp3FormatBytes), 0);
    } catch (const std::bad_alloc&) {
        bytes_.clear();
        return false;
    }
    return true;
}

bool FormatBuffer::Assign(const WAVEFORMATEX* record, size_t minSize) {
    const uint32_t size = FormatSize(record);
    const auto* first = reinterpret_cast<const uint8_t*>(record);
    try {
        // Built aside first: the record may live in this very buffer.
        std::vector<uint8_t> copy(std::max<size_t>({size, minSize, kMp3FormatBytes}), 0);
        std::memcpy(copy.data(), first, size);
        bytes_.swap(copy);
    } catch (const std::bad_alloc&) {
        bytes_.clear();
        return false;
    }
    return true;
}
