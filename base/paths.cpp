// Paths by characters of the code page.
#include "base/paths.h"

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Where the last separator starts, and where the run of separators ending the text starts
// (text.size() when the text does not end in one).
struct Separators {
    size_t last = std::string::npos;
    size_t trailing = 0;
};

Separators FindSeparators(const std::string& text, UINT codePage) {
    Separators found;
    found.trailing = text.size();
    for (size_t at = 0; at < text.size(); at = NextCharacter(text, at, codePage)) {
        if (IsSeparator(text[at])) {
            found.last = at;
            if (found.trailing == text.size()) found.trailing = at;
        } else {
            found.trailing = text.size();
        }
    }
    return found;
}

bool IsDrive(const std::string& text) {
    const char letter = char(text.empty() ? 0 : text[0] | 0x20);
    return text.size() == 2 && text[1] == ':' && letter >= 'a' && letter <= 'z';
}

}  // namespace

size_t NextCharacter(const std::string& text, size_t at, UINT codePage) {
    const char* p = text.c_str() + at;
    const char* next = CharNextExA(static_cast<WORD>(codePage), p, 0);
    return next > p ? size_t(next - text.c_str()) : at + 1;
}

std::string NormalizeFolder(const std::string& folder, UINT codePage) {
    const std::string kept = folder.substr(0, FindSeparators(folder, codePage).trailing);
    if (kept.empty()) return "\\";
    if (IsDrive(kept)) return kept + "\\";
    return kept;
}

std::string WithoutTrailingBackslash(const std::string& folder, UINT codePage) {
    const size_t last = FindSeparators(folder, codePage).last;
    const bool ends = last != std::string::npos && last + 1 == folder.size();
    return ends && folder[last] == '\\' ? folder.substr(0, last) : folder;
}

std::string InFolder(const std::string& folder, const std::string& name, UINT codePage) {
    if (folder.empty() || FindSeparators(folder, codePage).trailing < folder.size()) {
        return folder + name;
    }
    return folder + "\\" + name;
}

std::string BaseName(const std::string& path, UINT codePage) {
    const size_t last = FindSeparators(path, codePage).last;
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string FolderOf(const std::string& path, UINT codePage) {
    const size_t last = FindSeparators(path, codePage).last;
    return last == std::string::npos ? std::string() : path.substr(0, last);
}
