// FileHandle: the owner of a file handle opened by grooval-split.
#pragma once

#include <windows.h>

#include "engine/unique_handle.h"

struct FileCloser {
    void operator()(HANDLE file) const { CloseHandle(file); }
};
// Null means "none": CreateFile's INVALID_HANDLE_VALUE is never stored (MakeFileHandle).
using FileHandle = UniqueHandle<HANDLE, FileCloser>;

inline FileHandle MakeFileHandle(HANDLE file) {
    return FileHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}
