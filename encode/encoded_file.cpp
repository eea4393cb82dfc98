// EncodedFile: writing, cutting back after a failure, and deleting short tracks.
#include "encode/encoded_file.h"

#include <new>

#include "base/windows_error.h"
#include "output/track_file_end.h"

namespace {

// One WriteFile call takes a DWORD count; the encoders never hand over more at once.
constexpr size_t kLargestWrite = 0x7FFFFFFF;

bool MoveTo(HANDLE file, uint64_t offset) {
    LARGE_INTEGER position;
    position.QuadPart = LONGLONG(offset);
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
}

}  // namespace

bool EncodedFile::Create(const char* fileName) {
    if (IsOpen()) return false;  // the open file would be lost
    FileHandle file(CreateFileA(fileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        message_.Set("cannot create the file (%s)", WindowsErrorText(GetLastError()).c_str());
        return false;
    }
    try {
        fileName_ = fileName;
    } catch (const std::bad_alloc&) {
        file.Reset();
        DeleteFileA(fileName);
        message_.Set("out of memory");
        return false;
    }
    file_ = std::move(file);
    position_ = size_ = wholeBytes_ = wholeFrames_ = 0;
    return true;
}

bool EncodedFile::Write(const void* bytes, size_t count) {
    if (!IsOpen()) return false;
    DWORD written = 0;
    DWORD error = ERROR_INVALID_PARAMETER;
    if (count <= kLargestWrite) {
        // Wine reports a full disk as a short write that succeeded.
        if (!api_.write(file_.Get(), bytes, DWORD(count), &written, nullptr)) {
            error = GetLastError();
        } else if (written != count) {
            error = ERROR_DISK_FULL;
        } else {
            error = ERROR_SUCCESS;
        }
    }
    if (error != ERROR_SUCCESS) {
        message_.Set("writing the file failed (%s)", WindowsErrorText(error).c_str());
        CloseKeepingWhole();
        return false;
    }
    position_ += count;
    if (position_ > size_) size_ = position_;
    return true;
}

bool EncodedFile::Seek(uint64_t offset) {
    if (!IsOpen() || !MoveTo(file_.Get(), offset)) return false;
    position_ = offset;
    return true;
}

void EncodedFile::MarkWhole(uint64_t frames) {
    wholeBytes_ = size_;
    wholeFrames_ = frames;
}

int32_t EncodedFile::Close(uint32_t frames) {
    if (!IsOpen()) return kSinkFailed;
    file_.Reset();
    return EndTrackFile(fileName_, frames, minBytes_, 0);
}

int32_t EncodedFile::CloseKeepingWhole() {
    if (!IsOpen()) return kSinkFailed;
    // A removed disk refuses these too; then whatever is there stays.
    if (MoveTo(file_.Get(), wholeBytes_)) SetEndOfFile(file_.Get());
    file_.Reset();
    return EndTrackFile(fileName_, wholeFrames_, minBytes_, kSinkFailed);
}
