// BlockFeeder: the capture back-end of grooval-split. It cuts a stream of 16-bit stereo bytes
// into capture blocks and submits them to the track engine as a capture thread would, waiting
// for the engine instead of letting its input queue grow.
//
// How it works: bytes are submitted straight from the caller's buffer while whole blocks are
// there; a rest waits in a block of its own for the next bytes, and Finish submits it as a
// last, shorter block. Blocks go to the engine kSplitBatchBlocks at a time, in order, with one
// wake of the worker per batch: every wake costs a round trip through the system, which a
// block's samples do not pay for. A filled batch waits while too many blocks are not yet taken
// by the engine's worker (it wakes on the engine's drained event), so the pool of buffers, and
// memory, stay flat however long the input is.
//
// The feeder is an OutputSink, so it can also be the last stage behind the codec conversion of
// an input in another format. Every block submitted is noted in BlockPositions with the frame
// of the stream it starts at, so the track log can tell where a written block came from; when
// the tracks hold the input's own frames, the block's frames go with it (split/source_frames.h).
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "base/critical_section.h"
#include "engine/stream_format.h"
#include "engine/buffer_queue.h"
#include "engine/track_engine.h"
#include "engine/pass_through_sink.h"
#include "split/block_cutter.h"

// Blocks the feeder may have filled ahead of the engine's worker (1.1 MB at 44100 Hz).
constexpr int32_t kSplitQueuedBlocks = 48;
// The longest block: rates past 7 MHz are no recording.
constexpr int32_t kSplitMaxBlockFrames = 1 << 20;

// The frames of grooval-split's block at `rate`: as long as the recorder's capture block of
// kCaptureBlockFrames lasts at 44100 Hz (12800 frames at 96000 Hz), so the gap, the minimum,
// the silence level and every second printed mean the same at any rate.
int32_t SplitBlockFrames(uint32_t rate);
// Blocks filled before they are handed over together; the worker has the rest to go on with.
constexpr int32_t kSplitBatchBlocks = 16;
// How long one wait for the worker lasts before the feeder checks the worker is still there.
constexpr DWORD kSplitDrainWaitMs = 1000;

// Which stream frame the samples of each buffer in the engine's pool start at, and the input's
// own frames of them when they are carried. A buffer is filled again only after the engine has
// written or dropped it, so the entry of its samples is the right one whenever the engine
// writes them, and its frames stay put while the worker writes them.
class BlockPositions {
public:
    BlockPositions();
    // Reader side, before the buffer is submitted; with `sourceBytes`, `source` receives room
    // for the block's own frames, to be filled before the buffer is submitted. False when
    // memory is short.
    bool Note(const void* samples, uint64_t startFrame, uint32_t sourceBytes = 0,
              uint8_t** source = nullptr);
    // Worker side; `source` and `sourceBytes`, when given, receive the block's own frames
    // (none when not carried).
    bool Find(const void* samples, uint64_t& startFrame, const uint8_t** source = nullptr,
              uint32_t* sourceBytes = nullptr);

private:
    struct Entry {
        const void* samples;
        uint64_t startFrame;
        std::unique_ptr<uint8_t[]> source;  // its own storage: entries_ may move
        uint32_t sourceRoom;
        uint32_t sourceBytes;
    };

    CriticalSection lock_;
    std::vector<Entry> entries_;
};

class SourceFrames;

class BlockFeeder : public BlockCutter {
public:
    // Blocks of `blockFrames` frames (SplitBlockFrames); with `source`, each carries its own
    // frames taken from it.
    BlockFeeder(TrackEngine& engine, BlockPositions& positions, int32_t blockFrames,
                SourceFrames* source = nullptr);

    int32_t Prepare(int32_t sourceBlockBytes) override;
    int32_t WriteConverted(const void* bytes, int32_t count) override {
        return Write(bytes, count);
    }
    // Submits the rest as a last, shorter block (whole frames only).
    // Requires: the last Write of the stream.
    int32_t Finish(uint32_t frames) override;

    // Hands over the blocks still batched, then waits until the worker has taken every
    // submitted block; false when it ended first.
    // Requires: the engine started; before its StopAndWait, so every block is written.
    bool WaitUntilProcessed();

    int32_t SubmittedBlocks() const { return submitted_; }
    uint64_t SubmittedFrames() const { return frames_; }
    bool Failed() const override { return failed_; }

private:
    // kSinkFailed once a block could not be submitted (no memory, or the worker is gone).
    int32_t Append(const uint8_t* bytes, int32_t count) override;
    uint64_t HeldFrames() const override { return uint64_t(restBytes_ / kCaptureFrameBytes); }
    bool WaitForEngine(int32_t allowedAhead);
    bool Submit(const uint8_t* bytes, int32_t count);
    bool SubmitBatch();

    TrackEngine& engine_;
    BlockPositions& positions_;
    const int32_t blockBytes_;
    SourceFrames* const source_;
    std::unique_ptr<uint8_t[]> rest_;
    int32_t restBytes_ = 0;
    BufferQueue batch_;  // filled, not yet handed to the engine
    int32_t submitted_ = 0;
    bool failed_ = false;
};
