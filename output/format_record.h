// Format records: a WAVEFORMATEX followed by its cbSize extra bytes, the routines the output
// side shares on them, and FormatBuffer, the owning buffer such a record lives in.
//
// Records chosen or suggested by the codec manager live in buffers of maxFormatSize + 18
// bytes, maxFormatSize being the manager's largest record (ReadMaxFormatSize). Records are
// always copied, never shared.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint32_t kFormatHeaderBytes = 18;   // a WAVEFORMATEX up to and including cbSize
constexpr uint32_t kPcmFormatFileBytes = 16;  // a PCM record without cbSize, as in a file
constexpr WORD kFormatTagPcm = WAVE_FORMAT_PCM;
constexpr WORD kFormatTagFloat = 0x0003;      // IEEE float samples
constexpr WORD kFormatTagExtensible = 0xFFFE;  // WAVE_FORMAT_EXTENSIBLE
constexpr uint32_t kExtensibleFormatBytes = 40;  // WAVEFORMATEXTENSIBLE
constexpr WORD kFormatTagMp3 = 0x0055;        // MPEG Layer-3
constexpr WORD kMp3ExtraBytes = 12;           // the MPEGLAYER3WAVEFORMAT fields after cbSize
constexpr uint32_t kMp3FormatBytes = kFormatHeaderBytes + kMp3ExtraBytes;  // 30
// PCM at this rate is the output format before any choice, and the one recorded when the
// chosen format cannot be built.
constexpr uint32_t kDefaultOutputRate = 44100;

// 18 for PCM (whatever its cbSize says), otherwise 18 + cbSize.
uint32_t FormatSize(const WAVEFORMATEX* record);

// Same tag and the same first FormatSize(a) bytes.
bool FormatsEqual(const WAVEFORMATEX* a, const WAVEFORMATEX* b);

// Copies FormatSize(source) bytes into target, which must have room for them; returns target.
WAVEFORMATEX* CopyFormat(WAVEFORMATEX* target, const WAVEFORMATEX* source);

// Clears 18 bytes and writes 16-bit stereo PCM at `rate` samples per second.
void MakePcmFormat(WAVEFORMATEX* record, uint32_t rate);

// The speakers players expect of `channels` channels in a WAVE_FORMAT_EXTENSIBLE record:
// front centre for one, front left and right for two, then the usual layouts up to 7.1; 0 (no
// speakers named) past eight.
uint32_t DefaultChannelMask(uint16_t channels);

class FormatBuffer;
// A record of plain samples as a WAV file takes it: PCM for integers of up to 16 bits in one
// or two channels, IEEE float (tag 3) for floats in one or two channels, else
// WAVE_FORMAT_EXTENSIBLE, which more bits or channels need, with its valid bits, the channel
// mask (`channelMask`, or DefaultChannelMask when 0) and the samples' subformat (PCM or IEEE
// float). False when memory is short.
bool MakeSampleFormat(FormatBuffer& record, uint32_t rate, uint16_t channels, uint16_t bits,
                      bool isFloat, uint32_t channelMask = 0);

// For an MPEG Layer-3 record (tag 0x0055) only: supplies the 12 extra bytes and a block size
// when they are missing. The record must have room for 30 bytes.
void CompleteMp3Format(WAVEFORMATEX* record);

// The largest format record of any installed codec (acmMetrics); 0 when the manager fails.
uint32_t ReadMaxFormatSize();

// An owning, zero-filled buffer for one format record. It always holds at least 30 bytes, so
// CompleteMp3Format can be used on any record kept in one. Copying copies the bytes.
class FormatBuffer {
public:
    FormatBuffer() = default;
    explicit FormatBuffer(size_t size) { Allocate(size); }

    // A fresh zeroed buffer of `size` bytes (at least 30); false when memory is short, and
    // then the buffer is empty.
    bool Allocate(size_t size);
    // A buffer of max(FormatSize(record), minSize) bytes holding a copy of the record.
    bool Assign(const WAVEFORMATEX* record, size_t minSize = 0);

    WAVEFORMATEX* Get() { return Empty() ? nullptr : reinterpret_cast<WAVEFORMATEX*>(bytes_.data()); }
    const WAVEFORMATEX* Get() const {
        return Empty() ? nullptr : reinterpret_cast<const WAVEFORMATEX*>(bytes_.data());
    }
    uint8_t* Bytes() { return bytes_.data(); }
    const uint8_t* Bytes() const { return bytes_.data(); }
    size_t Size() const { return bytes_.size(); }
    bool Empty() const { return bytes_.empty(); }

private:
    std::vector<uint8_t> bytes_;
};

// A new buffer holding a copy of the record: CopyFormat without a target.
FormatBuffer CopyFormat(const WAVEFORMATEX* source);
