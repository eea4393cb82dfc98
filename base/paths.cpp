// Paths by characters of the code page.
#include "base/paths.h"

#include <vector>

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

// The names between separators; a trailing separator adds none.
std::vector<std::string> Components(const std::string& path, UINT codePage) {
    std::vector<std::string> parts(1);
    for (size_t at = 0; at < path.size();) {
        const size_t next = NextCharacter(path, at, codePage);
        if (IsSeparator(path[at])) {
            parts.emplace_back();
        } else {
            parts.back().append(path, at, next - at);
        }
        at = next;
    }
    while (parts.size() > 1 && parts.back().empty()) parts.pop_back();
    return parts;
}

// The components naming the drive ("C:") or the share ("", "", server, share).
size_t RootComponents(const std::vector<std::string>& parts) {
    return parts.size() > 1 && parts[0].empty() && parts[1].empty() ? 4 : 1;
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

std::string FullPath(const std::string& path) {
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return path;
    return full;
}

std::string RelativePath(const std::string& path, const std::string& folder, UINT codePage) {
    const std::vector<std::string> to = Components(path, codePage);
    const std::vector<std::string> from = Components(folder, codePage);
    size_t common = 0;  // the file's own name is never one of them
    while (common + 1 < to.size() && common < from.size() &&
           lstrcmpiA(to[common].c_str(), from[common].c_str()) == 0) {
        ++common;
    }
    const size_t root = RootComponents(to);
    if (root != RootComponents(from) || common < root) return path;
    std::string relative;
    for (size_t i = common; i < from.size(); ++i) relative += "..\\";
    for (size_t i = common; i < to.size(); ++i) {
        relative += to[i] + (i + 1 < to.size() ? "\\" : "");
    }
    return relative;
}
