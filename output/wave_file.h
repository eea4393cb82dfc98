// WaveFile: one RIFF WAVE track file (fmt, fact and data chunks) written through the mmio
// buffer, patched and closed at the end of the track, or deleted when it is too short.
//
// How it works: Open writes the header up to the data bytes with the mmio chunk calls, leaving
// 0 as the RIFF and data lengths and 0xFFFFFFFF as the frame count, then takes the mmio buffer
// state so Write can fill the buffer directly and only advance it when full. Close gives the
// buffer back, lets the chunk ascents write the lengths and the pad bytes, and seeks back to
// the fact chunk for the frame count.
//
// While the file is open, UpdateHeader writes the header again, as Open left it but with the
// sizes and frame count of what has reached the disk: the samples are flushed first, then the
// header is written whole from a copy read back at Open (one write, whatever mmio's buffer
// held there), and writing goes on at the end. Close then patches the same fields as always, so the
// finished file does not depend on how often the header was brought up to date.
//
// A file that cannot be finished this way (a full or removed disk, or a chain deleted while a
// file is open) is not thrown away: it is closed, and its lengths and frame count are patched
// for the bytes that really reached it, so a take survives a failure. The frame count, like
// the engine's and the minimum size, is in capture frames: the output's duration at the rate
// the chain is fed, whatever the output rate.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/unique_handle.h"
#include "engine/output_sink.h"
#include "output/sink_message.h"

inline void CloseMmioFile(HMMIO file) {
    mmioClose(file, 0);
}
using MmioFile = UniqueHandle<HMMIO, &CloseMmioFile>;

// The mmio calls a test cannot make fail under Wine (Wine ignores errors of the writes behind
// them), and the flush to the disk itself, which no test can see: seams defaulting to the real
// functions.
struct WaveFileApi {
    MMRESULT(WINAPI* advance)(HMMIO, LPMMIOINFO, UINT) = &mmioAdvance;
    MMRESULT(WINAPI* setInfo)(HMMIO, LPCMMIOINFO, UINT) = &mmioSetInfo;  // header updates
    LONG(WINAPI* seek)(HMMIO, LONG, int) = &mmioSeek;                     // header updates
    MMRESULT(WINAPI* flush)(HMMIO, UINT) = &mmioFlush;                   // header updates
    BOOL(WINAPI* flushToDisk)(HANDLE) = &FlushFileBuffers;
    DWORD(WINAPI* tickCount)() = &GetTickCount;
};

// How long the samples of an open file may stay in the system's cache: a power cut loses at
// most this much of a take, and a finished file none. A flush costs a disk write.
constexpr DWORD kDiskFlushMilliseconds = 10000;

constexpr DWORD kFactWhileWriting = 0xFFFFFFFF;  // frame count until the file is closed
// mmio keeps file offsets in signed 32 bits: past this size its chunk lengths come out wrong.
constexpr uint32_t kMaxWaveFileBytes = 0x7FFFFFFF;
constexpr char kFileFullMessage[] = "Track file full at 2 GB";

class WaveFile {
public:
    explicit WaveFile(const WaveFileApi& api = WaveFileApi());
    // An open file is kept, with lengths for what was written (see Close).
    ~WaveFile();
    WaveFile(const WaveFile&) = delete;
    WaveFile& operator=(const WaveFile&) = delete;

    // Creates the file and writes everything up to the data bytes. 0 or kSinkFailed.
    int32_t Open(const char* fileName, const WAVEFORMATEX* format);
    // Appends bytes to the data chunk; `stored` receives how many were stored. 0, or
    // kSinkFailed when no file is open or the mmio buffer cannot be advanced; in the last case
    // the file is closed at once, keeping what reached it (a file that kept no frame is
    // deleted; the minimum is not applied, since the track goes on elsewhere). A write that
    // would take the file past kMaxWaveFileBytes stores nothing, closes the file as it stands
    // and answers kSinkFileFull.
    int32_t Write(int32_t count, const void* bytes, int32_t* stored = nullptr);
    // Patches the lengths and the frame count, closes the file and has the system put it on
    // the disk; deletes it when frames × 4 is below minBytes. 0, kSinkTrackDeleted, or
    // kSinkFailed.
    int32_t Close(uint32_t frames);
    // Writes the header with the lengths of the bytes written so far and a frame count of
    // `frames`, or of what those bytes hold when that is less. 0, or kSinkFailed when no file
    // is open or the disk refuses; in the last case the file is closed as after a failed write.
    // Every kDiskFlushMilliseconds it also has the system put the file on the disk.
    int32_t UpdateHeader(uint32_t frames);
    bool IsOpen() const { return file_.IsValid(); }

    const char* MessageText() const { return message_.Text(); }
    const SinkMessage& Message() const { return message_; }
    // Replaces the message, for a notice about the chain itself.
    void SetMessageText(const char* text);
    const std::string& FileName() const { return fileName_; }
    uint32_t MinBytes() const { return minBytes; }
    void SetMinBytes(uint32_t bytes) { minBytes = bytes; }
    // Frames per second of what the chain is fed (the capture format's rate).
    void SetCaptureRate(uint32_t rate) { captureRate_ = rate; }
    // The mmio buffer of the files opened from now on; 0 keeps mmio's default (8 KB).
    void SetBufferBytes(LONG bytes) { bufferBytes_ = bytes; }

private:
    const WaveFileApi api_;
    // `head` followed by the file name, its start cut when both do not fit.
    void SetFileMessage(const char* head, const char* fileName);
    // Closes after a failed write: keeps the bytes on disk and patches the header for them.
    int32_t CloseKeepingWritten();
    // Closes as it stands (mmio's state is its own) and patches the header from the disk.
    int32_t CloseAndPatch();
    bool ReadHeader(HMMIO h);
    MMRESULT RewriteHeader();
    // Has the system write what it caches of the open file; buffer_ must be mmio's own.
    void FlushToDisk();
    void SyncClosedFile();  // the same for the closed file
    // Patches the closed file's lengths from its size on disk; `frames` is used when every
    // byte handed to Write is there. Returns the frame count written, or -1 when the file
    // holds no complete header (it is then deleted).
    int64_t PatchFromDisk(uint32_t frames);
    // The capture frames that `dataBytes` of output stand for.
    uint32_t FramesForDataBytes(uint32_t dataBytes) const;

    MmioFile file_;
    MMCKINFO dataChunk_;
    MMCKINFO riffChunk_;
    MMIOINFO buffer_;
    SinkMessage message_;
    std::string fileName_;
    uint32_t minBytes = 0;
    LONG bufferBytes_ = 0;

    // Where the header fields sit, and what the file was asked to hold, for patching.
    DWORD factValueOffset_ = 0;
    DWORD dataOffset_ = 0;
    uint32_t dataBytes_ = 0;
    std::vector<char> header_;  // bytes before the samples, as Open wrote them
    WORD blockAlign_ = 1;
    DWORD avgBytesPerSec_ = 0;
    DWORD outputRate_ = 0;
    uint32_t captureRate_ = 0;
    DWORD lastDiskFlush_ = 0;  // tickCount of the open file's last flush to the disk
};
