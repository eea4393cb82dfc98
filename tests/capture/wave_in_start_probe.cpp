// Start probe for waveIn (run in a loop by scripts/wavein-start-loop.sh, not by ctest): one
// capture started in a fresh process, held until the first block arrives, then stopped.
//
//   wave_in_start_probe capture     through WaveInCapture into an armed engine
//   wave_in_start_probe window      the same while this thread enumerates the mixers, as the
//                                   main window does right after it starts capture
//   wave_in_start_probe raw         as window, but the waveIn calls made directly on a thread
//                                   of their own: Wine alone, without WaveInCapture
//
// Prints "ok" or the call that failed with its code; exits 0 only when a block arrived.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "capture/wave_in_capture.h"
#include "engine/track_engine.h"
#include "mixer/mixer_device_list.h"
#include "tests/support/test_sink.h"

namespace {

constexpr DWORD kFirstBlockMs = 10000;  // generous: a block takes 133 ms

int ProbeCapture(bool withMixers) {
    TrackEngine engine;
    engine.SetSink(new TestSink);
    if (!engine.Start()) return 2;
    WaveInCapture capture("", &engine, false);
    if (!capture.Start()) return 2;
    MixerDeviceList mixers;
    if (withMixers) mixers.Enumerate(kMixerKindWaveIn, nullptr);
    const DWORD deadline = GetTickCount() + kFirstBlockMs;
    while (engine.ProcessedBlocks() == 0 && !capture.HasEnded() && GetTickCount() < deadline) {
        WaitForSingleObject(engine.DrainedEvent(), 100);
    }
    const bool arrived = engine.ProcessedBlocks() > 0;
    const bool ended = capture.HasEnded();
    capture.stopping = 1;
    capture.StopAndWait();
    engine.StopAndWait();
    if (arrived) {
        std::printf("ok\n");
        return 0;
    }
    std::printf("capture %s, lastResult %ld\n", ended ? "ended" : "silent", capture.lastResult);
    return 1;
}

struct RawState {
    HANDLE firstBlock = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

void CALLBACK RawCallback(HWAVEIN, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
    if (message == WIM_DATA) SetEvent(reinterpret_cast<RawState*>(instance)->firstBlock);
}

int ProbeRaw() {
    RawState state;
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = kCaptureRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = kCaptureRate * 4;
    HWAVEIN device = nullptr;
    MMRESULT result = waveInOpen(&device, WAVE_MAPPER, &format,
                                 reinterpret_cast<DWORD_PTR>(&RawCallback),
                                 reinterpret_cast<DWORD_PTR>(&state), CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) {
        std::printf("waveInOpen %u\n", result);
        return 1;
    }
    // Wine's waveInOpen may answer success without a handle (see WaveInCapture's constructor).
    if (!device) std::printf("waveInOpen 0 gave no handle; ");
    WAVEHDR headers[kWaveInHeaders] = {};
    std::unique_ptr<char[]> data[kWaveInHeaders];
    const char* failed = nullptr;
    for (int i = 0; i < kWaveInHeaders && !failed; ++i) {
        data[i].reset(new char[kCaptureBlockBytes]);
        headers[i].lpData = data[i].get();
        headers[i].dwBufferLength = kCaptureBlockBytes;
        result = waveInPrepareHeader(device, &headers[i], sizeof(WAVEHDR));
        if (result != MMSYSERR_NOERROR) failed = "waveInPrepareHeader";
        if (!failed) result = waveInAddBuffer(device, &headers[i], sizeof(WAVEHDR));
        if (result != MMSYSERR_NOERROR && !failed) failed = "waveInAddBuffer";
    }
    if (!failed) {
        result = waveInStart(device);
        if (result != MMSYSERR_NOERROR) failed = "waveInStart";
    }
    const bool arrived =
        !failed && WaitForSingleObject(state.firstBlock, kFirstBlockMs) == WAIT_OBJECT_0;
    waveInStop(device);
    waveInReset(device);
    for (WAVEHDR& header : headers) {
        if (header.dwFlags & WHDR_PREPARED) waveInUnprepareHeader(device, &header, sizeof(WAVEHDR));
    }
    waveInClose(device);
    CloseHandle(state.firstBlock);
    if (failed) {
        std::printf("%s %u\n", failed, result);
        return 1;
    }
    std::printf(arrived ? "ok\n" : "no block\n");
    return arrived ? 0 : 1;
}

DWORD WINAPI RawThread(void*) { return DWORD(ProbeRaw()); }

int ProbeRawWithMixers() {
    const HANDLE thread = CreateThread(nullptr, 0, &RawThread, nullptr, 0, nullptr);
    if (!thread) return 2;
    MixerDeviceList mixers;
    mixers.Enumerate(kMixerKindWaveIn, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 2;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return int(code);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "capture") == 0) return ProbeCapture(false);
    if (argc == 2 && std::strcmp(argv[1], "window") == 0) return ProbeCapture(true);
    if (argc == 2 && std::strcmp(argv[1], "raw") == 0) return ProbeRawWithMixers();
    std::fprintf(stderr, "usage: wave_in_start_probe capture|window|raw\n");
    return 2;
}
