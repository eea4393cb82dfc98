// Helpers of the grooval-split tests (see split_test_util.h).
#include "tests/split/split_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "engine/stream_format.h"
#include "tests/support/bench_audio.h"

namespace splittest {

namespace {

constexpr double kPi = 3.14159265358979323846;

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

std::string ReadAll(const std::string& path) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string all;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        all.append(buffer, read);
    }
    CloseHandle(file);
    return all;
}

// The tool writes text lines ending in CR LF.
std::string WithoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

}  // namespace

std::wstring Wide(const std::string& utf8) {
    std::wstring text(utf8.size(), L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &text[0],
                                           int(text.size()));
    text.resize(size_t(length > 0 ? length : 0));
    return text;
}

std::string Utf8(const std::wstring& text) {
    std::string utf8(text.size() * 3, '\0');
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &utf8[0],
                                           int(utf8.size()), nullptr, nullptr);
    utf8.resize(size_t(length > 0 ? length : 0));
    return utf8;
}

Block LoudBlock(int index) {
    Block block(kCaptureBlockValues);
    for (int32_t frame = 0; frame < kCaptureBlockFrames; ++frame) {
        const double t = double(frame + index * kCaptureBlockFrames) / kCaptureRate;
        block[size_t(frame) * 2] = int16_t(9000 * std::sin(2 * kPi * 330 * t) + index % 7);
        block[size_t(frame) * 2 + 1] = int16_t(7000 * std::sin(2 * kPi * 550 * t) - index % 5);
    }
    return block;
}

Block SoftBlock(int index) {
    Block block = LoudBlock(index);
    for (int16_t& value : block) value = int16_t(value / 22);  // 9000 and 7000 to 409 and 318
    return block;
}

Block QuietBlock(int index) {
    Block block(kCaptureBlockValues);
    uint32_t state = 2654435761u * uint32_t(index + 1);
    for (int16_t& value : block) {
        state = state * 1664525u + 1013904223u;
        value = int16_t(int32_t(state >> 29) - 4);  // -4..3
    }
    return block;
}

namespace {

// Deterministic noise of about unit RMS (a sum of uniform values, near Gaussian).
struct NoiseSource {
    uint32_t state = 12345;
    double Uniform() {
        state = state * 1664525u + 1013904223u;
        return double(state >> 8) / double(1u << 24) - 0.5;
    }
    double Next() { return (Uniform() + Uniform() + Uniform() + Uniform()) * std::sqrt(3.0); }
};

double Gain(double dbfs) {
    return 32768.0 * std::pow(10.0, dbfs / 20.0);
}

// The music's level in dBFS RMS at `t` seconds into a song of `seconds`.
double SongLevel(double t, double seconds, double softDbfs) {
    const double fadeIn = 1.0, fadeOut = 3.0, soft = 3.0, ramp = 0.2;
    const double softStart = (seconds - soft) / 2, softEnd = softStart + soft;
    double level = -20.0;
    if (t < fadeIn) level = -50.0 + 30.0 * t / fadeIn;
    if (t > seconds - fadeOut) level = -20.0 - 30.0 * (t - (seconds - fadeOut)) / fadeOut;
    const double into = std::min(t - softStart, softEnd - t);
    if (into > 0) {
        level = std::max(softDbfs, std::min(level, -20.0 + (softDbfs + 20.0) * into / ramp));
    }
    return level;
}

}  // namespace

RecordedSide MakeRecordedSide(double noiseDbfs, int songs, double songSeconds,
                              double zeroSeconds, const MoreNoise& more) {
    const uint64_t rate = kCaptureRate;
    const uint64_t zeros = uint64_t(zeroSeconds * rate), lead = rate, gap = 3 * rate;
    const uint64_t songFrames = uint64_t(songSeconds * rate);
    RecordedSide side;
    uint64_t at = zeros + lead;
    for (int s = 0; s < songs; ++s) {
        side.songs.push_back({at, at + songFrames});
        at += songFrames + (s + 1 < songs ? gap : 2 * rate);
    }
    std::vector<double> mix(size_t(at) * 2, 0.0);
    for (size_t s = 0; s < side.songs.size(); ++s) {
        const uint64_t first = side.songs[s].first;
        for (uint64_t n = 0; n < songFrames; ++n) {
            const double t = double(n) / rate;
            // A tone of that RMS in each channel, a tremolo of 3 Hz: no block holds its level.
            const double tremolo = 1.0 + 0.3 * std::sin(2 * kPi * 3.0 * t);
            const double gain =
                Gain(SongLevel(t, songSeconds, more.softDbfs)) * std::sqrt(2.0) * tremolo;
            mix[size_t(first + n) * 2] = gain * std::sin(2 * kPi * (220.0 + 110.0 * s) * t);
            mix[size_t(first + n) * 2 + 1] = gain * std::sin(2 * kPi * 330.0 * t);
        }
    }
    // Hiss, half shared by the channels, and about 25 ticks a second of 1 to 3 samples.
    NoiseSource noise;
    const double hiss = Gain(noiseDbfs);
    for (uint64_t n = zeros; n < at; ++n) {
        const double shared = noise.Next();
        for (int c = 0; c < 2; ++c) {
            mix[size_t(n) * 2 + size_t(c)] += hiss * (0.75 * noise.Next() + 0.66 * shared);
        }
        if (noise.Uniform() + 0.5 < 25.0 / rate) {
            const double peak = hiss * (2.25 + 2.5 * noise.Uniform());
            const uint64_t width = 1 + uint64_t((noise.Uniform() + 0.5) * 3);
            for (uint64_t k = 0; k < width && n + k < at; ++k) mix[size_t(n + k) * 2] += peak;
        }
    }
    for (uint64_t n = 0; n < at; ++n) {
        const double t = double(n) / rate;
        for (int c = 0; c < 2 && n < zeros && more.leadHissDbfs != 0.0; ++c) {
            mix[size_t(n) * 2 + size_t(c)] += Gain(more.leadHissDbfs) * noise.Next();
        }
        if (n < zeros || more.rumbleDbfs == 0.0) continue;
        const double rumble = Gain(more.rumbleDbfs) *
                              (std::sin(2 * kPi * 13.0 * t) + std::sin(2 * kPi * 17.0 * t + 1.0));
        for (int c = 0; c < 2; ++c) mix[size_t(n) * 2 + size_t(c)] += rumble;
    }
    side.samples.resize(mix.size());
    for (size_t i = 0; i < mix.size(); ++i) {
        side.samples[i] = int16_t(std::lround(std::max(-32768.0, std::min(32767.0, mix[i]))));
    }
    return side;
}

