// EncoderStage: the sink operations of an encoder stage around its subclass's encoder.
#include "encode/encoder_stage.h"

#include <new>

#include "encode/flac_stage.h"
#include "encode/mp3_stage.h"
#include "engine/stream_format.h"

EncoderStage::EncoderStage(const char* codec, const char* extension, const TrackTagSource& tags,
                           const EncodedFileApi& api)
    : file_(api), codec_(codec), extension_(extension), tags_(tags) {}

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
    if (!file_.IsOpen() || count < kCaptureFrameBytes) return 0;
    const uint32_t frames = uint32_t(count) / kCaptureFrameBytes;
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

bool EncoderStage::Fail(const char* what, const std::string& detail) {
    if (!file_.IsOpen()) return false;
    if (detail.empty()) {
        file_.Message().Set("%s: %s", codec_, what);
    } else {
        file_.Message().Set("%s: %s (%s)", codec_, what, detail.c_str());
    }
    return false;
}

std::unique_ptr<EncoderStage> CreateEncoderStage(const EncoderFormat& format, uint32_t rate,
                                                 uint64_t sideFrames, const TrackTagSource& tags,
                                                 const EncodedFileApi& api) {
    if (format.kind == EncoderKind::Flac) {
        return std::unique_ptr<EncoderStage>(
            new (std::nothrow) FlacStage(rate, format.flacLevel, sideFrames, tags, api));
    }
    if (format.kind == EncoderKind::Mp3) {
        return std::unique_ptr<EncoderStage>(
            new (std::nothrow) Mp3Stage(rate, format.mp3, tags, api));
    }
    return nullptr;
}
