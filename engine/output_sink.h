// OutputSink: the interface of an output chain, the one or two conversion stages through which
// the engine writes every track file. The virtual operations keep this slot order.
//
// Calling order for each chain: Query (optional) and Prepare(kCaptureBlockBytes) after it is
// built; per track GetExtension and Open while IsOpen is false, Write per block (UpdateHeader
// between writes, as often as the caller likes), Finish, then Unprepare and
// Prepare(SourceBlockBytes()) so each track starts with a fresh codec stream.
#pragma once

#include <cstdint>

#include "engine/stream_format.h"

constexpr int32_t kSinkFailed = int32_t(0x80004005);  // E_FAIL: a stage's own failure
constexpr int32_t kSinkTrackDeleted = 1;              // Finish: the track was too short
// Write: the file was full and took nothing of these bytes; it is closed. The caller writes
// them again into the next file. HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE): no codec or mmio
// result a stage passes on can be taken for it.
constexpr int32_t kSinkFileFull = int32_t(0x800700DF);
constexpr int kSinkMessageBytes = 128;                // GetLastMessage buffers hold this much

// The rule by which Finish deletes a track: it holds fewer bytes of capture frames than the
// minimum its Open was given.
inline bool IsTooShortToKeep(uint64_t frames, uint32_t minBytes) {
    return frames * kCaptureFrameBytes < minBytes;
}

class OutputSink {
public:
    virtual ~OutputSink() = default;                                       // slot 0
    virtual int32_t Query() = 0;                                            // 1
    virtual int32_t Prepare(int32_t sourceBlockBytes) = 0;                  // 2
    // Requires: no track open (between Finish and the next Open).
    virtual int32_t Unprepare() = 0;                                        // 3
    // Requires: Prepare answered 0; a chain that is not ready loses every block.
    virtual int32_t WriteConverted(const void* bytes, int32_t count) = 0;   // 4
    virtual int32_t Write(const void* bytes, int32_t count) = 0;            // 5
    // Requires: the track's Open; Unprepare and Prepare follow before the next Open. (A stage
    // in front of the engine, as grooval-split's input chain, is finished once: the stream's
    // end.)
    virtual int32_t Finish(uint32_t frames) = 0;                            // 6
    // Requires: Prepare answered 0 and IsOpen is false (an open track would be lost).
    virtual int32_t Open(const char* fileName, uint32_t minBytes) = 0;      // 7
    virtual int32_t BeginStream() = 0;                                      // 8
    virtual int32_t Close(uint32_t frames) = 0;                             // 9
    virtual void WaitForHeader() = 0;                                       // 10
    virtual int32_t Convert(uint32_t flags) = 0;                            // 11
    virtual bool IsOpen() = 0;                                              // 12
    // `text` holds at least kSinkMessageBytes; 1 when it was changed, else 0.
    virtual int32_t GetLastMessage(char* text) = 0;                         // 13
    virtual const char* GetExtension() = 0;                                 // 14
    // Brings the open file's header up to what has reached the file (its sizes, and `frames`
    // capture frames at most as its frame count), so a file left open by a killed process
    // opens in every reader. The finished file is the same whether or not it was called.
    // A failure closes the file as a failed write does.
    virtual int32_t UpdateHeader(uint32_t frames) = 0;                      // 15

    // The source block size given to the last Prepare; it survives Unprepare and Finish.
    int32_t SourceBlockBytes() const { return sourceBlockBytes_; }
    // 0 while the chain is ready for a track, else why not (the failed Prepare's result, or
    // kSinkFailed before the first Prepare and after Unprepare). Stages that need no
    // preparation keep 0. Writing to a chain that is not ready would lose every block.
    int32_t PrepareResult() const { return prepareResult_; }
    // The most source bytes one of its files may take, where its output grows faster than its
    // input (a higher rate or more bits) and would pass its file format's limit first; 0: the
    // caller's own limit holds.
    uint32_t FileSourceBytes() const { return fileSourceBytes_; }
    void SetFileSourceBytes(uint32_t bytes) { fileSourceBytes_ = bytes; }

protected:
    int32_t sourceBlockBytes_ = 0;
    int32_t prepareResult_ = 0;
    uint32_t fileSourceBytes_ = 0;
};
