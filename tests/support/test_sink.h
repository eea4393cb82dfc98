// TestSink: an OutputSink whose every slot does the harmless thing, so a test's sink overrides
// only the calls it records or checks. Open and Finish keep `open_`, which IsOpen reports.
#pragma once

#include <cstdint>

#include "output/output_sink.h"

class TestSink : public OutputSink {
public:
    int32_t Query() override { return 0; }
    int32_t Prepare(int32_t sourceBlockBytes) override {
        sourceBlockBytes_ = sourceBlockBytes;
        return 0;
    }
    int32_t Unprepare() override { return 0; }
    int32_t WriteConverted(const void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t) override { return 0; }
    int32_t Finish(uint32_t) override {
        open_ = false;
        return 0;
    }
    int32_t Open(const char*, uint32_t) override {
        open_ = true;
        return 0;
    }
    int32_t BeginStream() override { return 0; }
    int32_t Close(uint32_t) override { return 0; }
    void WaitForHeader() override {}
    int32_t Convert(uint32_t) override { return 0; }
    bool IsOpen() override { return open_; }
    int32_t GetLastMessage(char*) override { return 0; }
    const char* GetExtension() override { return "wav"; }

protected:
    bool open_ = false;
};
