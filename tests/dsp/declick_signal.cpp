// The synthesized side and the figures of a declicker run (see declick_signal.h).
#include "tests/dsp/declick_signal.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "dsp/declicker.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace declicktest {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kVoices = 4;
constexpr int kHarmonics = 4;
constexpr int kControlFrames = 16;  // vibrato and envelopes move every 16 frames
constexpr double kVoiceAmplitude = 2000.0;
constexpr double kNoiseDeviation = 41.0;  // -58 dBFS
constexpr double kClickPeakLow = 1000.0, kClickPeakHigh = 16000.0;
constexpr double kClickShortest = 0.00005, kClickLongest = 0.002;

// splitmix64: the same numbers on every platform and compiler.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return double(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Between(double low, double high) { return low + (high - low) * Uniform(); }
    double LogBetween(double low, double high) {
        return std::exp(Between(std::log(low), std::log(high)));
    }
    // Near-normal: the sum of four uniforms, scaled to unit deviation.
    double Normal() {
        return (Uniform() + Uniform() + Uniform() + Uniform() - 2.0) * 1.7320508075688772;
    }

private:
    uint64_t state_;
};

struct Voice {
    double phaseCos = 1.0, phaseSin = 0.0;  // the fundamental's phasor
    double stepCos = 1.0, stepSin = 0.0;    // its rotation per frame
    double frequency = 220.0;
    double vibratoRate = 5.0, vibratoPhase = 0.0;
    double harmonic[kHarmonics] = {1.0, 0.5, 0.3, 0.2};
    double left = 0.7, right = 0.7;
    uint64_t noteStart = 0, noteFrames = 0;
};

void StartNote(Voice& voice, Random& random, uint64_t at, uint32_t rate) {
    const double midi = std::floor(random.Between(43.0, 80.0));
    voice.frequency = 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
    voice.noteStart = at;
    voice.noteFrames = uint64_t(random.Between(0.25, 1.2) * rate);
    voice.vibratoRate = random.Between(4.5, 6.5);
    voice.harmonic[1] = random.Between(0.3, 0.6);
    voice.harmonic[2] = random.Between(0.1, 0.35);
    voice.harmonic[3] = random.Between(0.05, 0.2);
}

double Envelope(uint64_t inNote, uint64_t noteFrames, uint32_t rate) {
    const double t = double(inNote) / rate;
    const double attack = 0.020, release = 0.040;
    const double rest = double(noteFrames - inNote) / rate;
    double level = std::exp(-t / 1.5);
    if (t < attack) level *= 0.5 - 0.5 * std::cos(kPi * t / attack);
    if (rest < release) level *= 0.5 - 0.5 * std::cos(kPi * rest / release);
    return level;
}

int16_t Clip(double value) {
    const double rounded = std::round(value);
    return int16_t(rounded < -32768.0 ? -32768.0 : rounded > 32767.0 ? 32767.0 : rounded);
}

}  // namespace

