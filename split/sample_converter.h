// SampleConverter: the first stage of grooval-split's input chain for the sample formats that
// need no codec: 24- and 32-bit PCM and 32- and 64-bit float become 16-bit PCM at the same
// rate, rounded and clipped as dsp/sample_convert.h says. One or two channels stay as they are
// (the stage behind it makes stereo of one); of more (PCM of any depth too), the first two,
// the front pair in a WAV file's order, are the engine's stereo: the codecs would mistake the
// frames of more channels.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <memory>

#include "engine/pass_through_sink.h"

// True for the formats this stage converts.
bool ConvertsSampleFormat(const WAVEFORMATEX* format);
// The channels it hands on: one or two.
uint16_t ConvertedChannels(const WAVEFORMATEX* format);

class SampleConverter : public PassThroughSink {
public:
    SampleConverter(const WAVEFORMATEX* source, std::unique_ptr<OutputSink> successor);

    int32_t Prepare(int32_t sourceBlockBytes) override;
    int32_t WriteConverted(const void* bytes, int32_t count) override {
        return Write(bytes, count);
    }
    // Takes whole frames; a torn one at the end of `bytes` is dropped.
    int32_t Write(const void* bytes, int32_t count) override;

private:
    const WORD bits_;
    const bool isFloat_;
    const uint16_t channels_;
    const uint16_t kept_;  // ConvertedChannels
    std::unique_ptr<int16_t[]> narrow_;  // one source block's frames at 16 bits
    int32_t narrowFrames_ = 0;
};
