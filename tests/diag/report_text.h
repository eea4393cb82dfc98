// Reading crash reports back in the tests: whole files, lines, and the system's name of a code.
#pragma once

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// NTDLL's text for an exception code on one line, or "" when the system has none (as on Wine).
inline std::string SystemExceptionName(DWORD code) {
    char text[512] = "";
    if (FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                       GetModuleHandleA("NTDLL.DLL"), code, 0, text, sizeof(text), nullptr) == 0) {
        return "";
    }
    std::string name = text;
    while (!name.empty() && (name.back() == '\r' || name.back() == '\n' || name.back() == ' ')) {
        name.pop_back();
    }
    return name;
}
