// Soak program for the capture back-ends (run by scripts/capture-soak.sh, not by ctest).
//
//   capture_soak write WAV SECONDS        writes a frame-counter signal of SECONDS at 44100 Hz
//   capture_soak run wavein|dsound SECONDS READY
//       captures through the back-end into an armed engine whose sink checks the counter as it
//       arrives; creates the file READY once blocks flow (the script then plays the signal),
//       and ends when the signal has ended its track. Prints blocks lost and repeated and the
//       process's CPU time per minute of audio; exits 0 only when nothing was lost or repeated.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "capture/capture_device.h"
#include "capture/direct_sound_capture.h"
#include "capture/wave_in_capture.h"
#include "base/thread_event.h"
#include "engine/track_engine.h"
#include "tests/capture/capture_rig.h"
#include "tests/support/bench_audio.h"
#include "tests/support/engine_feed.h"
#include "tests/support/test_sink.h"

namespace {

using namespace capture_test;

// Checks the counter online, so that a long run needs no memory for its samples.
class CheckingSink : public TestSink {
public:
    int32_t Write(const void* bytes, int32_t count) override {
        const auto* values = static_cast<const int16_t*>(bytes);
        for (int32_t i = 0; i + 1 < count / 2; i += 2) Check(values[i], values[i + 1], i / 2);
        ++writes_;
        return 0;
    }
    int32_t Finish(uint32_t frames) override {
        TestSink::Finish(frames);
        finished.Set();
        return 0;
    }
    int32_t Open(const char* fileName, uint32_t minBytes) override {
        ++tracks;
        return TestSink::Open(fileName, minBytes);
    }

    ThreadEvent finished;
    int64_t received = 0;     // counter frames
    int64_t lost = 0;         // frames skipped by the counter
    int64_t repeated = 0;     // frames the counter went back over
    int64_t jumps = 0;        // discontinuities
    int64_t holes = 0;        // silent frames between counter frames
    int64_t garbage = 0;      // frames no counter can produce
    int64_t last = 0;         // last counter value
    int tracks = 0;

private:
    void Check(int16_t left, int16_t right, int32_t frameInBlock) {
        if (left == 0 && right == 0) {
            if (last > 0) ++pendingSilence_;
            return;
        }
        if (left < 1 || left > kCounterBase || right < 1) {
            ++garbage;
            return;
        }
        const int64_t c = int64_t(right - 1) * kCounterBase + (left - 1);
        holes += pendingSilence_;
        pendingSilence_ = 0;
        ++received;
        if (c != last + 1) {
            ++jumps;
            if (jumps <= kJumpsShown) {
                std::printf("jump %lld: counter %lld after %lld, at frame %ld of engine block %lld "
                            "(%.1f s into the signal)\n",
                            (long long)jumps, (long long)c, (long long)last, long(frameInBlock),
                            (long long)writes_, double(last) / kPlayRate);
                std::fflush(stdout);
            }
            if (c > last + 1) {
                lost += c - last - 1;
            } else {
                repeated += last + 1 - c;
            }
        }
        last = c;
    }

    static constexpr int kJumpsShown = 10;
    int64_t pendingSilence_ = 0;
    int64_t writes_ = 0;
};

double Seconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return double(value.QuadPart) / 1e7;
}

// User and kernel CPU time of this process so far, in seconds.
void ProcessCpu(double* user, double* kernel) {
    FILETIME created, exited, kernelTime, userTime;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernelTime, &userTime);
    *user = Seconds(userTime);
    *kernel = Seconds(kernelTime);
}

int WriteSignalFile(const char* path, int seconds) {
    std::vector<int16_t> samples(size_t(kLeadFrames) * 2, 0);
    const int64_t frames = int64_t(seconds) * kPlayRate;
    samples.reserve(samples.size() + size_t(frames) * 2);
    for (int64_t c = 1; c <= frames; ++c) {
        samples.push_back(int16_t(c % kCounterBase + 1));
        samples.push_back(int16_t(c / kCounterBase + 1));
    }
    std::string unixPath = path;  // written through Z: like the tests' signals
    if (!bench::WriteStereoWav(unixPath, kPlayRate, samples)) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 2;
    }
    return 0;
}

