// The mixer diagnostic log: plain ASCII lines, LF only, rewritten at each enumeration.
#include "mixer/mixer_log.h"

#include <cstdarg>

MixerLog processMixerLog;

DWORD MixerLog::CreateLog() {
    CloseLog();
    HANDLE created = CreateFileA(kMixerLogPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) return GetLastError();
    file = created;
    return 0;
}

void MixerLog::Print(const char* format, ...) {
    if (!IsOpen()) return;
    char text[kMixerLogLineBytes];
    va_list arguments;
    va_start(arguments, format);
    int length = wvsprintfA(text, format, arguments);
    va_end(arguments);
    if (length <= 0) return;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);  // a lost line is harmless
}

void MixerLog::CloseLog() {
    if (!IsOpen()) return;
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
}
