// Test helpers for the bench: writing test signals as WAV files and playing them into the
// "turntable" null sink, whose monitor is the default recording source under Wine.
//
// Tests run under Wine and cannot start paplay themselves; scripts/bench-player.sh watches
// <bench>/play for request files and plays them. The bench folder comes in GROOVAL_BENCH.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// The bench folder as a Unix path; empty when the test does not run on the bench.
std::string UnixDir();

// A Unix path as Wine sees it (drive Z: maps the Unix root).
std::string WindowsPath(const std::string& unixPath);

// A scratch folder of the bench for one test (Unix path), created empty.
std::string ScratchDir(const std::string& name);

// Writes interleaved 16-bit stereo as a PCM WAV file. The path is a Unix path.
bool WriteStereoWav(const std::string& unixPath, int rate, const std::vector<int16_t>& samples);

// One playback request. Start returns at once; Wait blocks until paplay has finished.
class Playback {
public:
    Playback() = default;
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    bool Start(const std::string& unixWavPath, const std::string& sink = "turntable");
    // True when paplay finished within the time and exited with 0.
    bool Wait(DWORD timeoutMs);

private:
    std::string requestBase_;  // Windows path without extension
    bool waited_ = false;
};

// Plays a file and waits for it: the common case.
bool PlayAndWait(const std::string& unixWavPath, DWORD timeoutMs);

// A sine of the given frequency and amplitude on both channels, preceded by leadFrames of
// digital silence (the null sink turns the first ~65 frames of each playback into zeros).
std::vector<int16_t> StereoSine(int rate, double frequency, double amplitude, int frames,
                                int leadFrames);

}  // namespace bench
