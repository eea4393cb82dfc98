// DeclickStage: the declicker (dsp/declicker.h) as a stage of grooval-split's input chain,
// in front of the block feeder, so the engine measures and the track files hold the repaired
// samples. 16-bit stereo bytes in, the same number of frames out to the next stage, a fixed
// number of frames later; Finish gives out the rest, then finishes the next stage.
//
// Every event (a repaired click or an event left alone, in either channel) is noted with its
// frame in the stream, so the clicks of each track can be counted once the split is done.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/pass_through_sink.h"
#include "dsp/declicker.h"

class DeclickStage : public PassThroughSink, private DeclickListener {
public:
    DeclickStage(uint32_t rate, int level, std::unique_ptr<OutputSink> next);

    int32_t WriteConverted(const void* bytes, int32_t count) override {
        return Write(bytes, count);
    }
    int32_t Write(const void* bytes, int32_t count) override;
    int32_t Finish(uint32_t frames) override;

    // The events whose span starts in frames [start, end).
    // Requires: Finish, so the events of the last frames are decided.
    void Count(uint64_t start, uint64_t end, int32_t& repaired, int32_t& left) const;
    uint64_t Repaired() const { return declicker_.RepairedClicks(); }
    uint64_t Left() const { return declicker_.LeftEvents(); }

private:
    void OnDeclickEvent(const DeclickEvent& event) override;
    int32_t Pass();

    Declicker declicker_;
    std::vector<int16_t> in_, out_;
    uint8_t partial_[4] = {};  // the bytes of a frame not yet whole
    int32_t partialBytes_ = 0;
    std::vector<uint64_t> events_;  // frame << 1, | 1 when repaired; in order per channel
    bool failed_ = false;
};
