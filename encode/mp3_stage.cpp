// Mp3Stage: LAME behind the encoder stage.
#include "encode/mp3_stage.h"

#include <new>
#include <string>

#include "engine/stream_format.h"
#include "encode/id3_tag.h"

namespace {

// LAME's own bound for the output of one call: 1.25 bytes a frame and 7200 more.
size_t OutputBound(uint32_t frames) {
    return size_t(frames) + size_t(frames) / 4 + 7200;
}

}  // namespace

Mp3Stage::Mp3Stage(uint32_t rate, const SampleLayout& layout, const Mp3Settings& settings,
                   const TrackTagSource& tags, const EncodedFileApi& api)
    : EncoderStage("LAME", "mp3", layout, tags, api), rate_(rate), settings_(settings) {}

Mp3Stage::~Mp3Stage() {
    FinishOpenTrack();
}

LameHandle Mp3Stage::NewEncoder() const {
    LameHandle lame(lame_init());
    if (!lame) return lame;
    lame_t l = lame.Get();
    bool set = lame_set_in_samplerate(l, int(rate_)) == 0 &&
               lame_set_num_channels(l, layout_.channels) == 0 &&
               lame_set_findReplayGain(l, 1) == 0 &&  // as the lame tool: the gain in the header
               lame_set_bWriteVbrTag(l, 1) == 0;
    if (settings_.bitrate > 0) {
        set = set && lame_set_VBR(l, vbr_off) == 0 && lame_set_brate(l, settings_.bitrate) == 0;
    } else {
        set = set && lame_set_VBR(l, vbr_default) == 0 &&
              lame_set_VBR_quality(l, float(settings_.vbrQuality)) == 0;
    }
    lame_set_write_id3tag_automatic(l, 0);  // the ID3 tag is ours
    if (!set || lame_init_params(l) < 0) lame.Reset();
    return lame;
}

int32_t Mp3Stage::Query() {
    const bool valid = settings_.bitrate > 0
                           ? IsMp3Bitrate(settings_.bitrate)
                           : settings_.vbrQuality >= kMp3MinVbrQuality &&
                                 settings_.vbrQuality <= kMp3MaxVbrQuality;
    const bool channels = layout_.channels >= 1 && layout_.channels <= kMp3MaxChannels;
    return valid && channels && NewEncoder() ? 0 : kSinkFailed;
}

bool Mp3Stage::StartEncoder(const TrackTags& tags) {
    lame_ = NewEncoder();
    if (!lame_) return Fail("settings refused", "at " + std::to_string(rate_) + " Hz");
    try {
        const std::vector<uint8_t> tag = Id3Tag(tags);
        if (!tag.empty() && !file_.Write(tag.data(), tag.size())) return false;
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
    headerAt_ = file_.Size();
    return true;
}

bool Mp3Stage::WriteOut(int bytes) {
    if (bytes < 0) return Fail("encoding failed", "error " + std::to_string(bytes));
    return file_.Write(out_.data(), size_t(bytes));
}

bool Mp3Stage::EncodeSamples(const uint8_t* bytes, uint32_t frames, int& written) {
    lame_t lame = lame_.Get();
    const int room = int(out_.size());
    if (layout_ == SampleLayout()) {  // the engine's own samples, as LAME takes them
        if (!Unpack(bytes, frames, samples_)) return false;
        written = lame_encode_buffer_interleaved(lame, samples_.data(), int(frames), out_.data(),
                                                 room);
        return true;
    }
    if (!Unpack(bytes, frames, fullSamples_)) return false;
    // LAME's interleaved call takes two channels; one channel goes alone.
    const float* samples = fullSamples_.data();
    written = layout_.channels == 1
                  ? lame_encode_buffer_ieee_float(lame, samples, nullptr, int(frames),
                                                  out_.data(), room)
                  : lame_encode_buffer_interleaved_ieee_float(lame, samples, int(frames),
                                                              out_.data(), room);
    return true;
}

bool Mp3Stage::Encode(const uint8_t* bytes, uint32_t frames) {
    int written = 0;
    if (!MakeRoom(frames) || !EncodeSamples(bytes, frames, written) || !WriteOut(written)) {
        return false;
    }
    file_.MarkWhole(framesIn_ + frames);
    return true;
}

bool Mp3Stage::MakeRoom(uint32_t frames) {
    try {
        if (out_.size() < OutputBound(frames)) out_.resize(OutputBound(frames));
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
    return true;
}

bool Mp3Stage::EndEncoder() {
    if (!MakeRoom(0)) return false;
    if (!WriteOut(lame_encode_flush(lame_.Get(), out_.data(), int(out_.size())))) return false;
    file_.MarkWhole(framesIn_);
    const size_t header = lame_get_lametag_frame(lame_.Get(), out_.data(), out_.size());
    if (header > out_.size()) {
        return Fail("its header frame does not fit", std::to_string(header) + " bytes");
    }
    return header == 0 || (file_.Seek(headerAt_) && file_.Write(out_.data(), header));
}

void Mp3Stage::DropEncoder() {
    lame_.Reset();
}
