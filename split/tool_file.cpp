// The tool's own files: opened and written with one kind of message.
#include "split/tool_file.h"

#include <windows.h>

#include <cstdio>

#include "base/paths.h"
#include "base/windows_error.h"

namespace {

constexpr int kProbeNames = 100;  // names tried for the probe file before giving up

// `path` and the folders above it that are missing, from the top down.
bool CreateWithParents(const std::string& path, DWORD& error) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return true;
    }
    const std::string parent = WithoutTrailingBackslash(FolderOf(path));
    if (attributes == INVALID_FILE_ATTRIBUTES && !parent.empty() && parent != path &&
        !CreateWithParents(parent, error)) {
        return false;
    }
    if (CreateDirectoryA(path.c_str(), nullptr)) return true;
    error = GetLastError();
    return false;
}

}  // namespace

FileHandle OpenToolFile(const std::string& path, const char* what, FileUse use,
                        SplitStatus& failure) {
    struct Opening {
        DWORD access;
        DWORD share;
        DWORD creation;
        const char* failed;
    };
    static const Opening kOpenings[] = {
        {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, "cannot be read"},
        {GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, "cannot be opened"},
        {GENERIC_WRITE, 0, CREATE_ALWAYS, "cannot be created"},
        {GENERIC_WRITE, 0, CREATE_NEW, "cannot be created"},
    };
    const Opening& opening = kOpenings[int(use)];
    FileHandle file(CreateFileA(path.c_str(), opening.access, opening.share, nullptr,
                                opening.creation, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return file;
    const DWORD error = GetLastError();
    const bool exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    const std::string why = use == FileUse::CreateNew && exists
                                ? std::string(what) + " exists already; not overwritten"
                                : std::string(what) + " " + opening.failed + " (" +
                                      WindowsErrorText(error) + ")";
    failure = use == FileUse::Read ? SplitStatus::InputRejected(path, why)
                                   : SplitStatus::OutputFailed(path, why);
    return file;
}

SplitStatus WriteToolFile(const std::string& path, const char* what, FileUse use,
                          const std::string& text) {
    SplitStatus failure;
    FileHandle file = OpenToolFile(path, what, use, failure);
    if (!file) return failure;
    DWORD written = 0;
    const BOOL wrote = WriteFile(file.Get(), text.data(), DWORD(text.size()), &written, nullptr);
    file.Reset();
    if (wrote && written == text.size()) return SplitStatus();
    DeleteFileA(path.c_str());
    return SplitStatus::OutputFailed(path, std::string(what) + " cannot be written");
}

SplitStatus MakeFolder(const std::string& folder) {
    DWORD error = ERROR_SUCCESS;
    if (CreateWithParents(WithoutTrailingBackslash(folder), error)) return SplitStatus();
    return SplitStatus::OutputFailed(
        folder, "the output folder cannot be created (" + WindowsErrorText(error) + ")");
}

SplitStatus ProbeFolder(const std::string& folder) {
    // Not GetTempFileName: Wine's answers success when the folder refuses the file.
    DWORD error = ERROR_FILE_EXISTS;
    for (int i = 0; i < kProbeNames && error == ERROR_FILE_EXISTS; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "gsp%08lx.tmp",
                      (unsigned long)(GetCurrentProcessId() * 131u + DWORD(i)));
        const std::string path = InFolder(folder, name);
        FileHandle probe(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (probe) {
            probe.Reset();
            if (DeleteFileA(path.c_str())) return SplitStatus();
        }
        error = GetLastError();
    }
    return SplitStatus::OutputFailed(
        folder, "the output folder is not writable (" + WindowsErrorText(error) + ")");
}
