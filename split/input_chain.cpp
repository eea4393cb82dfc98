// InputChain: reading, conversion and click repair in front of the engine, and the watch over
// passages a codec drops.
#include "split/input_chain.h"

#include <cstdio>
#include <new>

#include "engine/pass_through_sink.h"
#include "engine/stream_format.h"
#include "output/acm_converter.h"
#include "output/format_record.h"
#include "output/output_chain.h"
#include "split/block_cutter.h"
#include "split/cue_sheet.h"
#include "split/sample_converter.h"
#include "split/source_frames.h"

namespace {

constexpr uint32_t kReadBlocks = 16;           // one read of plain samples: 16 blocks
constexpr uint32_t kConvertBlockBytes = 65536;  // a codec's source block, about
constexpr uint32_t kMaxReadBytes = 1 << 24;     // however many channels a frame has

// The stages that make 16-bit stereo PCM of the input in front of `successor`: wide samples,
// and the front pair of more than two channels, are made 16-bit here (and stereo by the codecs
// when they are mono); anything else goes through the codecs alone. None when no way is
// known.
std::unique_ptr<OutputSink> CreateInputDecoding(const WAVEFORMATEX* input,
                                                const WAVEFORMATEX* capture,
                                                uint32_t maxFormatSize,
                                                std::unique_ptr<OutputSink> successor) {
    if (!ConvertsSampleFormat(input)) {
        return CreateDecodingChain(input, capture, maxFormatSize, std::move(successor));
    }
    FormatBuffer narrow(kFormatHeaderBytes);
    if (!narrow.Get()) return nullptr;
    WAVEFORMATEX* format = narrow.Get();
    MakePcmFormat(format, input->nSamplesPerSec);
    format->nChannels = ConvertedChannels(input);
    format->nBlockAlign = WORD(format->nChannels * 2);
    format->nAvgBytesPerSec = format->nSamplesPerSec * format->nBlockAlign;
    std::unique_ptr<OutputSink> next =
        FormatsEqual(format, capture)
            ? std::move(successor)
            : CreateDecodingChain(format, capture, maxFormatSize, std::move(successor));
    if (!next) return nullptr;
    return std::unique_ptr<OutputSink>(new (std::nothrow) SampleConverter(input, std::move(next)));
}

// Frames of the stream that one source block of the input gives: the codec says how much it
// decodes a block to; plain samples are one frame per block of the format.
uint64_t FramesPerSourceBlock(OutputSink& chain, const WAVEFORMATEX* input, int32_t sourceBlock) {
    if (const auto* decoder = dynamic_cast<const AcmConverter*>(&chain)) {
        const WORD align = decoder->DestinationFormat()->nBlockAlign;
        return align ? decoder->DestinationBytes() / align : 0;
    }
    return uint64_t(sourceBlock) / input->nBlockAlign;
}

}  // namespace

// Counts the frames the input's conversion hands on (ahead of the declicker's delay).
class FrameCount : public PassThroughSink {
public:
    using PassThroughSink::PassThroughSink;
    int32_t WriteConverted(const void* bytes, int32_t count) override {
        return Write(bytes, count);
    }
    int32_t Write(const void* bytes, int32_t count) override {
        if (count > 0) bytes_ += uint64_t(count);
        return PassThroughSink::Write(bytes, count);
    }
    uint64_t Frames() const { return bytes_ / kCaptureFrameBytes; }

private:
    uint64_t bytes_ = 0;
};

// Watches the conversion of the input for passages the codec drops, with an error or with
// less output than they decode to, and keeps the stream's positions those of the input: the
// last stage counts the missing frames as passed.
class DecodeCheck {
public:
    DecodeCheck(const FrameCount& decoded, BlockCutter& last, const WAVEFORMATEX* input,
                uint32_t readBytes, uint64_t framesPerRead)
        : decoded_(decoded),
          last_(last),
          // PCM and block codecs decode every block to the same number of frames; for others
          // (an MPEG stream) only an error tells.
          fixedRatio_(input->wFormatTag == kFormatTagPcm || ConvertsSampleFormat(input) ||
                      input->nBlockAlign > 1),
          align_(input->nBlockAlign),
          readBytes_(readBytes),
          framesPerRead_(framesPerRead) {}

