// Test signals and playback requests for the bench player (see bench_audio.h).
#include "tests/support/bench_audio.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace bench {

namespace {

void PutU32(std::ofstream& out, uint32_t v) {
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.write(b, 4);
}

void PutU16(std::ofstream& out, uint16_t v) {
    const char b[2] = {char(v), char(v >> 8)};
    out.write(b, 2);
}

bool FileExists(const std::string& windowsPath) {
    return GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::string UnixDir() {
    const char* dir = std::getenv("GROOVAL_BENCH");
    return dir ? std::string(dir) : std::string();
}

std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string ScratchDir(const std::string& name) {
    const std::string unixPath = UnixDir() + "/scratch/" + name;
    const std::string win = WindowsPath(unixPath);
    CreateDirectoryA(WindowsPath(UnixDir() + "/scratch").c_str(), nullptr);
    // Empty it: tests count the files they make.
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((win + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                DeleteFileA((win + "\\" + found.cFileName).c_str());
            }
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    CreateDirectoryA(win.c_str(), nullptr);
    return unixPath;
}

bool WriteStereoWav(const std::string& unixPath, int rate, const std::vector<int16_t>& samples) {
    std::ofstream out(WindowsPath(unixPath), std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const uint32_t dataBytes = uint32_t(samples.size() * 2);
    out.write("RIFF", 4);
    PutU32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    PutU32(out, 16);
    PutU16(out, 1);
    PutU16(out, 2);
    PutU32(out, uint32_t(rate));
    PutU32(out, uint32_t(rate) * 4);
    PutU16(out, 4);
    PutU16(out, 16);
    out.write("data", 4);
    PutU32(out, dataBytes);
    for (int16_t s : samples) PutU16(out, uint16_t(s));
    return bool(out);
}

Playback::~Playback() {
    if (!requestBase_.empty() && !waited_) Wait(60000);
}

bool Playback::Start(const std::string& unixWavPath, const std::string& sink) {
    static LONG counter = 0;
    const std::string dir = UnixDir();
    if (dir.empty()) return false;
    char name[64];
    std::snprintf(name, sizeof name, "%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
    requestBase_ = WindowsPath(dir + "/play/" + name);
    waited_ = false;
    // Written under another name first so the player never reads half a request.
    const std::string partial = requestBase_ + ".new";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << unixWavPath << "\n" << sink << "\n";
    }
    return MoveFileA(partial.c_str(), (requestBase_ + ".req").c_str()) != 0;
}

bool Playback::Wait(DWORD timeoutMs) {
    if (requestBase_.empty()) return false;
    waited_ = true;
    const std::string done = requestBase_ + ".done";
    const DWORD start = GetTickCount();
    while (!FileExists(done)) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);  // polling a file the player writes; no event crosses the Wine boundary
    }
    int code = -1;
    {
        std::ifstream in(done);
        in >> code;
    }
    DeleteFileA(done.c_str());
    return code == 0;
}

bool PlayAndWait(const std::string& unixWavPath, DWORD timeoutMs) {
    Playback playback;
    return playback.Start(unixWavPath) && playback.Wait(timeoutMs);
}

std::vector<int16_t> StereoSine(int rate, double frequency, double amplitude, int frames,
                                int leadFrames) {
    const double kPi = 3.14159265358979323846;
    std::vector<int16_t> samples(size_t(leadFrames + frames) * 2, 0);
    for (int i = 0; i < frames; ++i) {
        const double v = amplitude * 32767.0 * std::sin(2 * kPi * frequency * i / rate);
        const int16_t s = int16_t(std::lround(v));
        samples[size_t(leadFrames + i) * 2] = s;
        samples[size_t(leadFrames + i) * 2 + 1] = s;
    }
    return samples;
}

}  // namespace bench
