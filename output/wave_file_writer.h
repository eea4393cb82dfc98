// WaveFileWriter: the last stage of every output chain. It converts like any AcmConverter and
// writes what comes out of its codec into one WaveFile.
#pragma once

#include "output/acm_converter.h"
#include "output/wave_file.h"

class WaveFileWriter : public AcmConverter {
public:
    // `captureRate` is the rate of what the whole chain is fed, in which the file counts its
    // frames; 0 means `source`'s own (a one-stage chain).
    WaveFileWriter(const WAVEFORMATEX* source, const WAVEFORMATEX* destination,
                   const WaveFileApi& api = WaveFileApi(), uint32_t captureRate = 0);
    // The file is closed first (an open one is kept), then the stage goes as AcmConverter.
    ~WaveFileWriter() override = default;

    int32_t WriteConverted(const void* bytes, int32_t count) override;
    int32_t Finish(uint32_t frames) override;
    int32_t Open(const char* fileName, uint32_t minBytes) override;
    int32_t Close(uint32_t frames) override;
    bool IsOpen() override;
    int32_t GetLastMessage(char* text) override;
    const char* GetExtension() override;
    int32_t UpdateHeader(uint32_t frames) override { return file_.UpdateHeader(frames); }

    const WaveFile& File() const { return file_; }
    // A notice about the chain, shown as the writer's text until a failure replaces it.
    void SetNotice(const char* text) { file_.SetMessageText(text); }

private:
    WaveFile file_;
};