Block Concatenate(const std::vector<Block>& blocks) {
    Block all;
    for (const Block& block : blocks)
        all.insert(all.end(), block.begin(), block.end());
    return all;
}

Side& Side::Song(int blocks) {
    for (int i = 0; i < blocks; ++i)
        blocks_.push_back(LoudBlock(loud_++));
    return *this;
}

Side& Side::Soft(int blocks) {
    for (int i = 0; i < blocks; ++i)
        blocks_.push_back(SoftBlock(loud_++));
    return *this;
}

Side& Side::Silence(int blocks) {
    for (int i = 0; i < blocks; ++i)
        blocks_.push_back(QuietBlock(quiet_++));
    return *this;
}

std::vector<int16_t> Side::Samples() const {
    return Concatenate(blocks_);
}

bool WritePcmWav(const std::string& path, int rate, int channels, int bits,
                 const std::vector<uint8_t>& data, uint16_t tag) {
    std::vector<uint8_t> format;
    const uint32_t align = uint32_t(channels * bits / 8);
    Put(format, tag, 2);
    Put(format, uint32_t(channels), 2);
    Put(format, uint32_t(rate), 4);
    Put(format, uint32_t(rate) * align, 4);
    Put(format, align, 2);
    Put(format, uint32_t(bits), 2);
    return WriteWav(path, format, data);
}

bool WriteWav(const std::string& path, const std::vector<uint8_t>& format,
              const std::vector<uint8_t>& data) {
    std::vector<uint8_t> file;
    const uint32_t formatBytes = uint32_t(format.size() + (format.size() & 1));
    file.insert(file.end(), {'R', 'I', 'F', 'F'});
    Put(file, 20 + formatBytes + uint32_t(data.size()) + (data.size() & 1), 4);
    file.insert(file.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put(file, uint32_t(format.size()), 4);
    file.insert(file.end(), format.begin(), format.end());
    if (format.size() & 1) file.push_back(0);
    file.insert(file.end(), {'d', 'a', 't', 'a'});
    Put(file, uint32_t(data.size()), 4);
    file.insert(file.end(), data.begin(), data.end());
    if (data.size() & 1) file.push_back(0);
    return WriteBytes(path, file);
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    const std::string all = ReadAll(path);
    return std::vector<uint8_t>(all.begin(), all.end());
}

std::vector<uint8_t> SampleBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        bytes[2 * i] = uint8_t(uint16_t(samples[i]));
        bytes[2 * i + 1] = uint8_t(uint16_t(samples[i]) >> 8);
    }
    return bytes;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Wide(folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.push_back(Utf8(found.cFileName));
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> TrackData(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    auto u32 = [&](size_t at) {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    };
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const uint32_t size = u32(at + 4);
        if (std::equal(bytes.begin() + long(at), bytes.begin() + long(at) + 4, "data")) {
            if (at + 8 + size > bytes.size()) return {};
            return std::vector<uint8_t>(bytes.begin() + long(at) + 8,
                                        bytes.begin() + long(at + 8 + size));
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

std::string Quote(const std::string& text) {
    return "\"" + text + "\"";
}

ToolRun RunTool(const std::string& arguments, DWORD timeoutMs) {
    ToolRun run;
    const std::string folder = Scratch("split_tool_streams");
    const std::string outPath = folder + "\\out.txt", errPath = folder + "\\err.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(out, INVALID_HANDLE_VALUE);
    EXPECT_NE(err, INVALID_HANDLE_VALUE);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    const std::string commandLine =
        Quote(bench::WindowsPath(GROOVAL_SPLIT_EXE)) + " " + arguments;
    std::wstring wideLine = Wide(commandLine);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, &wideLine[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    EXPECT_TRUE(started) << commandLine;
    if (started) {
        EXPECT_EQ(WaitForSingleObject(process.hProcess, timeoutMs), WAIT_OBJECT_0);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    run.out = WithoutCarriageReturns(ReadAll(outPath));
    run.err = WithoutCarriageReturns(ReadAll(errPath));
    return run;
}

std::string Scratch(const std::string& name) {
    return bench::WindowsPath(bench::ScratchDir(name));
}

}  // namespace splittest
