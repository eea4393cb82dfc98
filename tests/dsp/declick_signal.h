// A synthesized side for the declicker's tests and benchmark: music-like signal with clicks
// injected at known places, the same side clean, and the figures of a declicker run on both.
// Plain C++, seeded and repeatable on any platform (its own random numbers).
//
// The music: four voices, each a run of notes (0.25 to 1.2 s, pitches from G2 to G5) of four
// harmonics with a 20 ms attack, a slow decay and a 40 ms release, vibrato of 4.5 to 6.5 Hz and
// about 7 cents, panned; loudness wandering over ±4 dB; white surface noise at -58 dBFS in each
// channel. About -20 dBFS RMS, peaks near -6 dBFS, as a record's side is cut.
// The clicks: lengths log-uniform from 0.05 to 2 ms, peaks log-uniform from -30 to -6 dBFS
// (1000 to 16000), either sign, in one channel each; a sharp onset, an exponential decay to
// about 8 % and ±20 % roughness. One click in each equal slot of the side, away from its ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace declicktest {

struct Click {
    uint64_t frame = 0;  // first frame
    uint32_t frames = 0;
    int channel = 0;
};

struct SynthSide {
    uint32_t rate = 44100;
    std::vector<int16_t> clean;    // interleaved stereo
    std::vector<int16_t> clicked;  // the same with the clicks
    std::vector<Click> clicks;
    uint64_t Frames() const { return clean.size() / 2; }
};

SynthSide MakeSide(double seconds, int clicks, uint32_t seed, uint32_t rate = 44100);

// What a declicker run gave.
struct RunResult {
    std::vector<int16_t> output;
    struct Span {
        uint64_t frame;
        uint32_t frames;
        int channel;
    };
    std::vector<Span> repaired;
    uint64_t left = 0;
    double seconds = 0.0;     // wall-clock time spent in the declicker
    double cpuSeconds = 0.0;  // CPU time of the thread spent in it
};

// Runs a Declicker over `input` in pieces of `pieceFrames`.
RunResult Run(const std::vector<int16_t>& input, uint32_t rate, int level, size_t pieceFrames);

struct Figures {
    int clicks = 0;
    int found = 0;             // clicks overlapped by a repaired span of their channel
    double errorDb = 0.0;      // all found clicks: error energy below click energy, in dB
    double medianErrorDb = 0;  // the same per click, the median
    double worstErrorDb = 0;   // the same per click, the 5th percentile
    double cleanRepairsPerMinute = 0.0;
    uint64_t cleanRepairs = 0;
    bool identicalOutside = true;  // both runs: every sample outside repaired spans unchanged
    bool cleanLengthKept = true;
};

Figures Measure(const SynthSide& side, const RunResult& clicked, const RunResult& clean);

// Every sample of `output` outside the repaired spans equals `input`.
bool IdenticalOutside(const std::vector<int16_t>& input, const RunResult& run);

}  // namespace declicktest
