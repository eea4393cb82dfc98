// FlacStage: grooval-split's FLAC output, through libFLAC. Each track is a .flac file of the
// frames it is given, with their channels at their rate and depth (FlacDepth), at a
// compression level of 0 to 8, with Vorbis comments (TITLE, ARTIST, ALBUMARTIST, ALBUM, DATE,
// TRACKNUMBER, TRACKTOTAL from its tags), a seek table and room for later tags.
//
// How it works: libFLAC writes through our callbacks into the EncodedFile; at the end it goes
// back and completes STREAMINFO (length, MD5) and the seek table. The seek table is a template
// of a point every 10 s for as long as the whole side, since a track's length is known only
// at its end; the points past the end become placeholders before libFLAC writes it.
#pragma once

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <cstdint>
#include <vector>

#include "base/unique_handle.h"
#include "encode/encoder_stage.h"

inline void DeleteFlacEncoder(FLAC__StreamEncoder* encoder) {
    FLAC__stream_encoder_delete(encoder);
}
inline void DeleteFlacMetadata(FLAC__StreamMetadata* block) {
    FLAC__metadata_object_delete(block);
}
using FlacEncoderHandle = UniqueHandle<FLAC__StreamEncoder*, &DeleteFlacEncoder>;
using FlacMetadataHandle = UniqueHandle<FLAC__StreamMetadata*, &DeleteFlacMetadata>;

class FlacStage : public EncoderStage {
public:
    // `sideFrames`: the longest a track can be (the input's length), for the seek table.
    FlacStage(uint32_t rate, const SampleLayout& layout, int level, uint64_t sideFrames,
              const TrackTagSource& tags, const EncodedFileApi& api = EncodedFileApi());
    ~FlacStage() override;

    // 0 when libFLAC takes this rate, level and number of channels, else kSinkFailed.
    int32_t Query() override;

private:
    bool StartEncoder(const TrackTags& tags) override;
    bool Encode(const uint8_t* bytes, uint32_t frames) override;
    bool EndEncoder() override;
    void DropEncoder() override;

    // Fail with the encoder's state.
    bool Failed(const char* what);
    static FLAC__StreamEncoderWriteStatus OnWrite(const FLAC__StreamEncoder*,
                                                  const FLAC__byte buffer[], size_t bytes,
                                                  uint32_t samples, uint32_t, void* stage);
    static FLAC__StreamEncoderSeekStatus OnSeek(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                                void* stage);
    static FLAC__StreamEncoderTellStatus OnTell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                                void* stage);

    const uint32_t rate_;
    const uint16_t depth_;
    const int level_;
    const uint64_t sideFrames_;
    FlacMetadataHandle comments_, seekTable_, padding_;  // the encoder uses them: it goes first
    FlacEncoderHandle encoder_;
    std::vector<FLAC__int32> samples_;
    uint64_t framesOut_ = 0;  // frames in the FLAC frames written
};
