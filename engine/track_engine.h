// TrackEngine: takes captured blocks from a capture thread, meters them, and while armed cuts
// the stream into numbered track files written through an OutputSink.
//
// How it works: a capture thread takes an empty buffer with GetFreeBuffer, fills it and hands
// it back with SubmitBuffer, which queues it and wakes the worker. The worker (below normal
// priority) measures each block; while armed, a block above silenceThreshold opens or continues
// a track and silent blocks count toward the gap that ends it. Blocks reach the sink through a
// delay queue of gapBlocks blocks, so the end of a track can be cut back to just after the
// music (or kept whole in live mode). Buffers are recycled through a free list, so the pool
// stops growing once the delay queue is full.
//
// Locks: stateLock (re-entrant) may be held while taking freeLock, never the other way round;
// inputLock is always taken alone. The sink is only ever called under stateLock. The worker
// takes stateLock once per block, a track's end included, and lets a waiting window call in
// between blocks, so the window never waits for more than one block.
//
// Status text: the engine's own texts (no writer, no number, name too long, writer not ready,
// worker stopped) and the writer's GetLastMessage compete for the one status area; whichever
// changed last is shown. The writer's text is fetched after every call that may change it.
//
// A track may take several files: when a write closes the file (a failed write, or the file
// full at maxTrackBytes or at the writer's own limit) the next file opens under the next number
// as soon as a block waits for it, and the track goes on in it, its gap still counted. The
// discard minimum is the whole track's: a track of one file is judged by its writer, one of
// several by the engine at its end, which then deletes them all. A file that kept nothing is
// gone and gives its number to the next; after kEmptyFilesBeforeGivingUp of them in a row
// (a disk that stays full) the track opens no more files and says so once.
//
// While a file is open its header is brought up to date every headerUpdateBytes of the track
// and when no block has come for kHeaderPauseMilliseconds, so a killed process leaves a file
// every reader opens, short by the delay queue, the writer's buffer and what was written since
// the last update.
//
// Failures: a sink that is not prepared is prepared again before a track opens, and no
// number is used while that or the name fails. If the worker's wait fails or anything throws
// on it, the worker ends with a status text, and from then on submitted blocks go straight
// back to the free list, so the pool stops growing.
//
// Threads: the capture thread calls only the feed (GetFreeBuffer, SubmitBuffer or
// SubmitBuffers, ReturnBuffer) and reads blockBytes. The window thread calls the rest and
// writes the settings fields with plain stores; it reads trackNumber and the ChannelLevel
// records without a lock.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/buffer_queue.h"
#include "base/critical_section.h"
#include "engine/sample_buffer.h"
#include "base/thread_event.h"
#include "base/worker_thread.h"
#include "engine/output_sink.h"
#include "engine/stream_format.h"

// Level of one channel. Each value is one aligned 16-bit word, read by the window unlocked.
struct ChannelLevel {
    volatile int16_t level = 0;      // loudness of the last block, compared with silenceThreshold
    volatile int16_t peak = 0;       // largest sample magnitude of the last block
    volatile int16_t heldPeak = 0;   // peak-hold value for the meters
    volatile int16_t holdCount = 0;  // blocks left before heldPeak may fall
};

// The levels of one block of `count` interleaved stereo values as the worker measures them:
// per channel the square root of the sum of squares over a quarter of the value count (not an
// RMS), and the largest 16-bit magnitude. Free, so a tool can measure a whole side first.
// Blocks of `blockFrames` (a tool's block at another rate) measure what a capture block of the
// same sound measures: the level is scaled by the square root of blockFrames / 5880, 1 for the
// recorder, whose levels are exactly the ones above.
struct BlockLevels {
    int16_t left = 0;
    int16_t right = 0;
    int16_t leftPeak = 0;
    int16_t rightPeak = 0;
};
BlockLevels MeasureBlock(const int16_t* values, int32_t count,
                         int32_t blockFrames = kCaptureBlockFrames);
// The splitting rule's question: sound when either channel is above the threshold; a level
// equal to it is silence.
inline bool IsSoundBlock(int32_t leftLevel, int32_t rightLevel, int32_t threshold) {
    return leftLevel > threshold || rightLevel > threshold;
}