    void Before() { before_ = Position(); }
    // After the chain took a read of `count` bytes with `result`, or finished (`count` 0): a
    // warning for a dropped passage, else empty. A shorter last read is judged at the end.
    std::string After(int32_t count, int32_t result, const std::string& input, uint32_t rate);
    int Damaged() const { return damaged_; }

private:
    uint64_t Position() const { return decoded_.Frames() + skipped_; }
    uint64_t FramesOf(uint64_t bytes) const {
        return bytes / align_ * (framesPerRead_ / (readBytes_ / align_));
    }

    const FrameCount& decoded_;
    BlockCutter& last_;
    const bool fixedRatio_;
    const uint32_t align_;
    const uint32_t readBytes_;
    const uint64_t framesPerRead_;
    uint64_t before_ = 0;
    uint64_t skipped_ = 0;
    uint64_t bytes_ = 0;  // handed to the chain
    int damaged_ = 0;
};

std::string DecodeCheck::After(int32_t count, int32_t result, const std::string& input,
                               uint32_t rate) {
    const uint64_t now = Position();
    const uint64_t rest = bytes_ % readBytes_;
    uint64_t expected;
    bool lost;
    if (count > 0 && uint32_t(count) == readBytes_) {
        expected = before_ + framesPerRead_;
        lost = result != 0 || (fixedRatio_ && now < expected);
    } else if (count == 0) {
        expected = fixedRatio_ ? FramesOf(bytes_) : before_ + rest * framesPerRead_ / readBytes_;
        lost = fixedRatio_ ? now < expected : rest > 0 && now == before_;
    } else {
        bytes_ += uint64_t(count);
        return std::string();
    }
    const uint64_t first = count > 0 ? bytes_ : bytes_ - rest;
    const uint64_t last = count > 0 ? bytes_ + uint64_t(count) - 1 : bytes_ - 1;
    if (count > 0) bytes_ += uint64_t(count);
    if (!lost || last_.Failed()) return std::string();
    const uint64_t missing = expected > now ? expected - now : 0;
    if (count > 0) {
        last_.SkipFrames(now, missing);
        skipped_ += missing;
    }
    ++damaged_;
    std::string text = input + ": the codec cannot decode the samples at " + CueTime(now, rate) +
                       " (in bytes " + std::to_string(first) + " to " + std::to_string(last) +
                       " of the data";
    if (result != 0 && count > 0) text += ", error " + std::to_string(result);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", rate ? double(missing) / rate : 0.0);
    return text + "); " + seconds + " s are missing from the tracks";
}

InputChain::InputChain(const WaveReadApi& api) : reader_(api) {}
InputChain::~InputChain() = default;

SplitStatus InputChain::Open(const std::string& input) {
    input_ = input;
    if (!reader_.Open(input.c_str())) return SplitStatus::InputRejected(input, reader_.Problem());
    return SplitStatus();
}

