// Mp3Stage: grooval-split's MP3 output, through LAME. Each track is an .mp3 file: an ID3v2.4
// tag (split/id3_tag.h), then LAME's stream, whose first frame is the Xing/LAME header that
// players read the length, the encoder delay and the padding from (so a gapless player adds
// nothing at the end but what the last frame needs). Variable bitrate at a quality of 0 to 9
// (LAME's -V), or a constant bitrate (LAME's -b).
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
    Mp3Stage(uint32_t rate, const Mp3Settings& settings, const TrackTagSource& tags,
             const EncodedFileApi& api = EncodedFileApi());
    ~Mp3Stage() override;

    // 0 when LAME takes these settings for this rate, else kSinkFailed.
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
    std::vector<short> samples_;
    std::vector<unsigned char> out_;
};