constexpr int32_t kInitialSilenceThreshold = 4;
constexpr int32_t kInitialGapBlocks = 16;
constexpr int16_t kPeakHoldBlocks = 14;        // about 1.9 s at 44100 Hz
constexpr int kTrackNameBytes = 260;           // a track file name and its terminator
constexpr int32_t kNameSearchRetries = 10000;  // so at most 10001 names are tried per search
constexpr int kStatusTextBytes = 32;
// The most capture bytes one track file takes; the next block goes on in the next file. The
// writer's files must end below 2 GB (mmio keeps file offsets in signed 32 bits), and this
// leaves room for any header; a whole number of frames.
constexpr uint32_t kMaxTrackBytes = 0x7FFF0000;
// For a last stage that keeps its own 64-bit sizes (FLAC, MP3): only the 32-bit count of
// capture bytes limits a track.
constexpr uint32_t kMaxTrackBytesUncapped = 0xFFFF0000;
// A pause in the blocks after which an open file's header is brought up to date.
constexpr DWORD kHeaderPauseMilliseconds = 1000;
// Yields a track's end grants a waiting window call per block: a bound, because a caller held
// off by an outer hold of the lock (grooval-split's planned cuts) cannot take its turn.
constexpr int32_t kWindowTurnYields = 1000;

// Status texts of the engine itself, shown through SinkStatus while they hold.
constexpr char kNoWriterMessage[] = "No output writer";
constexpr char kNoFreeNumberMessage[] = "No free track number";
constexpr char kNameTooLongMessage[] = "Track name too long";
constexpr char kWriterNotReadyMessage[] = "Output writer not ready %x";  // Prepare's result
constexpr char kWorkerStoppedMessage[] = "Recording stopped %x";        // the worker's lastResult
constexpr char kDiskFullMessage[] = "Disk full: the track so far is kept";
// New files of one track that kept nothing, in a row, before the track opens no more.
constexpr int32_t kEmptyFilesBeforeGivingUp = 3;

class TrackEngine;

// True while a Shift key is down (GetKeyState).
bool IsShiftKeyDown();
// The keyboard test of SetStandby (Shift+Start, Shift+Stop): a program with no one at the
// keyboard (grooval-split) and tests hand in their own. The worker's wait: tests make it fail.
// The yield a track's end makes while a window call waits: tests count it. `armed`, when set,
// runs on the caller's thread right after SetStandby has armed the engine: tests let the
// worker take a block at that moment.
struct TrackEngineApi {
    bool (*shiftHeld)() = &IsShiftKeyDown;
    DWORD(WINAPI* waitForMultipleObjects)(DWORD, const HANDLE*, BOOL, DWORD) =
        &WaitForMultipleObjects;
    BOOL(WINAPI* yield)() = &SwitchToThread;
    void (*armed)(TrackEngine& engine) = nullptr;
};
// For engines that must never see the Shift key.
bool ShiftNeverHeld();

class TrackEngine : public WorkerThread {
public:
    // Standby (disarmed), no sink. The window installs the first sink with SetSink before Start.
    explicit TrackEngine(const TrackEngineApi& api = TrackEngineApi());
    // Stops the worker if it still runs (the owner normally has done so), then frees the sinks
    // and every buffer.
    ~TrackEngine() override;

    // ---- Feed, capture thread ----
    // An empty buffer from the free list, or a new one when the list is empty; null when no
    // memory is left (the caller then drops the block).
    SampleBuffer* GetFreeBuffer();
    // Queues a filled buffer for the worker; the engine owns it from here on. Null is ignored.
    void SubmitBuffer(SampleBuffer* buffer);
    // Queues every buffer of `buffers` in order with one wake of the worker, for a feeder far
    // ahead of real time (grooval-split); `buffers` is left empty.
    void SubmitBuffers(BufferQueue& buffers);
    // Gives back a buffer that will not be submitted (for example when Fill failed).
    void ReturnBuffer(SampleBuffer* buffer);