SynthSide MakeSide(double seconds, int clicks, uint32_t seed, uint32_t rate) {
    SynthSide side;
    side.rate = rate;
    const uint64_t frames = uint64_t(seconds * rate);
    side.clean.resize(size_t(frames) * 2);
    Random random(seed);
    Voice voices[kVoices];
    for (int v = 0; v < kVoices; ++v) {
        voices[v].left = 0.35 + 0.2 * v;
        voices[v].right = 1.05 - voices[v].left;
        voices[v].vibratoPhase = random.Between(0.0, 2.0 * kPi);
        StartNote(voices[v], random, 0, rate);
        voices[v].noteFrames += uint64_t(v) * rate / 4;  // the voices start their notes apart
    }
    double loudness = 1.0, loudnessPhase = random.Between(0.0, 2.0 * kPi);
    double gain[kVoices] = {};
    for (uint64_t at = 0; at < frames; ++at) {
        if (at % kControlFrames == 0) {
            loudnessPhase += 2.0 * kPi * 0.03 * kControlFrames / rate;
            loudness = std::pow(10.0, 0.2 * std::sin(loudnessPhase));  // ±4 dB
            for (int v = 0; v < kVoices; ++v) {
                Voice& voice = voices[v];
                if (at >= voice.noteStart + voice.noteFrames) StartNote(voice, random, at, rate);
                voice.vibratoPhase += 2.0 * kPi * voice.vibratoRate * kControlFrames / rate;
                const double f = voice.frequency * (1.0 + 0.004 * std::sin(voice.vibratoPhase));
                const double w = 2.0 * kPi * f / rate;
                voice.stepCos = std::cos(w);
                voice.stepSin = std::sin(w);
                const double norm = 1.0 / std::sqrt(voice.phaseCos * voice.phaseCos +
                                                    voice.phaseSin * voice.phaseSin);
                voice.phaseCos *= norm;
                voice.phaseSin *= norm;
                gain[v] = kVoiceAmplitude * loudness *
                          Envelope(at - voice.noteStart, voice.noteFrames, rate);
            }
        }
        double left = kNoiseDeviation * random.Normal();
        double right = kNoiseDeviation * random.Normal();
        for (int v = 0; v < kVoices; ++v) {
            Voice& voice = voices[v];
            const double c = voice.phaseCos, s = voice.phaseSin;
            // sin(h phi) by the Chebyshev recurrence.
            double previous = 0.0, current = s, sum = voice.harmonic[0] * s;
            for (int h = 1; h < kHarmonics; ++h) {
                const double next = 2.0 * c * current - previous;
                previous = current;
                current = next;
                sum += voice.harmonic[h] * current;
            }
            sum *= gain[v];
            left += voice.left * sum;
            right += voice.right * sum;
            voice.phaseCos = c * voice.stepCos - s * voice.stepSin;
            voice.phaseSin = s * voice.stepCos + c * voice.stepSin;
        }
        side.clean[size_t(at) * 2] = Clip(left);
        side.clean[size_t(at) * 2 + 1] = Clip(right);
    }

    side.clicked = side.clean;
    if (clicks <= 0) return side;
    const uint64_t slot = frames / uint64_t(clicks);
    const uint64_t longest = uint64_t(std::ceil(kClickLongest * rate));
    for (int i = 0; i < clicks; ++i) {
        Click click;
        click.frames = std::max<uint32_t>(
            2, uint32_t(std::lround(random.LogBetween(kClickShortest, kClickLongest) * rate)));
        click.shape = Shape(i % kShapes);
        const uint64_t room = slot > 2 * longest + 4 ? slot - 2 * longest : 1;
        click.frame = uint64_t(i) * slot + longest + uint64_t(random.Uniform() * double(room));
        const double peak = random.LogBetween(kClickPeakLow, kClickPeakHigh) *
                            ((random.Next() & 1) ? 1.0 : -1.0);
        const int channel = int(random.Next() & 1);
        click.gain[channel] = peak;
        if (random.Next() & 1) click.gain[1 - channel] = peak * random.Between(0.2, 1.0);
        for (uint32_t n = 0; n < click.frames; ++n) {
            const double shape =
                ClickShape(click.shape, n, click.frames, random.Uniform() - 0.5);
            for (int c = 0; c < 2; ++c) {
                int16_t& sample = side.clicked[size_t(click.frame + n) * 2 + size_t(c)];
                sample = Clip(sample + click.gain[c] * shape);
            }
        }
        side.clicks.push_back(click);
    }
    return side;
}

void AddClick(std::vector<int16_t>& samples, const Click& click) {
    for (uint32_t n = 0; n < click.frames; ++n) {
        const double shape = ClickShape(click.shape, n, click.frames, 0.0);
        for (int c = 0; c < 2; ++c) {
            int16_t& sample = samples[size_t(click.frame + n) * 2 + size_t(c)];
            sample = Clip(sample + click.gain[c] * shape);
        }
    }
}

