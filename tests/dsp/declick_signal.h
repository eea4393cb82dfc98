// A synthesized side for the declicker's tests and benchmark: music-like signal with clicks
// injected at known places, the same side clean, and the figures of a declicker run on both.
// Plain C++, seeded and repeatable on any platform (its own random numbers).
//
// The music: four voices, each a run of notes (0.25 to 1.2 s, pitches from G2 to G5) of four
// harmonics with a 20 ms attack, a slow decay and a 40 ms release, vibrato of 4.5 to 6.5 Hz and
// about 7 cents, panned; loudness wandering over ±4 dB; white surface noise at -58 dBFS in each
// channel. About -20 dBFS RMS, peaks near -6 dBFS, as a record's side is cut.
// The clicks: lengths log-uniform from 0.05 to 2 ms, peaks log-uniform from -30 to -6 dBFS
// (1000 to 16000), either sign; the shapes in turn: a spike (sharp onset, decay to about 5 %,
// ±15 % roughness), a half-sine bump, an asymmetric pop (a sharp swing, a smaller slower one
// back); half in one channel, half in both with different amplitudes. One click in each equal
// slot of the side, away from its ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace declicktest {

enum class Shape { Spike, Bump, Pop };
constexpr int kShapes = 3;
const char* ShapeName(Shape shape);

struct Click {
    uint64_t frame = 0;  // first frame
    uint32_t frames = 0;
    Shape shape = Shape::Spike;
    double gain[2] = {};  // signed peak in each channel, 0 where it spares the channel
};

// The click's value at sample n of its `frames`, peak 1 (roughness aside); `rough` is in
// [-0.5, 0.5).
double ClickShape(Shape shape, uint32_t n, uint32_t frames, double rough);

struct SynthSide {
    uint32_t rate = 44100;
    std::vector<int16_t> clean;    // interleaved stereo
    std::vector<int16_t> clicked;  // the same with the clicks
    std::vector<Click> clicks;
    uint64_t Frames() const { return clean.size() / 2; }
};

SynthSide MakeSide(double seconds, int clicks, uint32_t seed, uint32_t rate = 44100);

// Recorded-like patterns with sharp attacks, at 44100 Hz, with surface noise at -60 dBFS:
// drums (a kick with its pitch falling, a snare's noise, hi-hats) on a steady beat of 8th notes
// at 120 bpm, or plucked strings (Karplus-Strong) of a new note every 0.3 s. Peaks near -8 dBFS.
enum class Pattern { Drums, Plucks };
std::vector<int16_t> MakePattern(Pattern pattern, double seconds, uint32_t seed);

// Adds `click` to interleaved stereo `samples`, clipped to 16 bits.
void AddClick(std::vector<int16_t>& samples, const Click& click);

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
    int reduced = 0;           // clicks whose error is 20 dB or more below the click
    std::string worstShape;    // the shape with the smallest share reduced, and the share in %
    double worstShapeShare = 0.0;
    std::vector<double> reductionDb;  // each click's, in the side's order
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
