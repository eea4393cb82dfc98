// PassThroughWriter: the last stage of an output chain whose output format is the capture
// format. The bytes go straight into the WaveFile, with no codec stream in between: the file is
// the one a WaveFileWriter would write through the manager's PCM-to-PCM copy.
//
// grooval-split chooses it (the recorder keeps its WaveFileWriter), and writes through a large
// mmio buffer, so the disk sees one large sequential write where it saw many small ones.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstdint>

#include "engine/output_sink.h"
#include "output/format_record.h"
#include "output/wave_file.h"

class PassThroughWriter : public OutputSink {
public:
    // `format` is copied; `bufferBytes` is the mmio buffer of each file (0: mmio's default).
    PassThroughWriter(const WAVEFORMATEX* format, LONG bufferBytes,
                      const WaveFileApi& api = WaveFileApi());

    bool IsValid() const { return !format_.Empty(); }

    int32_t Query() override { return 0; }
    int32_t Prepare(int32_t sourceBlockBytes) override;
    int32_t Unprepare() override;
    int32_t WriteConverted(const void* bytes, int32_t count) override;
    // The engine hands whole frames, so the bytes are written as they come.
    int32_t Write(const void* bytes, int32_t count) override;
    int32_t Finish(uint32_t frames) override { return file_.Close(frames); }
    int32_t Open(const char* fileName, uint32_t minBytes) override;
    int32_t BeginStream() override { return 0; }
    int32_t Close(uint32_t frames) override;
    void WaitForHeader() override {}
    int32_t Convert(uint32_t) override { return 0; }
    bool IsOpen() override { return file_.IsOpen(); }
    int32_t GetLastMessage(char* text) override;
    const char* GetExtension() override { return "wav"; }
    int32_t UpdateHeader(uint32_t frames) override { return file_.UpdateHeader(frames); }

    const WaveFile& File() const { return file_; }

private:
    FormatBuffer format_;
    WaveFile file_;
    bool prepared_ = false;
};
