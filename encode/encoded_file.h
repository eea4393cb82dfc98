// EncodedFile: the track file of an encoder stage (FLAC or MP3). The stage writes it in order,
// goes back to complete its header at the end, and closes it; a track shorter than the minimum
// is deleted, as the WAV writer deletes it.
//
// A write that fails (a full or removed disk) ends the file at once: it is cut back to the end
// of the last whole unit the stage marked (a FLAC frame, a run of MP3 frames) and closed, so
// what reached the disk stays playable; it is deleted when that part is shorter than the
// minimum.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/unique_handle.h"
#include "engine/output_sink.h"
#include "output/sink_message.h"

// The one call a test cannot make fail under Wine at will: a seam defaulting to the real one.
struct EncodedFileApi {
    BOOL(WINAPI* write)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) = &WriteFile;
};

class EncodedFile {
public:
    explicit EncodedFile(const EncodedFileApi& api = EncodedFileApi()) : api_(api) {}
    EncodedFile(const EncodedFile&) = delete;
    EncodedFile& operator=(const EncodedFile&) = delete;

    // Creates the file, or empties an existing one. False with the message set.
    bool Create(const char* fileName);
    // Writes at the current position. False when the write failed; the file is then cut back
    // and closed (see above), or was not open.
    bool Write(const void* bytes, size_t count);
    // Moves the position (to complete a header); false when the file is not open or the move
    // failed.
    bool Seek(uint64_t offset);
    uint64_t Position() const { return position_; }
    uint64_t Size() const { return size_; }
    // Everything up to the current end is whole and holds `frames` frames of the track.
    void MarkWhole(uint64_t frames);

    // Closes the finished file: 0, or kSinkTrackDeleted when frames × 4 is below the minimum
    // (the file is then deleted); kSinkFailed when no file is open.
    int32_t Close(uint32_t frames);
    // Gives up on the file as after a failed write: cut back to the last mark and closed.
    // kSinkFailed, or kSinkTrackDeleted when the part kept was too short.
    int32_t CloseKeepingWhole();

    bool IsOpen() const { return file_.IsValid(); }
    void SetMinBytes(uint32_t bytes) { minBytes_ = bytes; }
    uint32_t MinBytes() const { return minBytes_; }
    const std::string& FileName() const { return fileName_; }
    // The last failure's text; empty until the first one, never cleared.
    SinkMessage& Message() { return message_; }
    const SinkMessage& Message() const { return message_; }

private:
    const EncodedFileApi api_;
    FileHandle file_;
    std::string fileName_;
    uint64_t position_ = 0;
    uint64_t size_ = 0;
    uint64_t wholeBytes_ = 0;
    uint64_t wholeFrames_ = 0;
    uint32_t minBytes_ = 0;
    SinkMessage message_;
};
