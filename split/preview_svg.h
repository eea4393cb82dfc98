// The --preview picture of grooval-split: one SVG of the whole side, to trust (or not) the
// cuts before keeping the files. Both channels' level per block (left up, right down, on a
// logarithmic scale, as the engine measured them), the silence level and the side's noise floor
// as lines, each kept
// track as a coloured span with its number, a line at each cut with the time, the rest of the
// side (silence dropped between tracks, tracks deleted as too short) in grey, and a list of the
// tracks with their times and titles. Each track's span carries its frames as data-start and
// data-end, so a program can check the picture against the files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dsp/noise_floor.h"
#include "engine/stream_format.h"
#include "engine/track_engine.h"
#include "split/cue_sheet.h"
#include "split/status.h"

struct SidePreview {
    std::string heading;     // UTF-8: the album and artist, or the input's name
    std::string subheading;  // UTF-8: the settings the side was cut with
    uint32_t rate = 0;
    uint64_t frames = 0;  // the whole side
    int32_t threshold = 0;
    NoiseFloor floor;  // in dBFS; drawn when found
    int32_t blockFrames = kCaptureBlockFrames;  // the side's block (SplitBlockFrames)
    std::vector<BlockLevels> levels;  // block n starts at frame n * blockFrames
    std::vector<CueTrack> tracks;     // kept, in order
    std::vector<CueTrack> discarded;  // deleted as too short
};

std::string PreviewSvg(const SidePreview& side);

// "m:ss.s": frames of `rate` Hz to the nearest tenth of a second.
std::string PreviewTime(uint64_t frames, uint32_t rate);

// Whether the preview can be written at `path` without losing a file that is not a picture:
// a file there must be an SVG (or empty) and open for writing; a missing one is created and
// deleted again. Output failed when not.
SplitStatus ProbePreview(const std::string& path);

// Writes `text` to `path`, replacing a picture that is there (ProbePreview first).
SplitStatus WritePreview(const std::string& path, const std::string& text);
