// MixerLog: the small diagnostic file that records which mixer serves each device index of an
// enumeration. Written, never read back; failures to create it are silent.
#pragma once

#include <windows.h>

constexpr char kMixerLogPath[] = "c:\\grooval.mix";
constexpr int kMixerLogLineBytes = 8192;

class MixerLog {
public:
    MixerLog() = default;
    ~MixerLog() { CloseLog(); }
    MixerLog(const MixerLog&) = delete;
    MixerLog& operator=(const MixerLog&) = delete;

    // Creates (or truncates) the file, unshared. 0, or the GetLastError code.
    DWORD CreateLog();
    // wvsprintfA formatting; does nothing while no file is open.
    void Print(const char* format, ...);
    void CloseLog();
    bool IsOpen() const { return file != INVALID_HANDLE_VALUE; }

private:
    HANDLE file = INVALID_HANDLE_VALUE;
};

// The one log of the process, used by every enumeration.
extern MixerLog processMixerLog;
