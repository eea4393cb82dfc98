// Proves the bench end to end: a tone played into the turntable null sink arrives through
// Wine's waveIn from the default recording device with its level and frequency intact.
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "tests/support/bench_audio.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBufferFrames = 4410;   // 100 ms per buffer
constexpr int kBuffers = 30;          // 3 s of capture

// Records kBuffers buffers from the default device while `play` runs.
std::vector<int16_t> CaptureWhile(bench::Playback& playback, const std::string& wav) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = kRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = kRate * 4;

    HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWAVEIN device = nullptr;
    MMRESULT opened = waveInOpen(&device, WAVE_MAPPER, &format, DWORD_PTR(done), 0, CALLBACK_EVENT);
    EXPECT_EQ(opened, MMSYSERR_NOERROR) << "no recording device: is PulseAudio up?";
    std::vector<int16_t> captured;
    if (opened != MMSYSERR_NOERROR) {
        CloseHandle(done);
        return captured;
    }
    std::vector<std::vector<int16_t>> data(kBuffers, std::vector<int16_t>(kBufferFrames * 2));
    std::vector<WAVEHDR> headers(kBuffers);
    for (int i = 0; i < kBuffers; ++i) {
        headers[i] = {};
        headers[i].lpData = reinterpret_cast<LPSTR>(data[i].data());
        headers[i].dwBufferLength = kBufferFrames * 4;
        waveInPrepareHeader(device, &headers[i], sizeof(WAVEHDR));
        waveInAddBuffer(device, &headers[i], sizeof(WAVEHDR));
    }
    waveInStart(device);
    EXPECT_TRUE(playback.Start(wav));
    const DWORD start = GetTickCount();
    while (!(headers[kBuffers - 1].dwFlags & WHDR_DONE) && GetTickCount() - start < 15000) {
        WaitForSingleObject(done, 500);
    }
    waveInReset(device);
    for (int i = 0; i < kBuffers; ++i) {
        const int16_t* p = data[i].data();
        captured.insert(captured.end(), p, p + headers[i].dwBytesRecorded / 2);
        waveInUnprepareHeader(device, &headers[i], sizeof(WAVEHDR));
    }
    waveInClose(device);
    CloseHandle(done);
    return captured;
}

TEST(Turntable, ToneArrivesWithItsLevelAndFrequency) {
    ASSERT_FALSE(bench::UnixDir().empty()) << "GROOVAL_BENCH is not set: run through scripts/test.sh";
    const std::string wav = bench::ScratchDir("turntable") + "/tone.wav";
    // 1 kHz at half scale for 1.5 s after 0.1 s of silence.
    ASSERT_TRUE(bench::WriteStereoWav(wav, kRate, bench::StereoSine(kRate, 1000.0, 0.5, 66150, 4410)));

    bench::Playback playback;
    const std::vector<int16_t> captured = CaptureWhile(playback, wav);
    EXPECT_TRUE(playback.Wait(15000)) << "paplay failed or did not finish";
    ASSERT_GE(captured.size(), size_t(kRate) * 2) << "less than a second captured";

    // Level: the loudest left sample is the tone's amplitude.
    int peak = 0;
    for (size_t i = 0; i < captured.size(); i += 2) peak = std::max(peak, std::abs(int(captured[i])));
    EXPECT_NEAR(peak, 16384, 400) << "no tone arrived (peak " << peak << ")";

    // Frequency: rising zero crossings over the loud part, left channel.
    size_t first = 0, last = 0;
    for (size_t i = 0; i < captured.size(); i += 2) {
        if (std::abs(int(captured[i])) > 8000) {
            if (first == 0) first = i;
            last = i;
        }
    }
    ASSERT_GT(last, first + 2 * 22050) << "tone shorter than half a second";
    int crossings = 0;
    for (size_t i = first + 2; i <= last; i += 2) {
        if (captured[i - 2] < 0 && captured[i] >= 0) ++crossings;
    }
    const double seconds = double(last - first) / 2 / kRate;
    EXPECT_NEAR(crossings / seconds, 1000.0, 10.0);
}

}  // namespace
