// TestSink: a sink whose every slot does the harmless thing, so a test's sink overrides only
// the calls it records or checks. Open and Finish keep `open_`, which IsOpen reports.
#pragma once

#include <cstdint>

#include "engine/pass_through_sink.h"

class TestSink : public PassThroughSink {
public:
    int32_t Finish(uint32_t) override {
        open_ = false;
        return 0;
    }
    int32_t Open(const char*, uint32_t) override {
        open_ = true;
        return 0;
    }
    int32_t Close(uint32_t) override { return 0; }
    bool IsOpen() override { return open_; }
    const char* GetExtension() override { return "wav"; }

protected:
    bool open_ = false;
};
