// The encoded output formats of grooval-split, as --format names them: "flac[:LEVEL]" and
// "mp3[:KBPS|vQUALITY]", and the stage that writes each.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "split/encoded_file.h"
#include "split/encoder_stage.h"
#include "split/flac_stage.h"
#include "split/mp3_stage.h"
#include "split/track_tags.h"

enum class EncoderKind { None, Flac, Mp3 };

struct EncoderFormat {
    EncoderKind kind = EncoderKind::None;
    int flacLevel = kFlacDefaultLevel;
    Mp3Settings mp3;
};

enum class EncoderNameResult {
    NotAnEncoder,  // a name for the codec manager ("pcm", a tag): not ours
    Valid,         // `format` is filled
    Invalid,       // "flac" or "mp3" with a level they do not have: `problem` says why
};

// Names are taken without regard to case: "FLAC:8", "mp3:V0".
EncoderNameResult ParseEncoderFormat(const std::string& name, EncoderFormat& format,
                                     std::string& problem);

// "32, 40, ... or 320": the bitrates mp3:KBPS takes.
std::string BitrateList();

// The stage for `format` (not None), for tracks of 16-bit stereo at `rate`; `sideFrames` is
// the input's length. None when memory is short.
std::unique_ptr<EncoderStage> CreateEncoderStage(const EncoderFormat& format, uint32_t rate,
                                                 uint64_t sideFrames, const TrackTagSource& tags,
                                                 const EncodedFileApi& api = EncodedFileApi());
