// SampleBuffer storage: reallocated only when the block size changes.
#include "engine/sample_buffer.h"

#include <cstring>
#include <new>

bool SampleBuffer::Fill(int32_t count, const void* source) {
    if (count < 0) count = 0;
    if (count != count_) {
        samples_.reset();
        count_ = 0;
        if (count > 0) {
            samples_.reset(new (std::nothrow) int16_t[size_t(count)]);
            if (!samples_) return false;
        }
        count_ = count;
    }
    if (count > 0) std::memcpy(samples_.get(), source, size_t(count) * 2);
    return true;
}
