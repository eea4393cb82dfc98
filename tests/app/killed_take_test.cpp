// The recorder killed in the middle of a take, as a crash, a forced shutdown or a power cut
// would end it: a child process records a steady tone from the turntable and is ended with
// TerminateProcess. Its file must be a whole WAVE file (killed_take.sh then opens it with
// Python's wave module too) that lacks at most the last 2 s of what the recorder had taken.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "engine/stream_format.h"
#include "tests/app/killed_take.h"
#include "tests/support/bench_audio.h"

namespace {

constexpr DWORD kBound = 30000;
constexpr LONG kBlocksBeforeKill = 45;      // 6 s into the track
constexpr int kMissingAtMost = 2 * kCaptureRate;  // frames
constexpr uint32_t kSamplesAt = 56;         // the PCM file's data offset

uint32_t U32(const std::vector<char>& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | uint8_t(bytes[at + size_t(i)]);
    return value;
}

std::string Beside(const char* name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\') + 1) + name;
}

TEST(KilledTake, AKilledRecorderLeavesAWholeFileShortByTwoSecondsAtMost) {
    const std::string unixFolder = bench::ScratchDir("killed_take");
    const std::string folder = bench::WindowsPath(unixFolder);
    const std::string mappingName = "Grooval killed take " + std::to_string(GetCurrentProcessId());
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(TakeState), mappingName.c_str());
    ASSERT_NE(mapping, nullptr);
    HANDLE published = CreateEventA(nullptr, FALSE, FALSE, PublishedEventName(mappingName).c_str());
    ASSERT_NE(published, nullptr);
    auto* state = static_cast<volatile TakeState*>(
        MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(TakeState)));
    ASSERT_NE(state, nullptr);
    state->processed = 0;
    state->processedAtOpen = -1;

    std::string command = "\"" + Beside("app_killed_take_child.exe") + "\" \"" + folder + "\" \"" +
                          mappingName + "\" " + std::to_string(GetCurrentProcessId());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &child))
        << command;
    const std::string tone = unixFolder + "/tone.wav";
    ASSERT_TRUE(bench::WriteStereoWav(tone, kCaptureRate,
                                      bench::StereoSine(kCaptureRate, 440.0, 0.5, 12 * kCaptureRate, 0)));
    bench::Playback play;
    ASSERT_TRUE(play.Start(tone));

    while (state->processedAtOpen < 0 || state->processed - state->processedAtOpen < kBlocksBeforeKill) {
        if (WaitForSingleObject(published, kBound) != WAIT_OBJECT_0) break;
    }
    ASSERT_TRUE(TerminateProcess(child.hProcess, 1));
    ASSERT_EQ(WaitForSingleObject(child.hProcess, kBound), WAIT_OBJECT_0);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    ASSERT_GE(state->processedAtOpen, 0) << "the tone opened no track";
    ASSERT_GE(state->processed - state->processedAtOpen, kBlocksBeforeKill) << "the child stalled";
    // The block that opened the track and every one after it, as far as the child told.
    const int heard = (state->processed - state->processedAtOpen + 1) * kCaptureBlockFrames;

    const std::string take = folder + "\\" + kKilledTakePrefix + "0001.wav";
    std::ifstream in(take, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(file.size(), kSamplesAt) << take;
    // The sizes of the last update: what was written after it lies beyond them, uncounted.
    const uint32_t dataBytes = U32(file, kSamplesAt - 4);
    EXPECT_LE(kSamplesAt + dataBytes, file.size()) << "data size past the end";
    EXPECT_EQ(U32(file, 4), kSamplesAt - 8 + dataBytes) << "RIFF size";
    EXPECT_EQ(U32(file, 44), dataBytes / kCaptureFrameBytes) << "fact";
    const int frames = int(dataBytes / kCaptureFrameBytes);
    EXPECT_LE(heard - frames, kMissingAtMost) << heard << " frames heard, " << frames << " kept";
    EXPECT_GT(frames, 0);
    // For the reading with Python's wave module: the file and the frames it must hold.
    std::ofstream(folder + "\\expected.txt", std::ios::binary)
        << take.substr(folder.size() + 1) << " " << (heard - kMissingAtMost) << "\n";
    UnmapViewOfFile(const_cast<TakeState*>(state));
    CloseHandle(published);
    CloseHandle(mapping);
}

}  // namespace
