// Benchmark of the declicker, built but not run by ctest (scripts/declick-bench.sh runs it),
// each side declicked in the tool's blocks of 5880 frames on one thread.
//
//   declick_bench.exe [SECONDS [CLICKS [SEED [LEVEL]]]]
//       a synthesized side with injected clicks and the same side clean (tests/split/
//       declick_signal.h); prints the figures against their targets (default 1200 500 1 and
//       the default level)
//   declick_bench.exe --real CLEAN.wav CLICKED.wav CLICKS.tsv [LEVEL]
//       a real side (scripts/real-sides.sh) and the same side with clicks (scripts/
//       inject-clicks.py): repairs on the clean side and where they sit, the clicks moved
//       closer to the clean side, those made worse, and the whole side's error
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "dsp/ar_interpolator.h"
#include "dsp/declicker.h"
#include "tests/dsp/declick_signal.h"

namespace {

constexpr size_t kPieceFrames = 5880;  // one capture block

double Speed(double audio, const declicktest::RunResult& a, const declicktest::RunResult& b) {
    // On one core: the thread's CPU time (the wall clock counts other work on the machine).
    return std::min(audio / a.cpuSeconds, audio / b.cpuSeconds);
}

int EnvInt(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : fallback;
}

// The repair given the true click spans (DECLICK_ORACLE set): what the interpolation does
// when detection is perfect. DECLICK_ORACLE_ORDER, _CONTEXT and _PAD (samples added on each
// side) vary it.
declicktest::RunResult Oracle(const std::vector<int16_t>& input,
                              std::vector<declicktest::RunResult::Span> spans) {
    const int order = EnvInt("DECLICK_ORACLE_ORDER", kDeclickRepairOrder);
    const int context = EnvInt("DECLICK_ORACLE_CONTEXT", kDeclickRepairContext);
    const int pad = EnvInt("DECLICK_ORACLE_PAD", 0);
    declicktest::RunResult result;
    result.output = input;
    const int64_t frames = int64_t(input.size() / 2);
    ArInterpolator model(order, 512);
    std::vector<double> x(static_cast<size_t>(frames)), values(512);
    std::sort(spans.begin(), spans.end(),
              [](const auto& a, const auto& b) { return a.frame < b.frame; });
    for (int c = 0; c < 2; ++c) {
        for (int64_t n = 0; n < frames; ++n) x[size_t(n)] = input[size_t(n) * 2 + size_t(c)];
        for (const auto& span : spans) {
            if (span.channel != c) continue;
            const int64_t s = int64_t(span.frame) - pad;
            const int64_t e = int64_t(span.frame + span.frames) - 1 + pad;
            if (s - context < 0 || e + 1 + context > frames) continue;
            if (!model.Fit(x.data(), int(s - context), int(s), int(e + 1), int(e + 1 + context)) ||
                !model.Interpolate(x.data(), int(s), int(e), values.data())) {
                continue;
            }
            for (int64_t n = s; n <= e; ++n) {
                const double v =
                    std::max(-32768.0, std::min(32767.0, std::round(values[size_t(n - s)])));
                x[size_t(n)] = v;
                result.output[size_t(n) * 2 + size_t(c)] = int16_t(v);
            }
            result.repaired.push_back({uint64_t(s), uint32_t(e - s + 1), c});
        }
    }
    return result;
}

int Synthesized(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1200.0;
    const int clicks = argc > 2 ? std::atoi(argv[2]) : 500;
    const uint32_t seed = argc > 3 ? uint32_t(std::strtoul(argv[3], nullptr, 10)) : 1u;
    const int level = argc > 4 ? std::atoi(argv[4]) : kDeclickDefaultLevel;

    const declicktest::SynthSide side = declicktest::MakeSide(seconds, clicks, seed);
    declicktest::RunResult clicked =
        declicktest::Run(side.clicked, side.rate, level, kPieceFrames);
    if (std::getenv("DECLICK_ORACLE")) {
        std::vector<declicktest::RunResult::Span> spans;
        for (const declicktest::Click& click : side.clicks) {
            for (int c = 0; c < 2; ++c) {
                if (click.gain[c] != 0.0) spans.push_back({click.frame, click.frames, c});
            }
        }
        clicked = Oracle(side.clicked, spans);
    }
    const declicktest::RunResult clean =
        declicktest::Run(side.clean, side.rate, level, kPieceFrames);
    const declicktest::Figures figures = declicktest::Measure(side, clicked, clean);

    const double audio = double(side.Frames()) / side.rate;
    if (std::getenv("DECLICK_BENCH_CLICKS")) {
        for (size_t i = 0; i < side.clicks.size(); ++i) {
            const declicktest::Click& click = side.clicks[i];
            std::printf("    click at %.4f s, %u frames, %s, %.0f %.0f: %.1f dB\n",
                        double(click.frame) / side.rate, click.frames,
                        declicktest::ShapeName(click.shape), click.gain[0], click.gain[1],
                        figures.reductionDb[i]);
        }
    }
    const double reduced = 100.0 * figures.reduced / std::max(1, figures.clicks);
    const double speed = Speed(audio, clicked, clean);
    std::printf("synthesized side: %.0f s, %d clicks, seed %u, level %d\n", audio,
                figures.clicks, unsigned(seed), level);
    std::printf("  clicks reduced by 20 dB %5.1f %% (%d of %d; target >= 95 %%);"
                " worst shape %s %.1f %%\n",
                reduced, figures.reduced, figures.clicks, figures.worstShape.c_str(),
                figures.worstShapeShare);
    std::printf("  found %d, per click: median %.1f dB, 5th percentile %.1f dB\n", figures.found,
                figures.medianErrorDb, figures.worstErrorDb);
    std::printf("  clean side repairs      %5.2f per minute (%llu)\n",
                figures.cleanRepairsPerMinute, (unsigned long long)figures.cleanRepairs);
    std::printf("  identity outside spans  %s\n", figures.identicalOutside ? "yes" : "NO");
    std::printf("  speed %5.0fx real time on one core (target >= 100x)\n", speed);
    const bool met = reduced >= 95.0 && figures.worstShapeShare >= 95.0 &&
                     figures.cleanRepairsPerMinute <= 1.0 && figures.identicalOutside &&
                     speed >= 100.0;
    std::printf("  targets %s\n", met ? "met" : "NOT met");
    return met ? 0 : 1;
}

bool ReadWav(const char* path, std::vector<int16_t>& samples) {
    std::ifstream in(path, std::ios::binary);
    char head[12];
    if (!in.read(head, 12) || std::memcmp(head, "RIFF", 4) != 0) return false;
    char chunk[8];
    while (in.read(chunk, 8)) {
        uint32_t size;
        std::memcpy(&size, chunk + 4, 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            samples.resize(size / 2);
            return bool(in.read(reinterpret_cast<char*>(samples.data()), size & ~1u));
        }
        in.seekg(size + (size & 1), std::ios::cur);
    }
    return false;
}

struct RealClick {
    uint64_t frame;
    uint32_t frames;
    std::string shape;
    double gain[2];
};

double Energy(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t from,
              size_t to) {
    double sum = 0.0;
    for (size_t i = 2 * from; i < 2 * to; ++i) {
        const double d = double(a[i]) - b[i];
        sum += d * d;
    }
    return sum;
}

// The signal's RMS over [from, to) in both channels.
double Rms(const std::vector<int16_t>& x, int64_t from, int64_t to) {
    from = std::max<int64_t>(0, from);
    to = std::min<int64_t>(int64_t(x.size() / 2), to);
    double sum = 0.0;
    for (int64_t i = 2 * from; i < 2 * to; ++i) sum += double(x[size_t(i)]) * x[size_t(i)];
    return std::sqrt(sum / std::max<int64_t>(1, 2 * (to - from)));
}

int Real(int argc, char** argv) {
    std::vector<int16_t> clean, clicked;
    if (argc < 5 || !ReadWav(argv[2], clean) || !ReadWav(argv[3], clicked) ||
        clean.size() != clicked.size()) {
        std::fprintf(stderr, "usage: --real CLEAN.wav CLICKED.wav CLICKS.tsv [LEVEL]\n");
        return 2;
    }
    const int level = argc > 5 ? std::atoi(argv[5]) : kDeclickDefaultLevel;
    std::vector<RealClick> clicks;
    std::ifstream tsv(argv[4]);
    for (std::string line; std::getline(tsv, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        RealClick click;
        fields >> click.frame >> click.frames >> click.shape >> click.gain[0] >> click.gain[1];
        clicks.push_back(click);
    }
    const uint32_t rate = 44100;
    const declicktest::RunResult onClean = declicktest::Run(clean, rate, level, kPieceFrames);
    declicktest::RunResult onClicked = declicktest::Run(clicked, rate, level, kPieceFrames);
    if (std::getenv("DECLICK_ORACLE")) {
        std::vector<declicktest::RunResult::Span> spans;
        for (const RealClick& click : clicks) {
            for (int c = 0; c < 2; ++c) {
                if (click.gain[c] != 0.0) spans.push_back({click.frame, click.frames, c});
            }
        }
        onClicked = Oracle(clicked, spans);
    }
    const double audio = double(clean.size() / 2) / rate;

    // The side's crackle (scripts/real_sides.py lists it): a repair that meets it is no
    // repair of the music.
    std::vector<std::pair<uint64_t, uint64_t>> crackle;
    const std::string stem(argv[2]);
    std::ifstream ticks(stem.substr(0, stem.size() - 4) + "-crackle.tsv");
    for (std::string line; std::getline(ticks, line);) {
        uint64_t first = 0, frames = 0;
        if (line[0] != '#' && std::istringstream(line) >> first >> frames)
            crackle.emplace_back(first, first + frames);
    }
    std::vector<declicktest::RunResult::Span> onMusic;
    for (const auto& span : onClean.repaired) {
        auto it = std::lower_bound(crackle.begin(), crackle.end(),
                                   std::make_pair(span.frame + span.frames + 2, uint64_t(0)));
        const bool tick = it != crackle.begin() && (it - 1)->second + 2 > span.frame;
        if (!tick) onMusic.push_back(span);
    }
    std::printf("real side %s: %.0f s, level %d\n", argv[2], audio, level);
    std::printf("  clean side: %zu repairs on music, %.2f per minute (target <= 1); %zu on"
                " crackle; %llu events left; identity outside repairs %s\n",
                onMusic.size(), onMusic.size() * 60.0 / audio,
                onClean.repaired.size() - onMusic.size(), (unsigned long long)onClean.left,
                declicktest::IdenticalOutside(clean, onClean) ? "yes" : "NO");
    for (const auto& span : onMusic) {
        // Where it sits: the music's level 20 ms before and after, and the change it made.
        const int64_t at = int64_t(span.frame), end = at + span.frames;
        const double before = Rms(clean, at - 882, at), after = Rms(clean, end, end + 882);
        std::printf("    repair at %.4f s, ch %d, %u frames: music %.1f dBFS before, %+.1f dB"
                    " after; change RMS %.0f\n",
                    double(at) / rate, span.channel, span.frames,
                    20.0 * std::log10(std::max(before, 1.0) / 32768.0),
                    20.0 * std::log10(std::max(after, 1.0) / std::max(before, 1.0)),
                    std::sqrt(Energy(onClean.output, clean, size_t(at), size_t(end)) /
                              std::max<int64_t>(1, end - at)));
    }

    int closer = 0, worse = 0, untouched = 0;
    std::vector<double> gains;
    for (const RealClick& click : clicks) {
        size_t from = size_t(click.frame) >= 16 ? size_t(click.frame) - 16 : 0;
        size_t to = std::min(clean.size() / 2, size_t(click.frame + click.frames + 16));
        for (const auto& span : onClicked.repaired) {  // the repairs that meet it
            if (span.frame < to && span.frame + span.frames > from) {
                from = std::min(from, size_t(span.frame));
                to = std::max(to, size_t(span.frame + span.frames));
            }
        }
        const double in = Energy(clicked, clean, from, to);
        const double out = Energy(onClicked.output, clean, from, to);
        if (out == in) ++untouched;
        if (out < in) ++closer;
        if (out > in * std::pow(10.0, 0.1)) ++worse;
        gains.push_back(10.0 * std::log10(std::max(in, 1.0) / std::max(out, 1.0)));
        if (std::getenv("DECLICK_BENCH_CLICKS")) {
            std::printf("    click at %.4f s, %u frames, %s: %.1f dB closer; music %.1f dBFS\n",
                        double(click.frame) / rate, click.frames, click.shape.c_str(),
                        gains.back(),
                        20.0 * std::log10(std::max(1.0, Rms(clean, int64_t(click.frame) - 441,
                                                            int64_t(click.frame) + 441)) / 32768.0));
        }
    }
    std::sort(gains.begin(), gains.end());
    const double inError = Energy(clicked, clean, 0, clean.size() / 2);
    const double outError = Energy(onClicked.output, clean, 0, clean.size() / 2);
    auto dbfs = [&](double energy) {
        return 10.0 * std::log10(std::max(energy, 1.0) / double(clean.size())) - 90.309;
    };
    const int n = std::max<int>(1, int(clicks.size()));
    std::printf("  clicked side: %zu clicks, %zu repairs; moved closer %.1f %% (target >= 90 %%),"
                " untouched %d, made worse by > 1 dB %d (target 0)\n",
                clicks.size(), onClicked.repaired.size(), 100.0 * closer / n, untouched, worse);
    if (!gains.empty()) {
        std::printf("  per click: median %.1f dB closer, 10th percentile %.1f dB, worst %.1f dB\n",
                    gains[gains.size() / 2], gains[gains.size() / 10], gains.front());
    }
    std::printf("  whole side error: unrepaired %.1f dBFS, repaired %.1f dBFS: %.1f dB lower"
                " (target >= 10 dB)\n",
                dbfs(inError), dbfs(outError), dbfs(inError) - dbfs(outError));
    const double speed = Speed(audio, onClean, onClicked);
    std::printf("  speed %.0fx real time on one core (target >= 100x)\n", speed);
    const bool met = onMusic.size() * 60.0 / audio <= 1.0 && closer >= 0.9 * n &&
                     worse == 0 && dbfs(inError) - dbfs(outError) >= 10.0 && speed >= 100.0;
    std::printf("  targets %s\n", met ? "met" : "NOT met");
    return met ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--real") == 0) return Real(argc, argv);
    return Synthesized(argc, argv);
}
