// Both back-ends with no capture device at all: the thread ends by itself with a non-zero code.
//
// Wine reads its audio driver once per process, so the case needs a fresh process: the test
// switches Wine's audio driver off in the registry (restoring it afterwards), runs this exe
// again for the disabled child test below, and judges what the child wrote down.
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "capture/direct_sound_capture.h"
#include "capture/wave_in_capture.h"
#include "base/unique_handle.h"
#include "tests/capture/capture_rig.h"
#include "tests/support/bench_audio.h"

namespace {

using namespace capture_test;

constexpr char kResultsVariable[] = "GROOVAL_NO_DEVICE_RESULTS";
constexpr char kDriversKey[] = "Software\\Wine\\Drivers";
constexpr DWORD kChildMs = 120000;

using Key = KeyHandle;

// Sets Wine's audio driver list to empty (no sound devices) for processes started meanwhile.
class AudioDriverSwitchedOff {
public:
    AudioDriverSwitchedOff() {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kDriversKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                            nullptr, key_.Receive(), nullptr) != ERROR_SUCCESS) {
            return;
        }
        char value[256] = {};
        DWORD type = 0;
        DWORD size = sizeof value - 1;
        if (RegQueryValueExA(key_.Get(), "Audio", nullptr, &type, reinterpret_cast<BYTE*>(value),
                             &size) == ERROR_SUCCESS && type == REG_SZ) {
            had_ = true;
            saved_ = value;
        }
        ok_ = RegSetValueExA(key_.Get(), "Audio", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1) ==
              ERROR_SUCCESS;
    }
    ~AudioDriverSwitchedOff() {
        if (!key_) return;
        if (had_) {
            RegSetValueExA(key_.Get(), "Audio", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(saved_.c_str()), DWORD(saved_.size() + 1));
        } else {
            RegDeleteValueA(key_.Get(), "Audio");
        }
    }
    AudioDriverSwitchedOff(const AudioDriverSwitchedOff&) = delete;
    AudioDriverSwitchedOff& operator=(const AudioDriverSwitchedOff&) = delete;
    bool ok() const { return ok_; }

private:
    Key key_;
    bool had_ = false;
    bool ok_ = false;
    std::string saved_;
};

using Handle = KernelHandle;

// Runs this exe's disabled child test; its output goes to `log`. Returns the exit code, or -1.
long RunChild(const std::string& results, const std::string& log) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = std::string("\"") + self +
                          "\" --gtest_filter=CaptureWithoutDevice.DISABLED_Child"
                          " --gtest_also_run_disabled_tests";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    Handle output(CreateFileA(log.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (output.Get() == INVALID_HANDLE_VALUE) {
        output.Release();
        std::printf("cannot create %s: error %lu\n", log.c_str(), GetLastError());
        return -1;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.Get();
    startup.hStdError = output.Get();
    PROCESS_INFORMATION process = {};
    SetEnvironmentVariableA(kResultsVariable, results.c_str());
    const BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    SetEnvironmentVariableA(kResultsVariable, nullptr);
    if (!started) {
        std::printf("cannot start the child: error %lu\n", GetLastError());
        return -1;
    }
    Handle child(process.hProcess);
    Handle thread(process.hThread);
    if (WaitForSingleObject(child.Get(), kChildMs) != WAIT_OBJECT_0) {
        TerminateProcess(child.Get(), 99);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(child.Get(), &code);
    return long(code);
}

struct Outcome {
    int ended = -1;
    unsigned long lastResult = 0;
    int processed = -1;
    long blockBytes = -1;
};

TEST(CaptureWithoutDevice, ThreadEndsByItselfWithANonZeroCode) {
    // Names of their own per run: a helper process of Wine's may keep an earlier log open.
    static int run = 0;
    const std::string folder = bench::ScratchDir("capture-no-device");
    const std::string suffix = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++run);
    const std::string results = bench::WindowsPath(folder + "/results-" + suffix + ".txt");
    const std::string log = bench::WindowsPath(folder + "/child-" + suffix + ".log");
    long exitCode = -1;
    {
        AudioDriverSwitchedOff off;
        ASSERT_TRUE(off.ok()) << "Wine's audio driver setting cannot be changed";
        exitCode = RunChild(results, log);
    }
    std::ifstream logFile(log);
    std::stringstream childOutput;
    childOutput << logFile.rdbuf();
    ASSERT_EQ(exitCode, 0) << "the child run failed:\n" << childOutput.str();

    std::ifstream in(results);
    std::map<std::string, Outcome> outcomes;
    int devices = -1;
    std::string name;
    while (in >> name) {
        if (name == "devices") {
            in >> devices;
            continue;
        }
        Outcome& outcome = outcomes[name];
        in >> outcome.ended >> std::hex >> outcome.lastResult >> std::dec >> outcome.processed >>
            outcome.blockBytes;
    }
    ASSERT_EQ(devices, 0) << "the child still saw recording devices:\n" << childOutput.str();
    for (const char* backEnd : {"waveIn", "waveIn78", "DirectSound", "DirectSound78"}) {
        SCOPED_TRACE(backEnd);
        ASSERT_EQ(outcomes.count(backEnd), 1u) << childOutput.str();
        const Outcome& outcome = outcomes[backEnd];
        EXPECT_EQ(outcome.ended, 1) << "the thread did not end by itself";
        EXPECT_NE(outcome.lastResult, 0u) << "a window would show 00000000";
        EXPECT_EQ(outcome.processed, 0);
        EXPECT_EQ(outcome.blockBytes, 0);
    }
}

// The child: runs only when the test above starts it.
TEST(CaptureWithoutDevice, DISABLED_Child) {
    const char* results = std::getenv(kResultsVariable);
    ASSERT_NE(results, nullptr) << "run by CaptureWithoutDevice.ThreadEndsByItselfWithANonZeroCode";
    std::ofstream out(results, std::ios::trunc);
    out << "devices " << waveInGetNumDevs() << "\n";
    for (int i = 0; i < 4; ++i) {
        const bool directSound = i >= 2;
        const bool mode78 = i % 2 == 1;
        CaptureRig rig;
        std::unique_ptr<CaptureDevice> capture =
            CreateCaptureDevice(directSound, "Monitor of Null Output", &rig.engine, mode78);
        ASSERT_TRUE(capture);
        ASSERT_TRUE(capture->Start());
        const bool ended = WaitEnded(*capture, 10000);
        if (!ended) capture->StopAndWait();
        rig.StopEngine();
        char line[128];
        std::snprintf(line, sizeof line, "%s%s %d %08lx %d %ld\n",
                      directSound ? "DirectSound" : "waveIn", mode78 ? "78" : "", ended ? 1 : 0,
                      static_cast<unsigned long>(capture->lastResult),
                      int(rig.engine.ProcessedBlocks()), long(rig.engine.blockBytes));
        out << line;
    }
}

}  // namespace
