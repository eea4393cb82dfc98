// Mp3Stage: grooval-split's MP3 output, through LAME. Each track is an .mp3 file: an ID3v2.4
// tag (split/id3_tag.h), then LAME's stream, whose first frame is the Xing/LAME header that
// players read the length, the encoder delay and the padding from (so a gapless player adds
// nothing at the end but what the last frame needs). Variable bitrate at a quality of 0 to 9
// (LAME's -V), or a constant bitrate (LAME's -b). One or two channels of any plain layout: the
// engine's 16-bit stereo as 16-bit values, any other layout at its full resolution as floats.
//
// How it works: LAME leaves an empty frame where the header goes and gives the real one once
// the track is flushed; it is written over that frame, just after the ID3 tag.
#pragma once

#include <lame/lame.h>

#include <cstdint>
#include <vector>

#include "base/unique_handle.h"
#include "encode/encoder_stage.h"

inline void CloseLame(lame_t lame) {
    lame_close(lame);
}
using LameHandle = UniqueHandle<lame_t, &CloseLame>;

class Mp3Stage : public EncoderStage {
public:
    Mp3Stage(uint32_t rate, const SampleLayout& layout, const Mp3Settings& settings,
             const TrackTagSource& tags, const EncodedFileApi& api = EncodedFileApi());
    ~Mp3Stage() override;

    // 0 when LAME takes these settings for this rate and number of channels, else kSinkFailed.
    int32_t Query() override;

private:
    bool StartEncoder(const TrackTags& tags) override;
    bool Encode(const uint8_t* bytes, uint32_t frames) override;
    bool EndEncoder() override;
    void DropEncoder() override;

    LameHandle NewEncoder() const;
    // The output buffer holds what encoding `frames` frames may give.
    bool MakeRoom(uint32_t frames);
    bool WriteOut(int bytes);

    const uint32_t rate_;
    const Mp3Settings settings_;
    LameHandle lame_;
    uint64_t headerAt_ = 0;  // where LAME's first frame starts: just after the ID3 tag
    // Encodes into out_; `written` is LAME's result (bytes, or a negative error). False when
    // the samples cannot be unpacked (the message is set).
    bool EncodeSamples(const uint8_t* bytes, uint32_t frames, int& written);

    std::vector<short> samples_;      // a 16-bit layout
    std::vector<float> fullSamples_;  // any other
    std::vector<unsigned char> out_;
};