SplitStatus InputChain::Build(const WAVEFORMATEX* capture, uint32_t maxFormatSize,
                              int declickLevel, int32_t blockFrames,
                              std::unique_ptr<OutputSink> last, SourceFrames* source) {
    std::unique_ptr<OutputSink> first = std::move(last);
    if (declickLevel > 0) {
        std::unique_ptr<DeclickStage> stage(new (std::nothrow) DeclickStage(
            reader_.Format()->nSamplesPerSec, declickLevel, std::move(first)));
        if (!stage) return SplitStatus::OutOfMemory();
        declick_ = stage.get();
        first = std::move(stage);
    }
    readBytes_ = kReadBlocks * uint32_t(blockFrames) * kCaptureFrameBytes;
    framesPerRead_ = readBytes_ / kCaptureFrameBytes;
    SplitStatus built;
    if (reader_.IsCaptureFormat()) {
        stages_ = std::move(first);
        stages_->Prepare(blockFrames * kCaptureFrameBytes);
    } else {
        built = BuildConversion(capture, maxFormatSize, blockFrames, std::move(first));
    }
    if (built.Ok() && source) {
        // In front of everything, so it sees the samples as the file holds them.
        std::unique_ptr<SourceTap> tap(new (std::nothrow) SourceTap(*source, std::move(stages_)));
        if (!tap) return SplitStatus::OutOfMemory();
        stages_ = std::move(tap);
    }
    if (built.Ok()) buffer_.reset(new (std::nothrow) uint8_t[readBytes_]);
    return built.Ok() && !buffer_ ? SplitStatus::OutOfMemory() : built;
}

SplitStatus InputChain::BuildConversion(const WAVEFORMATEX* capture, uint32_t maxFormatSize,
                                        int32_t blockFrames, std::unique_ptr<OutputSink> next) {
    const WAVEFORMATEX* format = reader_.Format();
    std::unique_ptr<FrameCount> count(new (std::nothrow) FrameCount(std::move(next)));
    if (!count) return SplitStatus::OutOfMemory();
    decoded_ = count.get();
    stages_ = CreateInputDecoding(format, capture, maxFormatSize, std::move(count));
    // Plain samples 16 blocks at a time; whole codec blocks of the input, about
    // kConvertBlockBytes.
    const uint32_t align = format->nBlockAlign;
    const bool plain = format->wFormatTag == kFormatTagPcm || format->wFormatTag == kFormatTagFloat;
    const uint32_t frames = kReadBlocks * uint32_t(blockFrames);
    const uint32_t blocks = !plain                              ? kConvertBlockBytes / align
                            : frames < kMaxReadBytes / align ? frames
                                                             : kMaxReadBytes / align;
    const int32_t sourceBlock = int32_t(align * (blocks > 0 ? blocks : 1));
    if (!stages_ || stages_->Prepare(sourceBlock) != 0) {
        return SplitStatus::InputRejected(input_, "the installed codecs cannot convert " +
                                                      FormatSummary(format) +
                                                      " to 16-bit stereo PCM");
    }
    readBytes_ = uint32_t(sourceBlock);
    framesPerRead_ = FramesPerSourceBlock(*stages_, format, sourceBlock);
    return SplitStatus();
}

SplitStatus InputChain::WatchDecoding(BlockCutter& last) {
    if (!decoded_) return SplitStatus();
    decoding_.reset(new (std::nothrow) DecodeCheck(*decoded_, last, reader_.Format(),
                                                   readBytes_, framesPerRead_));
    return decoding_ ? SplitStatus() : SplitStatus::OutOfMemory();
}

SplitStatus InputChain::Step(bool& ended, std::vector<std::string>& warnings) {
    const int32_t count = reader_.Read(buffer_.get(), readBytes_);
    if (count < 0) return SplitStatus::InputFailed(input_, reader_.Problem());
    if (decoding_) decoding_->Before();
    const int32_t result = count > 0 ? stages_->Write(buffer_.get(), count) : stages_->Finish(0);
    if (decoding_) {
        const std::string damage =
            decoding_->After(count, result, input_, reader_.Format()->nSamplesPerSec);
        if (!damage.empty()) warnings.push_back(damage);
    }
    ended = count == 0;
    bytesRead_ += uint64_t(count);
    return SplitStatus();
}

double InputChain::ReadFraction() const {
    return reader_.DataBytes() > 0 ? double(bytesRead_) / reader_.DataBytes() : 0.0;
}

int InputChain::Damaged() const {
    return decoding_ ? decoding_->Damaged() : 0;
}
