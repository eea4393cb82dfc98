// SampleConverter: the first stage of grooval-split's input chain for the sample formats that
// need no codec: 24- and 32-bit PCM and 32- and 64-bit float become 16-bit PCM with the same
// channels and rate, rounded and clipped as dsp/sample_convert.h says. The stage behind it
// makes stereo of it when the input is not.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <memory>

#include "engine/pass_through_sink.h"

// True for the formats this stage converts.
bool IsWideSampleFormat(const WAVEFORMATEX* format);

class SampleConverter : public PassThroughSink {
public:
    SampleConverter(const WAVEFORMATEX* source, std::unique_ptr<OutputSink> successor);

    int32_t Prepare(int32_t sourceBlockBytes) override;
    int32_t WriteConverted(const void* bytes, int32_t count) override {
        return Write(bytes, count);
    }
    // Takes whole samples; a torn one at the end of `bytes` is dropped.
    int32_t Write(const void* bytes, int32_t count) override;

private:
    const WORD bits_;
    const bool isFloat_;
    std::unique_ptr<int16_t[]> narrow_;  // one source block's samples at 16 bits
    int32_t narrowCount_ = 0;
};
