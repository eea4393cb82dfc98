// SampleConverter: wide PCM and float samples to 16 bits, as a stage of the input chain.
#include "split/sample_converter.h"

#include <mmreg.h>

#include <new>

#include "dsp/sample_convert.h"
#include "output/format_record.h"

namespace {

constexpr uint16_t kEngineChannels = 2;

bool IsPlainSamples(const WAVEFORMATEX* format) {
    const WORD bits = format->wBitsPerSample;
    if (format->wFormatTag == kFormatTagFloat) return bits == 32 || bits == 64;
    return format->wFormatTag == kFormatTagPcm && bits % 8 == 0 && bits >= 8 && bits <= 32;
}

}  // namespace

bool ConvertsSampleFormat(const WAVEFORMATEX* format) {
    const bool wide = format->wBitsPerSample > 16 || format->wFormatTag == kFormatTagFloat;
    return IsPlainSamples(format) && (wide || format->nChannels > kEngineChannels);
}

uint16_t ConvertedChannels(const WAVEFORMATEX* format) {
    return format->nChannels < kEngineChannels ? format->nChannels : kEngineChannels;
}

SampleConverter::SampleConverter(const WAVEFORMATEX* source, std::unique_ptr<OutputSink> successor)
    : PassThroughSink(std::move(successor)),
      bits_(source->wBitsPerSample),
      isFloat_(source->wFormatTag == kFormatTagFloat),
      channels_(source->nChannels),
      kept_(ConvertedChannels(source)) {}

int32_t SampleConverter::Prepare(int32_t sourceBlockBytes) {
    sourceBlockBytes_ = sourceBlockBytes;
    narrowFrames_ = sourceBlockBytes / (bits_ / 8 * channels_);
    const size_t values = size_t(narrowFrames_ > 0 ? narrowFrames_ : 1) * kept_;
    narrow_.reset(new (std::nothrow) int16_t[values]);
    if (!narrow_ || narrowFrames_ <= 0) return kSinkFailed;
    return Successor()->Prepare(narrowFrames_ * kept_ * 2);
}

int32_t SampleConverter::Write(const void* bytes, int32_t count) {
    if (!narrow_) return kSinkFailed;
    const int32_t sampleBytes = bits_ / 8, frameBytes = sampleBytes * channels_;
    const uint8_t* input = static_cast<const uint8_t*>(bytes);
    int32_t frames = count > 0 ? count / frameBytes : 0;
    int32_t result = 0;
    while (frames > 0) {
        const int32_t piece = frames < narrowFrames_ ? frames : narrowFrames_;
        if (kept_ == channels_) {
            NarrowSamples(input, size_t(piece) * kept_, bits_, isFloat_, narrow_.get());
        } else {
            for (int32_t frame = 0; frame < piece; ++frame) {
                NarrowSamples(input + frame * frameBytes, kept_, bits_, isFloat_,
                              narrow_.get() + size_t(frame) * kept_);
            }
        }
        input += piece * frameBytes;
        const int32_t written = PassThroughSink::Write(narrow_.get(), piece * kept_ * 2);
        if (result == 0) result = written;
        frames -= piece;
    }
    return result;
}
