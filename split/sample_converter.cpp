// SampleConverter: wide PCM and float samples to 16 bits, as a stage of the input chain.
#include "split/sample_converter.h"

#include <mmreg.h>

#include <new>

#include "dsp/sample_convert.h"
#include "output/format_record.h"

bool IsWideSampleFormat(const WAVEFORMATEX* format) {
    const WORD bits = format->wBitsPerSample;
    if (format->wFormatTag == kFormatTagFloat) return bits == 32 || bits == 64;
    return format->wFormatTag == kFormatTagPcm && (bits == 24 || bits == 32);
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
        NarrowSamples(input, size_t(piece), bits_, isFloat_, narrow_.get());
        input += piece * sampleBytes;
        const int32_t written = PassThroughSink::Write(narrow_.get(), piece * 2);
        if (result == 0) result = written;
        samples -= piece;
    }
    return result;
}