int Run(const char* backEnd, int seconds, const char* readyPath) {
    const bool directSound = std::strcmp(backEnd, "dsound") == 0;
    auto sinkOwner = std::make_unique<CheckingSink>();
    CheckingSink* sink = sinkOwner.get();
    sink->Prepare(kCaptureBlockBytes);
    TrackEngine engine(bench::kNoKeyboard);
    const std::string folder = bench::WindowsPath(bench::ScratchDir("capture-soak"));
    if (!bench::StartArmed(engine, sinkOwner.release(), folder + "\\soak %04d.%s")) return 3;

    std::unique_ptr<CaptureDevice> capture;
    WaveInCapture* waveIn = nullptr;
    if (directSound) {
        capture = std::make_unique<DirectSoundCapture>("", &engine, false);
    } else {
        auto owner = std::make_unique<WaveInCapture>("", &engine, false);
        waveIn = owner.get();
        capture = std::move(owner);
    }
    double user0 = 0, kernel0 = 0;
    ProcessCpu(&user0, &kernel0);
    const DWORD start = GetTickCount();
    if (!capture->Start()) return 3;
    while (engine.ProcessedBlocks() < 1) {
        if (capture->HasEnded() || GetTickCount() - start > 60000) {
            std::printf("no block arrived; lastResult %08lx\n", static_cast<unsigned long>(capture->lastResult));
            capture->StopAndWait();
            return 3;
        }
        WaitForSingleObject(engine.DrainedEvent(), 100);
    }
    {
        FILE* ready = std::fopen(readyPath, "w");
        if (ready) std::fclose(ready);
    }
    // How far the capture thread fell behind the waveIn driver: the most completed headers seen
    // waiting for it. The driver held all the others, so it never lacked a buffer below 14.
    volatile LONG mostWaiting = 0;
    volatile LONG watching = 1;
    std::thread watcher([&] {
        while (waveIn && watching) {
            const LONG waiting = waveIn->QueuedHeaders();
            if (waiting > mostWaiting) mostWaiting = waiting;
            Sleep(5);
        }
    });
    std::printf("capturing through %s; waiting for the signal\n", backEnd);
    std::fflush(stdout);

    const DWORD limitMs = DWORD(seconds + 120) * 1000;
    const bool ended = WaitForSingleObject(sink->finished.Handle(), limitMs) == WAIT_OBJECT_0;
    const bool died = capture->HasEnded();
    watching = 0;
    watcher.join();
    capture->stopping = 1;
    capture->StopAndWait();
    const double wall = (GetTickCount() - start) / 1000.0;
    double user1 = 0, kernel1 = 0;
    ProcessCpu(&user1, &kernel1);
    engine.StopAndWait();

    const int64_t expected = int64_t(seconds) * kPlayRate;
    const double audioMinutes = double(expected) / kPlayRate / 60.0;
    const double cpu = (user1 - user0) + (kernel1 - kernel0);
    std::printf("back-end %s, 44100 Hz, signal %d s, track ended: %s, capture ended by itself: %s "
                "(lastResult %08lx)\n",
                backEnd, seconds, ended ? "yes" : "no", died ? "yes" : "no",
                static_cast<unsigned long>(capture->lastResult));
    std::printf("frames: expected %lld, received %lld, last counter %lld\n", (long long)expected,
                (long long)sink->received, (long long)sink->last);
    std::printf("lost: %lld frames (%.2f blocks); repeated: %lld frames (%.2f blocks); "
                "discontinuities %lld; silent frames inside %lld; garbage frames %lld; tracks %d\n",
                (long long)sink->lost, sink->lost / double(kCaptureBlockFrames),
                (long long)sink->repeated, sink->repeated / double(kCaptureBlockFrames),
                (long long)sink->jumps, (long long)sink->holes, (long long)sink->garbage,
                sink->tracks);
    std::printf("engine blocks processed: %ld\n", long(engine.ProcessedBlocks()));
    if (waveIn) {
        std::printf("most completed headers waiting for the capture thread: %ld of %d\n",
                    long(mostWaiting), kWaveInHeaders);
    }
    std::printf("wall %.1f s; process CPU %.2f s (user %.2f, kernel %.2f); "
                "CPU per minute of audio %.3f s\n",
                wall, cpu, user1 - user0, kernel1 - kernel0, cpu / audioMinutes);
    const bool whole = ended && !died && sink->lost == 0 && sink->repeated == 0 &&
                       sink->received == expected && sink->garbage == 0 && sink->holes == 0;
    std::printf("%s\n", whole ? "SOAK PASSED" : "SOAK FAILED");
    return whole ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "write") == 0) return WriteSignalFile(argv[2], std::atoi(argv[3]));
    if (argc == 5 && std::strcmp(argv[1], "run") == 0) return Run(argv[2], std::atoi(argv[3]), argv[4]);
    std::fprintf(stderr, "usage: capture_soak write WAV SECONDS | run wavein|dsound SECONDS READY\n");
    return 2;
}
