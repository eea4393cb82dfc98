// How a Windows error code reads in a message, the same wherever a file operation failed.
#pragma once

#include <windows.h>

#include <string>

// "Windows error 3": the code in decimal, as the system's error tables and `net helpmsg` list it.
inline std::string WindowsErrorText(DWORD error) {
    return "Windows error " + std::to_string(error);
}
