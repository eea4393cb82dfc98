// SampleBuffer: one captured block of interleaved 16-bit stereo values, recycled by the engine.
#pragma once

#include <cstdint>
#include <memory>

class SampleBuffer {
public:
    SampleBuffer() = default;
    virtual ~SampleBuffer() = default;
    SampleBuffer(const SampleBuffer&) = delete;
    SampleBuffer& operator=(const SampleBuffer&) = delete;

    // Copies `count` 16-bit values from `source`. The storage is kept when the count is
    // unchanged, so a recycled buffer of the usual block size allocates nothing.
    // Returns false (and holds nothing) when the storage cannot be allocated.
    bool Fill(int32_t count, const void* source);

    const int16_t* Samples() const { return samples_.get(); }
    int16_t* Samples() { return samples_.get(); }
    int32_t Count() const { return count_; }

private:
    friend class BufferQueue;
    std::unique_ptr<int16_t[]> samples_;
    int32_t count_ = 0;
    SampleBuffer* queueNext_ = nullptr;  // link of the engine queue that holds the buffer
};
