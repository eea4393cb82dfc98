// Benchmark of the declicker, built but not run by ctest (scripts/declick-bench.sh runs it):
// a synthesized side with injected clicks and the same side clean (tests/split/
// declick_signal.h), each declicked in the tool's blocks of 5880 frames on one thread; prints
// the figures against their targets.
//
//   declick_bench.exe [SECONDS [CLICKS [SEED [LEVEL]]]]   (default 1200 500 1 the default level)
#include <cstdio>
#include <cstdlib>

#include "dsp/declicker.h"
#include "tests/dsp/declick_signal.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1200.0;
    const int clicks = argc > 2 ? std::atoi(argv[2]) : 500;
    const uint32_t seed = argc > 3 ? uint32_t(std::strtoul(argv[3], nullptr, 10)) : 1u;
    const int level = argc > 4 ? std::atoi(argv[4]) : kDeclickDefaultLevel;
    constexpr size_t kPieceFrames = 5880;  // one capture block

    const declicktest::SynthSide side = declicktest::MakeSide(seconds, clicks, seed);
    const declicktest::RunResult clicked =
        declicktest::Run(side.clicked, side.rate, level, kPieceFrames);
    const declicktest::RunResult clean =
        declicktest::Run(side.clean, side.rate, level, kPieceFrames);
    const declicktest::Figures figures = declicktest::Measure(side, clicked, clean);

    const double audio = double(side.Frames()) / side.rate;
    const double found = 100.0 * figures.found / (figures.clicks > 0 ? figures.clicks : 1);
    // On one core: the thread's CPU time (the wall clock too, which other work on the machine
    // slows down).
    const double speedClicked = audio / clicked.cpuSeconds, speedClean = audio / clean.cpuSeconds;
    const double speed = speedClicked < speedClean ? speedClicked : speedClean;
    const double wallClicked = audio / clicked.seconds, wallClean = audio / clean.seconds;
    std::printf("side: %.0f s, %d clicks, seed %u, level %d (threshold %.2f deviations)\n", audio,
                figures.clicks, unsigned(seed), level, Declicker::Threshold(level));
    std::printf("clicks found            %5.1f %% (%d of %d; target >= 95 %%)\n", found,
                figures.found, figures.clicks);
    std::printf("error around repairs    %5.1f dB below the clicks' energy (target >= 20 dB);"
                " per click: median %.1f dB, 5th percentile %.1f dB\n",
                figures.errorDb, figures.medianErrorDb, figures.worstErrorDb);
    std::printf("repairs on clicked side %zu, events left %llu\n", clicked.repaired.size(),
                (unsigned long long)clicked.left);
    std::printf("clean side repairs      %5.2f per minute (%llu in all, %llu events left;"
                " target <= 2)\n",
                figures.cleanRepairsPerMinute, (unsigned long long)figures.cleanRepairs,
                (unsigned long long)clean.left);
    std::printf("identity outside spans  %s\n", figures.identicalOutside ? "yes" : "NO");
    std::printf("speed                   %5.0fx real time in CPU time of one thread (clicked %.0fx,"
                " clean %.0fx; target >= 100x); by the wall clock %.0fx and %.0fx\n",
                speed, speedClicked, speedClean, wallClicked, wallClean);
    const bool met = found >= 95.0 && figures.errorDb >= 20.0 &&
                     figures.cleanRepairsPerMinute <= 2.0 && figures.identicalOutside &&
                     speed >= 100.0;
    std::printf("targets                 %s\n", met ? "met" : "NOT met");
    return met ? 0 : 1;
}
