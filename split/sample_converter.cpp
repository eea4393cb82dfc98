// SampleConverter: wide PCM and float samples to 16 bits, rounded and clipped.
#include "split/sample_converter.h"

#include <mmreg.h>

#include <cmath>
#include <cstring>
#include <new>

#include "output/format_record.h"

namespace {

constexpr WORD kFormatTagFloat = WAVE_FORMAT_IEEE_FLOAT;
constexpr double kFloatFullScale = 32768.0;

int16_t Clip(int64_t value) {
    return int16_t(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

// Division rounding toward minus infinity, whatever the sign.
int64_t FloorDivide(int64_t value, int64_t divisor) {
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

// The signed integer in the `bytes` low bytes of a little-endian sample.
int64_t SignedInteger(const uint8_t* bytes, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    const uint64_t sign = uint64_t(1) << (8 * count - 1);
    return int64_t(value ^ sign) - int64_t(sign);
}

}  // namespace

bool IsWideSampleFormat(const WAVEFORMATEX* format) {
    const WORD bits = format->wBitsPerSample;
    if (format->wFormatTag == kFormatTagFloat) return bits == 32 || bits == 64;
    return format->wFormatTag == kFormatTagPcm && (bits == 24 || bits == 32);
}

int16_t NarrowSample(const uint8_t* bytes, WORD bits, bool isFloat) {
    if (!isFloat) {
        // Half a step of the 16-bit scale added, then rounded down: the nearest value, halves
        // upward.
        const int64_t step = int64_t(1) << (bits - 16);
        return Clip(FloorDivide(SignedInteger(bytes, bits / 8) + step / 2, step));
    }
    double value;
    if (bits == 64) {
        std::memcpy(&value, bytes, sizeof value);
    } else {
        float single;
        std::memcpy(&single, bytes, sizeof single);
        value = single;
    }
    if (std::isnan(value)) return 0;
    const double scaled = std::floor(value * kFloatFullScale + 0.5);
    return Clip(scaled < -65536.0 ? -65536 : scaled > 65536.0 ? 65536 : int64_t(scaled));
}

SampleConverter::SampleConverter(const WAVEFORMATEX* source, std::unique_ptr<OutputSink> successor)
    : PassThroughSink(std::move(successor)),
      bits_(source->wBitsPerSample),
      isFloat_(source->wFormatTag == kFormatTagFloat) {}

int32_t SampleConverter::Prepare(int32_t sourceBlockBytes) {
    sourceBlockBytes_ = sourceBlockBytes;
    narrowCount_ = sourceBlockBytes / (bits_ / 8);
    narrow_.reset(new (std::nothrow) int16_t[size_t(narrowCount_ > 0 ? narrowCount_ : 1)]);
    if (!narrow_ || narrowCount_ <= 0) return kSinkFailed;
    return Successor()->Prepare(narrowCount_ * 2);
}

int32_t SampleConverter::Write(const void* bytes, int32_t count) {
    if (!narrow_) return kSinkFailed;
    const int sampleBytes = bits_ / 8;
    const uint8_t* input = static_cast<const uint8_t*>(bytes);
    int32_t samples = count > 0 ? count / sampleBytes : 0;
    int32_t result = 0;
    while (samples > 0) {
        const int32_t piece = samples < narrowCount_ ? samples : narrowCount_;
        for (int32_t i = 0; i < piece; ++i, input += sampleBytes) {
            narrow_[size_t(i)] = NarrowSample(input, bits_, isFloat_);
        }
        const int32_t written = PassThroughSink::Write(narrow_.get(), piece * 2);
        if (result == 0) result = written;
        samples -= piece;
    }
    return result;
}