    // ---- Window thread ----
    // Installs the current sink (taking ownership; null allowed). Meant for before Start; it is
    // safe later too, but ReplaceSink is the hand-over for a running engine. A sink whose
    // Prepare failed is taken all the same, and shows why until a later Prepare succeeds.
    void SetSink(OutputSink* newSink);
    // Hands a prepared sink (ownership included) to the worker, which takes it at the start of
    // its next pass; a sink still pending from an earlier call is destroyed. Wakes the worker.
    void ReplaceSink(OutputSink* newSink);
    // Waits until the worker has taken `handed` (the sink of the last ReplaceSink) and destroyed
    // the one before; false when that did not happen within `milliseconds`. The worker names
    // the sink it took, so an earlier hand-over's acknowledgement never answers for this one.
    bool AwaitSinkTaken(const OutputSink* handed, DWORD milliseconds);
    // 1 = disarm, 0 = arm. While Shift is held the standby flag is left as it is, but a
    // non-zero value still ends the track. The worker ends it, with every block it holds, at
    // its next pass: the caller never waits for a track's end.
    void SetStandby(int32_t value);
    int32_t IsStandby();
    // True once no track is open and no end of one is still to be served: after a Stop, the
    // name template and the numbering are free to change.
    bool IsTrackEnded();
    // Numbers the next track from 1 again (a new prefix). The worker applies it when it names
    // the next track, so a track still ending keeps its own numbering.
    void ResetTrackNumber();
    // Folder + "\" + prefix + "%04d.%s". Only the last number conversion and the last "%s" are
    // filled in; everything else is taken literally, so '%' in a folder or prefix is harmless.
    void SetNameFormat(const char* text);
    // Elapsed time of the open track, "m:ss" with TimeSeparator, or "--:--" while nothing is
    // counted. The text lives in this engine and is overwritten by the next call.
    const char* StatusText(int32_t blocksPerSecond);
    // Copies the most recent of the writer's and the engine's own status texts into `text`
    // (kSinkMessageBytes); returns 1 when the text changed, else 0.
    int32_t SinkStatus(char* text);
    bool IsTrackOpen();
    // grooval-split's --tracks: replaces the gap rule for good. The open track ends, with every
    // block it holds, just before each listed block (numbered from 0 in the order submitted)
    // and nowhere else. The recorder never calls it. Before Start; false when memory is short.
    bool PlanCuts(const std::vector<int32_t>& endBefore);

    // ---- Settings: plain aligned values, written by the window at any time ----
    volatile int32_t blockBytes = 0;  // set by the capture back-end
    uint32_t maxTrackBytes = kMaxTrackBytes;  // set before Start
    // Bytes of a track after which its file's header is brought up to date; 0: only at its end.
    uint32_t headerUpdateBytes = 0;           // set before Start
    volatile int32_t silenceThreshold = kInitialSilenceThreshold;
    volatile int32_t liveMode = 0;
    volatile int32_t gapBlocks = kInitialGapBlocks;
    volatile int32_t discardBlocks = 0;
    volatile int32_t trackNumber = 0;  // last number tried; see ResetTrackNumber
    // The length of a full block as the levels are measured (MeasureBlock); grooval-split sets
    // its rate's block before Start. The recorder's blocks keep the capture block's.
    int32_t levelBlockFrames = kCaptureBlockFrames;

    ChannelLevel left;
    ChannelLevel right;

    // ---- Observation, for tests and the benchmark ----
    struct PoolCounts {
        int32_t created;  // buffers ever made (the pool never shrinks)
        int32_t free;
        int32_t input;
        int32_t delayed;  // writeQueue
        int32_t held;     // 0 or 1
    };
    // Locks each place in turn: exact only while no thread moves buffers.
    PoolCounts Pool();
    // Blocks taken off the input queue and decided on so far.
    int32_t ProcessedBlocks() const { return processedBlocks_; }
    // Set each time the worker has emptied the input queue (auto-reset).
    HANDLE DrainedEvent() const { return drainedEvent_.Handle(); }
    // Tracks ended because they held kMaxTrackBytes, each going on in the next file.
    int32_t SizeLimitSplits() const { return sizeLimitSplits_; }


protected:
    int32_t Run() override;