std::vector<int16_t> MakePattern(Pattern pattern, double seconds, uint32_t seed) {
    const uint32_t rate = 44100;
    const size_t frames = size_t(seconds * rate);
    std::vector<double> left(frames, 0.0), right(frames, 0.0);
    Random random(seed);
    if (pattern == Pattern::Drums) {
        const size_t step = rate / 4;  // 8th notes at 120 bpm
        for (size_t beat = 0, at = step / 2; at < frames; ++beat, at += step) {
            double phase = 0.0, low = 0.0;
            for (size_t n = 0; at + n < frames && n < size_t(rate) * 3 / 10; ++n) {
                const double t = double(n) / rate;
                double v = 0.0;
                if (beat % 4 == 0) {  // kick: 120 Hz falling to 50 Hz, a sharp attack
                    phase += 2.0 * kPi * (50.0 + 70.0 * std::exp(-t / 0.03)) / rate;
                    v += 14000.0 * std::sin(phase) * std::exp(-t / 0.12) * std::min(1.0, n / 12.0);
                }
                const double noise = random.Normal();
                low += 0.3 * (noise - low);
                if (beat % 4 == 2)  // snare: noise and a body, 2 ms attack
                    v += (5000.0 * low + 2500.0 * noise) * std::exp(-t / 0.06) * std::min(1.0, n / 88.0);
                // hi-hat on every 8th: bright noise, short
                v += 1800.0 * (noise - low) * std::exp(-t / 0.02) * std::min(1.0, n / 4.0);
                left[at + n] += 0.9 * v;
                right[at + n] += 0.7 * v;
            }
        }
    } else {
        const size_t step = size_t(0.3 * rate);
        for (size_t at = step / 3; at < frames; at += step) {
            const double midi = std::floor(random.Between(45.0, 76.0));
            const size_t period = size_t(std::lround(rate / (440.0 * std::pow(2.0, (midi - 69.0) / 12.0))));
            std::vector<double> line(period);
            for (double& v : line) v = random.Between(-1.0, 1.0);
            const double pan = random.Between(0.3, 0.7);
            double previous = 0.0;
            for (size_t n = 0; at + n < frames && n < size_t(rate); ++n) {
                double& slot = line[n % period];
                const double v = slot;
                slot = 0.996 * 0.5 * (v + previous);  // the string's loss
                previous = v;
                left[at + n] += 7000.0 * v * (1.0 - pan);
                right[at + n] += 7000.0 * v * pan;
            }
        }
    }
    std::vector<int16_t> samples(frames * 2);
    for (size_t n = 0; n < frames; ++n) {
        samples[2 * n] = Clip(left[n] + 33.0 * random.Normal());  // surface noise, -60 dBFS
        samples[2 * n + 1] = Clip(right[n] + 33.0 * random.Normal());
    }
    return samples;
}

const char* ShapeName(Shape shape) {
    return shape == Shape::Spike ? "spike" : shape == Shape::Bump ? "bump" : "pop";
}

double ClickShape(Shape shape, uint32_t n, uint32_t frames, double rough) {
    const double t = (n + 0.5) / frames;
    switch (shape) {
    case Shape::Spike:
        return std::exp(-3.0 * t) * (1.0 + 0.3 * rough);
    case Shape::Bump:
        return std::sin(kPi * t);
    case Shape::Pop: {
        // Most of the swing in the first third, a smaller return after it.
        const uint32_t split = std::max<uint32_t>(1, frames / 3);
        if (n < split) return std::sin(kPi * (n + 0.5) / split);
        return -0.45 * std::sin(kPi * (n - split + 0.5) / (frames - split));
    }
    }
    return 0.0;
}

namespace {

// CPU time of the calling thread: the speed on one core, whatever else the machine runs.
double ThreadSeconds() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0.0;
    auto seconds = [](const FILETIME& time) {
        return double((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime) * 1e-7;
    };
    return seconds(kernel) + seconds(user);
#else
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
#endif
}

class Collector : public DeclickListener {
public:
    explicit Collector(RunResult& result) : result_(result) {}
    void OnDeclickEvent(const DeclickEvent& event) override {
        if (event.repaired) {
            result_.repaired.push_back({event.frame, event.frames, event.channel});
        } else {
            ++result_.left;
        }
    }

private:
    RunResult& result_;
};

}  // namespace

