// TrackSamples: what grooval-split's tracks hold. The engine always decides on its 16-bit stereo
// view of the input; the tracks hold the input's own frames (split/source_frames.h) wherever
// the output can take them, so a 24-bit 96 kHz side split into WAV or FLAC stays what it was:
//   - the input is plain PCM (8, 16, 24 or 32 bits) or float (32 or 64) in any number of
//     channels, and not 16-bit stereo, which is the engine's view itself;
//   - the output is "pcm" (WAV in the input's format), FLAC (at the input's depth, 24 bits at
//     most: samples of 32-bit integers or floats must fit 24 bits exactly) or MP3 (one or two
//     channels, from the full resolution);
//   - clicks are not repaired: the declicker repairs the 16-bit view, and the tracks hold that.
// Otherwise (codec inputs, codec output formats, a stored format, --declick) the tracks hold
// the engine's 16-bit stereo, as ever. --bits 16 or 24 makes the tracks hold that many bits of
// the input's own frames, with TPDF dither where bits are lost.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <string>

#include "dsp/sample_convert.h"
#include "split/options.h"
#include "split/status.h"

struct TrackSamples {
    bool own = false;          // the input's own frames; else the engine's 16-bit stereo
    SampleLayout input;        // the input's, when plain
    SampleLayout tracks;       // what the tracks hold
    uint32_t channelMask = 0;  // the input's speakers; 0 when it named none
    std::string why16;         // when not own for a plain input other than 16-bit stereo: why
};

// The layout of a plain input (PCM of 8 to 32 bits, float of 32 or 64); false for any other.
bool PlainLayout(const WAVEFORMATEX* input, SampleLayout& layout);

// Which samples the tracks of `input` hold with these settings. A usage error when --bits asks
// for what the tracks cannot be.
SplitStatus ChooseTrackSamples(const WAVEFORMATEX* input, uint32_t channelMask,
                               const SplitSettings& settings, TrackSamples& samples);

// With FLAC output of the input's own 32-bit integers or floats: every sample of `path` must
// fit 24 bits exactly. Reads until the first that does not; the refusal names --bits.
SplitStatus CheckFlacDepth(const std::string& path, const TrackSamples& samples);

// What the tracks hold, for --stats: "the input's own PCM 24-bit, 2 channels", "16 bits of
// the input's float 32-bit, 2 channels, with TPDF dither".
std::string TrackSamplesText(const TrackSamples& samples);
