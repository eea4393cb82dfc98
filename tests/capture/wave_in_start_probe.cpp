// Start probe for waveIn (run in a loop by scripts/wavein-start-loop.sh, not by ctest): in a
// fresh process, capture starts while this thread enumerates the mixers, as the main window
// does, and is held until the first block arrives.
//
//   wave_in_start_probe capture     through WaveInCapture into an armed engine
//   wave_in_start_probe raw         waveInOpen alone on a thread of its own: Wine without us
//
// Prints "ok" or what failed; exits 0 only when capture started.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstring>

#include "capture/wave_in_capture.h"
#include "engine/track_engine.h"
#include "mixer/mixer_device_list.h"
#include "tests/support/test_sink.h"

namespace {

constexpr DWORD kFirstBlockMs = 10000;  // generous: a block takes 133 ms

int ProbeCapture() {
    TrackEngine engine;
    engine.SetSink(new TestSink);
    WaveInCapture capture("", &engine, false);
    if (!engine.Start() || !capture.Start()) return 2;
    MixerDeviceList().Enumerate(kMixerKindWaveIn, nullptr);
    const DWORD deadline = GetTickCount() + kFirstBlockMs;
    while (engine.ProcessedBlocks() == 0 && !capture.HasEnded() && GetTickCount() < deadline) {
        WaitForSingleObject(engine.DrainedEvent(), 100);
    }
    const bool arrived = engine.ProcessedBlocks() > 0;
    capture.stopping = 1;
    capture.StopAndWait();
    std::printf(arrived ? "ok\n" : "no block, lastResult %ld\n", capture.lastResult);
    return arrived ? 0 : 1;
}

DWORD WINAPI OpenAndClose(void*) {
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 2, kCaptureRate, kCaptureRate * 4, 4, 16, 0};
    HWAVEIN device = nullptr;
    const MMRESULT result = waveInOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (result != MMSYSERR_NOERROR) {
        std::printf("waveInOpen %u\n", result);
        return 1;
    }
    if (!device) {
        std::printf("waveInOpen answered success with no handle\n");
        return 1;
    }
    waveInClose(device);
    std::printf("ok\n");
    return 0;
}

int ProbeRaw() {
    const HANDLE thread = CreateThread(nullptr, 0, &OpenAndClose, nullptr, 0, nullptr);
    if (!thread) return 2;
    MixerDeviceList().Enumerate(kMixerKindWaveIn, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 2;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return int(code);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "capture") == 0) return ProbeCapture();
    if (argc == 2 && std::strcmp(argv[1], "raw") == 0) return ProbeRaw();
    std::fprintf(stderr, "usage: wave_in_start_probe capture|raw\n");
    return 2;
}
