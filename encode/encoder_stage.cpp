// EncoderStage: the sink operations of an encoder stage around its subclass's encoder.
#include "encode/encoder_stage.h"

#include <new>
#include <string>

#include "encode/flac_stage.h"
#include "encode/mp3_stage.h"
#include "engine/stream_format.h"

EncoderStage::EncoderStage(const char* codec, const char* extension, const SampleLayout& layout,
                           const TrackTagSource& tags, const EncodedFileApi& api)
    : file_(api), layout_(layout), codec_(codec), extension_(extension), tags_(tags) {}

void EncoderStage::FinishOpenTrack() {
    if (file_.IsOpen()) Finish(uint32_t(framesIn_));
}

int32_t EncoderStage::Open(const char* fileName, uint32_t minBytes) {
    file_.SetMinBytes(minBytes);
    if (file_.IsOpen()) return kSinkFailed;  // the open track would be lost
    TrackTags tags;
    try {
        tags = tags_.OpeningTrack();
    } catch (const std::bad_alloc&) {
        file_.Message().Set("out of memory");
        return kSinkFailed;
    }
    if (!file_.Create(fileName)) return kSinkFailed;
    framesIn_ = 0;
    if (!StartEncoder(tags)) {
        // Without a whole header there is nothing a player could open.
        DropEncoder();
        if (file_.IsOpen()) file_.Close(0);
        DeleteFileA(fileName);
        return kSinkFailed;
    }
    file_.MarkWhole(0);
    return 0;
}

int32_t EncoderStage::Write(const void* bytes, int32_t count) {
    const uint32_t frameBytes = layout_.FrameBytes();
    if (!file_.IsOpen() || count <= 0 || uint32_t(count) < frameBytes) return 0;
    const uint32_t frames = uint32_t(count) / frameBytes;
    if (!Encode(static_cast<const uint8_t*>(bytes), frames)) {
        DropEncoder();
        file_.CloseKeepingWhole();
        return 0;
    }
    framesIn_ += frames;
    return 0;
}

int32_t EncoderStage::Finish(uint32_t frames) {
    if (!file_.IsOpen()) return kSinkFailed;
    const bool ended = EndEncoder();
    DropEncoder();
    if (!ended) return file_.CloseKeepingWhole();
    return file_.Close(frames);
}

int32_t EncoderStage::Close(uint32_t frames) {
    Finish(frames);
    return 0;
}

int32_t EncoderStage::GetLastMessage(char* text) {
    return file_.Message().CopyTo(text);
}

bool EncoderStage::Unpack(const uint8_t* bytes, uint32_t frames, std::vector<short>& samples) {
    if (!SampleRoom(frames, samples)) return false;
    const size_t values = size_t(frames) * layout_.channels;
    for (size_t i = 0; i < values; ++i) {
        samples[i] = short(int16_t(uint16_t(bytes[2 * i] | bytes[2 * i + 1] << 8)));
    }
    return true;
}

bool EncoderStage::Unpack(const uint8_t* bytes, uint32_t frames, uint16_t depth,
                          std::vector<int32_t>& samples) {
    if (!SampleRoom(frames, samples)) return false;
    const size_t values = size_t(frames) * layout_.channels;
    const size_t exact = SamplesAtDepth(bytes, values, layout_, depth, samples.data());
    if (exact == values) return true;
    return Fail("a sample does not fit", std::to_string(depth) + " bits, frame " +
                                              std::to_string(framesIn_ + exact / layout_.channels));
}

bool EncoderStage::Unpack(const uint8_t* bytes, uint32_t frames, std::vector<float>& samples) {
    if (!SampleRoom(frames, samples)) return false;
    UnitSamples(bytes, size_t(frames) * layout_.channels, layout_, samples.data());
    return true;
}

bool EncoderStage::Fail(const char* what, const std::string& detail) {
    if (!file_.IsOpen()) return false;
    if (detail.empty()) {
        file_.Message().Set("%s: %s", codec_, what);
    } else {
        file_.Message().Set("%s: %s (%s)", codec_, what, detail.c_str());
    }
    return false;
}

uint16_t FlacDepth(const SampleLayout& layout) {
    return !layout.isFloat && layout.bits <= kFlacMaxDepth ? layout.bits : kFlacMaxDepth;
}

std::unique_ptr<EncoderStage> CreateEncoderStage(const EncoderFormat& format, uint32_t rate,
                                                 const SampleLayout& layout, uint64_t sideFrames,
                                                 const TrackTagSource& tags,
                                                 const EncodedFileApi& api) {
    if (format.kind == EncoderKind::Flac) {
        return std::unique_ptr<EncoderStage>(
            new (std::nothrow) FlacStage(rate, layout, format.flacLevel, sideFrames, tags, api));
    }
    if (format.kind == EncoderKind::Mp3) {
        return std::unique_ptr<EncoderStage>(
            new (std::nothrow) Mp3Stage(rate, layout, format.mp3, tags, api));
    }
    return nullptr;
}
