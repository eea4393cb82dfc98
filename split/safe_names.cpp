// Safe track file names: cleaning, reserved names, the path limit and the name search.
#include "split/safe_names.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "base/paths.h"
#include "split/utf8_text.h"

namespace {

constexpr wchar_t kRefused[] = L"\\/:*?\"<>|";
constexpr const wchar_t* kReservedNames[] = {L"CON", L"PRN", L"AUX", L"NUL"};
constexpr const wchar_t* kNumberedDevices[] = {L"COM", L"LPT"};  // with a digit 1 to 9

bool IsRefused(wchar_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || std::wcschr(kRefused, c);
}

// The length of the device name Windows reserves that `name` starts with (whatever follows
// it after spaces or a dot: "CON.txt", "nul .x" are the devices too); 0 when it names none.
size_t ReservedLength(const std::wstring& name) {
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (const wchar_t* reserved : kReservedNames) {
        if (_wcsicmp(base.c_str(), reserved) == 0) return base.size();
    }
    for (const wchar_t* device : kNumberedDevices) {
        if (base.size() == 4 && _wcsnicmp(base.c_str(), device, 3) == 0 && base[3] >= L'1' &&
            base[3] <= L'9') {
            return base.size();
        }
    }
    return 0;
}

void TrimEnd(std::wstring& name) {
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
}

bool IsPairAt(const std::wstring& text, size_t at) {
    return at + 1 < text.size() && text[at] >= 0xD800 && text[at] <= 0xDBFF &&
           text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF;
}

// Drops the last character, both halves of a surrogate pair together.
void DropLast(std::wstring& name) {
    name.resize(name.size() - (name.size() >= 2 && IsPairAt(name, name.size() - 2) ? 2 : 1));
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH * 2] = {};
    const DWORD length = GetFullPathNameW(path.c_str(), DWORD(MAX_PATH * 2), full, nullptr);
    return length == 0 || length >= MAX_PATH * 2 ? std::wstring() : std::wstring(full);
}

}  // namespace

std::string SafeFileName(const std::string& text, size_t maxBytes) {
    std::wstring name;
    const std::wstring wide = WideFromUtf8(text);
    for (size_t at = 0; at < wide.size();) {
        const size_t length = IsPairAt(wide, at) ? 2 : 1;
        const std::wstring character = wide.substr(at, length);
        at += length;
        // A character the code page lacks, or would turn into another one, becomes '_'.
        const bool kept = (length == 2 || !IsRefused(character[0])) &&
                          WideFromAnsi(AnsiFromWide(character)) == character;
        name += kept ? character : std::wstring(1, L'_');
    }
    name.erase(0, std::min(name.find_first_not_of(L' '), name.size()));
    for (;;) {
        TrimEnd(name);
        if (name.empty()) name = L"_";
        if (AnsiFromWide(name).size() <= maxBytes || name.size() <= 1) break;
        DropLast(name);
    }
    // A '_' right after the device's name ("CON_.txt"); from the end when it does not fit.
    if (const size_t reserved = ReservedLength(name)) {
        name.insert(reserved, 1, L'_');
        while (AnsiFromWide(name).size() > maxBytes && name.size() > reserved + 1) {
            DropLast(name);
            TrimEnd(name);
        }
        if (AnsiFromWide(name).size() > maxBytes) {
            name.resize(reserved);
            name.back() = L'_';  // all of a reserved name is ASCII
        }
    }
    return AnsiFromWide(name).substr(0, maxBytes);
}

std::string WithoutDeviceName(const std::string& name) {
    std::wstring wide = WideFromAnsi(name);
    const size_t reserved = ReservedLength(wide);
    if (reserved == 0) return name;
    return AnsiFromWide(wide.insert(reserved, 1, L'_'));
}

std::string TrackStem(const std::string& folder, const std::string& prefix, int32_t number,
                      const std::string& title, const std::string& extension, int32_t part) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%02d", int(number));
    const std::string head = Utf8FromAnsi(prefix) + digits + (title.empty() ? "" : " ");
    const std::string partText = part > 1 ? " (part " + std::to_string(part) + ")" : "";
    const size_t fixed = folder.size() + 1 + (sizeof kCopySuffixRoom - 1) + partText.size() + 1 +
                         extension.size();
    size_t room = fixed < kTrackPathBytes - 1 ? kTrackPathBytes - 1 - fixed : 0;
    // The number is never cut: a name that cannot fit is refused by FreeTrackPath instead.
    if (room < head.size()) room = head.size();
    return SafeFileName(head + title, room) + partText;
}

std::string FreeTrackPath(const std::string& folder, const std::string& stem,
                          const std::string& extension) {
    const std::wstring inside = FullPath(WideFromAnsi(InFolder(folder, "")));
    for (int32_t copy = 1; copy <= kMaxNameCopies; ++copy) {
        const std::string suffix = copy == 1 ? "" : " (" + std::to_string(copy) + ")";
        const std::string path = InFolder(folder, stem + suffix + "." + extension);
        if (path.size() >= kTrackPathBytes) return std::string();
        // Never outside the folder, whatever the name turned into.
        const std::wstring full = FullPath(WideFromAnsi(path));
        if (inside.empty() || full.size() <= inside.size() ||
            _wcsnicmp(full.c_str(), inside.c_str(), inside.size()) != 0 ||
            full.find_first_of(L"\\/", inside.size()) != std::wstring::npos) {
            return std::string();
        }
        // A folder that is not there yet (a dry run) holds no file either.
        if (GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return path;
        }
    }
    return std::string();
}
