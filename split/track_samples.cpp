// TrackSamples: which samples grooval-split's tracks hold, and the check FLAC needs of them.
#include "split/track_samples.h"

#include <cstdio>
#include <new>
#include <vector>

#include "encode/encoder_stage.h"
#include "engine/stream_format.h"
#include "output/format_record.h"
#include "split/formats.h"
#include "split/wave_reader.h"

namespace {

constexpr uint32_t kCheckReadBytes = 1 << 20;  // the FLAC check reads the side a megabyte at a time

// "PCM 24-bit, 2 channels"
std::string LayoutText(const SampleLayout& layout) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %u-bit, %u channel%s", layout.isFloat ? "float" : "PCM",
                  unsigned(layout.bits), unsigned(layout.channels),
                  layout.channels == 1 ? "" : "s");
    return text;
}

// Why the tracks of a plain input hold the engine's 16-bit stereo; null when they need not.
const char* Why16(const SampleLayout& input, const SplitSettings& settings) {
    if (settings.declick > 0) return "--declick repairs the 16-bit stereo samples the cuts are made on";
    const EncoderKind kind = settings.encoder.kind;
    if (kind == EncoderKind::None && (settings.formatName.empty() || !NamesPcm(settings.formatName))) {
        return "a codec format is made from 16-bit stereo";
    }
    if (kind == EncoderKind::Mp3 && input.channels > kMp3MaxChannels) {
        return "MP3 holds two channels";
    }
    return nullptr;
}

}  // namespace

bool PlainLayout(const WAVEFORMATEX* input, SampleLayout& layout) {
    const WORD bits = input->wBitsPerSample;
    const bool pcm = input->wFormatTag == kFormatTagPcm &&
                     (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    const bool real = input->wFormatTag == kFormatTagFloat && (bits == 32 || bits == 64);
    if (!pcm && !real) return false;
    layout = SampleLayout{input->nChannels, bits, real};
    return input->nChannels > 0 && input->nBlockAlign == layout.FrameBytes();
}

SplitStatus ChooseTrackSamples(const WAVEFORMATEX* input, uint32_t channelMask,
                               const SplitSettings& settings, TrackSamples& samples) {
    samples = TrackSamples();
    samples.channelMask = channelMask;
    const EncoderKind kind = settings.encoder.kind;
    if (settings.bits != 0 && kind == EncoderKind::Mp3) {
        return SplitStatus::Usage("--bits is for WAV and FLAC tracks: MP3 has no bit depth");
    }
    const bool plain = PlainLayout(input, samples.input);
    const char* why = plain ? Why16(samples.input, settings) : "the input is in a codec format";
    if (why) {
        if (settings.bits != 0 && settings.bits != kCaptureBitsPerSample) {
            return SplitStatus::Usage("--bits " + std::to_string(settings.bits) +
                                      ": these tracks are 16-bit stereo (" + why + ")");
        }
        if (plain && samples.input != SampleLayout()) samples.why16 = why;
        return SplitStatus();
    }
    samples.tracks = samples.input;
    if (settings.bits != 0) {
        samples.tracks = SampleLayout{samples.input.channels, uint16_t(settings.bits), false};
    }
    // 16-bit stereo kept as it is: the engine's view is the input itself.
    samples.own = samples.input != SampleLayout() || samples.tracks != SampleLayout();
    if (!samples.own) samples.tracks = SampleLayout();
    return SplitStatus();
}

SplitStatus CheckFlacDepth(const std::string& path, const TrackSamples& samples) {
    const SampleLayout& layout = samples.input;
    if (!samples.own || samples.tracks != layout || FlacDepth(layout) == layout.bits) {
        return SplitStatus();
    }
    WaveReader reader;
    if (!reader.Open(path.c_str())) return SplitStatus::InputRejected(path, reader.Problem());
    std::vector<uint8_t> bytes;
    std::vector<int32_t> scratch;
    const uint32_t readBytes = kCheckReadBytes - kCheckReadBytes % layout.FrameBytes();
    try {
        bytes.resize(readBytes);
        scratch.resize(readBytes / layout.SampleBytes());
    } catch (const std::bad_alloc&) {
        return SplitStatus::OutOfMemory();
    }
    uint64_t checked = 0;  // samples
    for (;;) {
        const int32_t count = reader.Read(bytes.data(), readBytes);
        if (count < 0) return SplitStatus::InputRejected(path, reader.Problem());
        if (count == 0) return SplitStatus();
        const size_t values = size_t(count) / layout.SampleBytes();
        const size_t exact = SamplesAtDepth(bytes.data(), values, layout, kFlacMaxDepth, scratch.data());
        if (exact < values) {
            const uint64_t frame = (checked + exact) / layout.channels;
            char at[32];
            std::snprintf(at, sizeof at, "%.3f", double(frame) / reader.Format()->nSamplesPerSec);
            return SplitStatus::OutputFailed(
                path, "FLAC holds at most 24 bits, and the " + LayoutText(layout) +
                          " samples are finer (the first at " + at +
                          " s): give --bits 24 or --bits 16 for a FLAC copy with dither, or "
                          "write WAV");
        }
        checked += values;
    }
}

std::string TrackSamplesText(const TrackSamples& samples) {
    if (!samples.own) {
        if (samples.why16.empty()) return "PCM 16-bit, 2 channels";
        return "PCM 16-bit, 2 channels, not the input's " + LayoutText(samples.input) + ": " +
               samples.why16;
    }
    const std::string input = "the input's " + LayoutText(samples.input);
    if (samples.tracks == samples.input) return "the input's own " + LayoutText(samples.input);
    const bool loses = samples.input.isFloat || samples.input.bits > samples.tracks.bits;
    return LayoutText(samples.tracks) + " from " + input +
           (loses ? ", with TPDF dither" : ", widened exactly");
}
