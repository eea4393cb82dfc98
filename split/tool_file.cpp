// The tool's own files: opened and written with one kind of message.
#include "split/tool_file.h"

#include <windows.h>

#include "base/windows_error.h"

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
