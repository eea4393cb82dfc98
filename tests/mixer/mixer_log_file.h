// Reading the mixer log back in the tests.
#pragma once

#include <windows.h>

#include <string>

#include "mixer/mixer_log.h"

// The whole file, or "<missing>" when it cannot be opened (as while another handle holds it).
inline std::string ReadLog() {
    HANDLE file = CreateFileA(kMixerLogPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string content;
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) content.append(chunk, got);
    CloseHandle(file);
    return content;
}
