// DryRunSink: the output chain of grooval-split --dry-run. It takes the engine's calls as the
// real chain would, opening and finishing tracks and answering kSinkTrackDeleted for a track
// shorter than its minimum as the WAV writer does, but no file is made. The engine, the track
// log and the namer run unchanged in front of it, so the list they give is the real one.
#pragma once

#include <cstdint>
#include <string>

#include "engine/pass_through_sink.h"

class DryRunSink : public PassThroughSink {
public:
    explicit DryRunSink(const std::string& extension) : extension_(extension) {}

    int32_t Open(const char*, uint32_t minBytes) override {
        if (open_) return kSinkFailed;
        open_ = true;
        minBytes_ = minBytes;
        return 0;
    }
    int32_t Finish(uint32_t frames) override {
        if (!open_) return kSinkFailed;
        open_ = false;
        return IsTooShortToKeep(frames, minBytes_) ? kSinkTrackDeleted : 0;
    }
    bool IsOpen() override { return open_; }
    const char* GetExtension() override { return extension_.c_str(); }

private:
    std::string extension_;
    bool open_ = false;
    uint32_t minBytes_ = 0;
};
