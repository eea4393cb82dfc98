// Benchmark (built, not run by ctest): how long the main window's message loop waits for the
// engine. Runs the window on the bench with the longest gap (140 blocks) and live mode, plays
// tones, and measures (1) the round trip of a message to the window every 5 ms while tracks
// are written and ended automatically, (2) the time the Stop press takes while a track holds
// 139 delayed blocks, beside the Start press (the window's own share of a press), and (3) the
// longest round trip in the second after Stop, while those blocks are written. Once with PCM,
// once with IMA ADPCM; about two minutes in all.
//
//   wine app_window_stall_bench.exe   (with the bench env sourced: scripts/bench.sh up)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/languages.h"
#include "app/main_dialog.h"
#include "resources/resource_ids.h"
#include "tests/app/main_window_harness.h"
#include "tests/support/bench_audio.h"

namespace {

using app_test::MainWindowRun;
using app_test::WaitFor;

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

double TimedSend(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    SendMessageA(window, message, wParam, lParam);
    QueryPerformanceCounter(&end);
    return Milliseconds(start, end);
}

void Run(const char* name, const BYTE* format, size_t formatBytes) {
    const std::string folder = bench::ScratchDir(std::string("stall_") + name);
    MainWindowRun run([&](MainDialog& dialog) {
        Settings& settings = dialog.CurrentSettings();
        settings.folder = bench::WindowsPath(folder);
        settings.Duration = 140;
        settings.Discard = 3;
        settings.liveMode = 1;
        if (format) std::memcpy(settings.outputFormat.Bytes(), format, formatBytes);
    });
    if (!run.WaitOpen()) {
        std::printf("%s: the window did not open\n", name);
        return;
    }
    HWND record = run.Item(IDC_MAIN_RECORD);
    const double startPress =
        TimedSend(run.Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_RECORD, BN_CLICKED), LPARAM(record));

    // 20 s of tone (more than 140 blocks, so the delay queue is full), 20 s of silence (the 141
    // silent blocks that end a live track, all written at once by the worker), 20 s of tone.
    const int rate = 44100;
    std::vector<int16_t> side = bench::StereoSine(rate, 440.0, 0.5, 20 * rate, rate);
    side.resize(side.size() + size_t(20) * rate * 2, 0);
    const std::vector<int16_t> second = bench::StereoSine(rate, 440.0, 0.5, 20 * rate, 0);
    side.insert(side.end(), second.begin(), second.end());
    const std::string wav = folder + "/side.wav";
    bench::WriteStereoWav(wav, rate, side);
    bench::Playback play;
    play.Start(wav);

    std::vector<double> trips;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 60000) {
        trips.push_back(TimedSend(run.Window(), WM_NULL, 0, 0));
        Sleep(5);  // sampling interval of the measurement
    }
    // The second tone's track is open with 139 delayed blocks, all to be written.
    const double stop =
        TimedSend(run.Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_RECORD, BN_CLICKED), LPARAM(record));
    double afterStop = 0.0;
    for (const DWORD stopped = GetTickCount(); GetTickCount() - stopped < 1000;) {
        afterStop = std::max(afterStop, TimedSend(run.Window(), WM_NULL, 0, 0));
        Sleep(1);  // sampling interval of the measurement
    }
    play.Wait(60000);
    run.Close();

    std::sort(trips.begin(), trips.end());
    std::printf("%-9s message round trips: %zu, median %.2f ms, 99%% %.2f ms, max %.2f ms; "
                "Start press %.2f ms, Stop press %.2f ms, then max round trip %.2f ms\n",
                name, trips.size(), trips[trips.size() / 2], trips[trips.size() * 99 / 100],
                trips.back(), startPress, stop, afterStop);
}

}  // namespace

int main() {
    UiLanguage = LANG_ENGLISH;
    std::strcpy(DecimalSeparator, ".");
    app_test::FreshSettingsKey key;
    Run("PCM", nullptr, 0);
    // IMA ADPCM, 44100 Hz stereo, 2048-byte blocks.
    const BYTE ima[] = {0x11, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0xDB, 0xAC,
                        0x00, 0x00, 0x00, 0x08, 0x04, 0x00, 0x02, 0x00, 0xF9, 0x07};
    Run("IMA ADPCM", ima, sizeof ima);
    return 0;
}