RunResult Run(const std::vector<int16_t>& input, uint32_t rate, int level, size_t pieceFrames) {
    RunResult result;
    Collector collector(result);
    result.output.reserve(input.size());
    const auto started = std::chrono::steady_clock::now();
    const double cpuStarted = ThreadSeconds();
    Declicker declicker(rate, level, &collector);
    const size_t frames = input.size() / 2;
    for (size_t at = 0; at < frames; at += pieceFrames) {
        declicker.Process(input.data() + 2 * at, std::min(pieceFrames, frames - at),
                          result.output);
    }
    declicker.Finish(result.output);
    result.cpuSeconds = ThreadSeconds() - cpuStarted;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
}

bool IdenticalOutside(const std::vector<int16_t>& input, const RunResult& run) {
    if (run.output.size() != input.size()) return false;
    std::vector<uint8_t> inside(input.size(), 0);
    for (const RunResult::Span& span : run.repaired) {
        for (uint32_t n = 0; n < span.frames; ++n) {
            inside[size_t(span.frame + n) * 2 + size_t(span.channel)] = 1;
        }
    }
    for (size_t i = 0; i < input.size(); ++i) {
        if (!inside[i] && run.output[i] != input[i]) return false;
    }
    return true;
}

Figures Measure(const SynthSide& side, const RunResult& clicked, const RunResult& clean) {
    Figures figures;
    figures.clicks = int(side.clicks.size());
    figures.identicalOutside =
        IdenticalOutside(side.clicked, clicked) && IdenticalOutside(side.clean, clean);
    figures.cleanLengthKept = clean.output.size() == side.clean.size();
    figures.cleanRepairs = clean.repaired.size();
    figures.cleanRepairsPerMinute =
        double(clean.repaired.size()) / (double(side.Frames()) / side.rate / 60.0);

    double clickEnergy = 0.0, errorEnergy = 0.0;
    std::vector<double> perClick;
    int reducedByShape[kShapes] = {}, byShape[kShapes] = {};
    const int64_t around = 16;  // samples of the error's region beyond click and repair
    const int64_t frames = int64_t(side.Frames());
    for (const Click& click : side.clicks) {
        int64_t from = int64_t(click.frame), to = int64_t(click.frame + click.frames);
        bool found = false;
        for (const RunResult::Span& span : clicked.repaired) {  // the repairs that meet it
            if (click.gain[span.channel] == 0.0 || int64_t(span.frame) >= to + around ||
                int64_t(span.frame + span.frames) + around <= int64_t(click.frame)) {
                continue;
            }
            found = true;
            from = std::min(from, int64_t(span.frame));
            to = std::max(to, int64_t(span.frame + span.frames));
        }
        double energy = 0.0, error = 0.0;
        for (int c = 0; c < 2; ++c) {
            for (uint64_t n = click.frame; n < click.frame + click.frames; ++n) {
                const size_t i = size_t(n) * 2 + size_t(c);
                const double d = double(side.clicked[i]) - side.clean[i];
                energy += d * d;
            }
            for (int64_t n = std::max<int64_t>(0, from - around);
                 n < std::min(frames, to + around); ++n) {
                const size_t i = size_t(n) * 2 + size_t(c);
                const double d = double(clicked.output[i]) - side.clean[i];
                error += d * d;
            }
        }
        const double db = 10.0 * std::log10(std::max(energy, 1.0) / std::max(error, 1.0));
        const int shape = int(click.shape);
        figures.reductionDb.push_back(db);
        ++byShape[shape];
        if (db >= 20.0) {
            ++figures.reduced;
            ++reducedByShape[shape];
        }
        if (!found) continue;
        ++figures.found;
        clickEnergy += energy;
        errorEnergy += error;
        perClick.push_back(db);
    }
    figures.worstShapeShare = 100.0;
    for (int shape = 0; shape < kShapes; ++shape) {
        const double share = 100.0 * reducedByShape[shape] / std::max(1, byShape[shape]);
        if (share <= figures.worstShapeShare) {
            figures.worstShapeShare = share;
            figures.worstShape = ShapeName(Shape(shape));
        }
    }
    figures.errorDb = 10.0 * std::log10(clickEnergy / std::max(errorEnergy, 1.0));
    if (!perClick.empty()) {
        std::sort(perClick.begin(), perClick.end());
        figures.medianErrorDb = perClick[perClick.size() / 2];
        figures.worstErrorDb = perClick[perClick.size() / 20];
    }
    return figures;
}

}  // namespace declicktest
