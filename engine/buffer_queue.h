// BufferQueue: a FIFO list of SampleBuffers linked through the buffers themselves, so that
// appending and taking the front never allocate. The queue owns what it holds.
#pragma once

#include <cstdint>

#include "engine/sample_buffer.h"

class BufferQueue {
public:
    BufferQueue() = default;
    ~BufferQueue() { Clear(); }
    BufferQueue(const BufferQueue&) = delete;
    BufferQueue& operator=(const BufferQueue&) = delete;

    void Push(SampleBuffer* buffer) {
        buffer->queueNext_ = nullptr;
        if (back_) {
            back_->queueNext_ = buffer;
        } else {
            front_ = buffer;
        }
        back_ = buffer;
        ++size_;
    }

    // The front buffer, taken off the queue; null when empty.
    SampleBuffer* Pop() {
        SampleBuffer* buffer = front_;
        if (!buffer) return nullptr;
        front_ = buffer->queueNext_;
        if (!front_) back_ = nullptr;
        buffer->queueNext_ = nullptr;
        --size_;
        return buffer;
    }

    // The front buffer, left on the queue; null when empty.
    SampleBuffer* Front() const { return front_; }

    // Moves every buffer of `other`, in order, to the back of this queue.
    void Splice(BufferQueue& other) {
        if (!other.front_) return;
        if (back_) {
            back_->queueNext_ = other.front_;
        } else {
            front_ = other.front_;
        }
        back_ = other.back_;
        size_ += other.size_;
        other.front_ = other.back_ = nullptr;
        other.size_ = 0;
    }

    // Deletes every buffer held.
    void Clear() {
        while (SampleBuffer* buffer = Pop()) delete buffer;
    }

    int32_t Size() const { return size_; }
    bool Empty() const { return front_ == nullptr; }

private:
    SampleBuffer* front_ = nullptr;
    SampleBuffer* back_ = nullptr;
    int32_t size_ = 0;
};