    // The worker's steps, reachable by tests that drive an engine without its thread.
    void ProcessInput();
    void MeasureLevels(const SampleBuffer& block);
    void WriteBlock(SampleBuffer* block);  // stateLock held
    void FinishTrack(int32_t keepDelayed);

private:
    const TrackEngineApi api_;
    bool SinkOpen() const { return sink_ && sink_->IsOpen(); }
    void TakeOverPendingSink();
    void WaitForBlocks();
    bool PrepareSink();                             // stateLock held
    // The next file: a track's first, or a continuation (no discard minimum). stateLock held.
    bool OpenNextTrack(bool continuation);
    bool OpenFile();  // a track's first file, or the next one of a running track; stateLock held
    // After a file closed before its track's end. stateLock held.
    void NoteClosedFile();
    void ContinueClosedFile();  // noted, and the next opened when blocks wait for it
    bool KeepClosedFile();  // notes the file for the track's end; false when it is gone
    void DiscardShortTrack();                       // stateLock held
    uint32_t DiscardBytes() const;
    uint32_t FileLimit() const;                     // stateLock held, a sink installed
    void UpdateHeader();                            // stateLock held
    bool HeaderBehind() const { return trackBytes_ != headerBytes_ && sink_ && headerUpdateBytes; }
    bool FormatName(char* name, int32_t number, const char* extension) const;
    void WriteFront();                              // stateLock held
    void CloseTrackFile();                          // stateLock held
    void TrimUnopenedQueue(int32_t keep);           // stateLock held
    void Recycle(SampleBuffer* buffer);             // stateLock held
    void SetMessage(const char* format, int32_t code = 0);  // stateLock held
    void FetchWriterText();                         // stateLock held
    // stateLock for a window call, counted while it waits so a track's end lets it in.
    CriticalSection::Guard WindowLock();
    void EndAtPlannedCut(int32_t blockNumber);      // stateLock held

    CriticalSection stateLock_;
    CriticalSection inputLock_;
    CriticalSection freeLock_;
    ThreadEvent dataEvent_;
    ThreadEvent drainedEvent_;
    ThreadEvent sinkTakenEvent_;  // set by the worker after each takeover

    BufferQueue freeList_;    // freeLock
    BufferQueue inputQueue_;  // inputLock
    BufferQueue writeQueue_;  // stateLock
    std::unique_ptr<SampleBuffer> heldBlock_;  // worker, under stateLock
    volatile LONG created_ = 0;
    volatile LONG processedBlocks_ = 0;
    volatile LONG sizeLimitSplits_ = 0;

    std::unique_ptr<OutputSink> sink_;             // stateLock
    std::atomic<OutputSink*> pendingSink_{nullptr};  // owned; exchanged without a lock
    std::atomic<const OutputSink*> takenSink_{nullptr};  // the last one taken; never used

    volatile int32_t standby_ = 1;
    uint32_t trackBytes_ = 0;  // of the open file, at most maxTrackBytes
    uint32_t headerBytes_ = 0;  // trackBytes_ when the file's header was last brought up to date
    bool inTrack_ = false;      // from a track's first file to its end, across its files
    // The track across its files, for the discard minimum and a disk that stays full.
    uint32_t trackTotalBytes_ = 0;
    int32_t trackFirstNumber_ = 0;
    char openName_[kTrackNameBytes] = {};   // the file open now, or last
    bool judgeWholeTrack_ = false;          // a file closed before the track's end
    std::vector<std::string> closedFiles_;  // those files, as far as they were kept
    int32_t emptyFiles_ = 0;                // files in a row that kept nothing
    bool filesGivenUp_ = false;             // no more files for this track
    volatile LONG endTrackAsked_ = 0;  // a Stop the worker has not yet served
    volatile LONG numberResetAsked_ = 0;
    volatile LONG windowWaiting_ = 0;  // window calls waiting for stateLock
    int32_t silentBlocks_ = 0;
    bool planned_ = false;              // PlanCuts was called: no gap rule
    std::vector<int32_t> plannedCuts_;  // ascending; stateLock
    size_t nextCut_ = 0;

    char nameFormat_[kTrackNameBytes] = {};
    bool nameFormatTooLong_ = false;
    // Status texts, under stateLock.
    char message_[kSinkMessageBytes] = {};     // the engine's own, empty when none
    char writerText_[kSinkMessageBytes] = {};  // the writer's, as last fetched
    bool writerTextNewer_ = false;             // the writer's changed after message_ was set
    char statusText_[kStatusTextBytes] = {};

    volatile LONG workerEnded_ = 0;
};
