// The input's own frames, carried beside the engine's 16-bit stereo view of them, so the tracks
// hold the input's samples (24-bit, float, mono...) in the places the engine chose.
//
// How they travel:
//   SourceTap        the input chain's first stage: every frame read, before any conversion,
//                    goes into SourceFrames, numbered by its place in the stream
//   SourceFrames     a queue from the reader to the block feeder; both run on the reader's
//                    thread, so it holds only what one read and the conversion's rest hold
//   BlockFeeder      takes each block's frames out of it as it submits the block, into the
//                    block's entry of BlockPositions (split/block_feeder.h), which lives as
//                    long as the engine holds the block
//   SourceFrameSink  the output chain's last stage before the writer: for every block the
//                    engine writes, it finds the block's entry and writes its frames instead,
//                    requantized first when the tracks are to hold fewer bits (--bits)
// Only the blocks in flight carry frames: never the side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/sample_convert.h"
#include "engine/pass_through_sink.h"
#include "split/block_feeder.h"

class SourceFrames {
public:
    explicit SourceFrames(uint32_t frameBytes) : frameBytes_(frameBytes) {}
    SourceFrames(const SourceFrames&) = delete;
    SourceFrames& operator=(const SourceFrames&) = delete;

    uint32_t FrameBytes() const { return frameBytes_; }
    // Appends the next frames of the stream (a torn last frame is dropped). False when memory
    // is short.
    bool Append(const uint8_t* bytes, size_t count);
    // Copies frames [first, first + frames) into `out` and forgets them and every frame
    // before them. False when they have not all been appended, or were taken already.
    bool Take(uint64_t first, uint32_t frames, uint8_t* out);

private:
    const uint32_t frameBytes_;
    std::vector<uint8_t> bytes_;  // frames from start_ on, at head_
    size_t head_ = 0;
    uint64_t start_ = 0;
};

// The input chain's first stage, keeping what it passes on.
class SourceTap : public PassThroughSink {
public:
    SourceTap(SourceFrames& frames, std::unique_ptr<OutputSink> next)
        : PassThroughSink(std::move(next)), frames_(frames) {}

    int32_t WriteConverted(const void* bytes, int32_t count) override {
        return Write(bytes, count);
    }
    int32_t Write(const void* bytes, int32_t count) override;

private:
    SourceFrames& frames_;
};

// The output chain's stage in front of the writer: the input's frames of each block written,
// in `tracks` (the input's layout `source`, or fewer bits of it: TPDF dither).
class SourceFrameSink : public PassThroughSink {
public:
    SourceFrameSink(std::unique_ptr<OutputSink> writer, BlockPositions& positions,
                    const SampleLayout& source, const SampleLayout& tracks);

    // kSinkFailed, and nothing written, for a block whose frames are not known.
    int32_t Write(const void* bytes, int32_t count) override;

private:
    BlockPositions& positions_;
    const SampleLayout source_;
    const SampleLayout tracks_;
    TpdfDither dither_;
    std::vector<uint8_t> narrow_;  // one block in `tracks`, when it differs
};
