// TrackLogSink: wraps the real output chain of grooval-split and notes, without changing
// anything the chain does, which track files the engine opened, which frames of the input went
// into each, and which were kept. A track whose Finish answers kSinkTrackDeleted was removed
// as too short and is listed apart.
//
// It also notices output failures the engine itself does not act on (a file that does not
// open, a write that closes the file, a file that cannot be finished) and keeps the first, so
// the split can stop.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "split/block_feeder.h"
#include "split/cue_sheet.h"
#include "split/status.h"
#include "engine/pass_through_sink.h"
#include "engine/track_engine.h"

class TrackLogSink : public PassThroughSink {
public:
    // `trackNumber` holds the number of the file being opened (the engine's, or the sleeve's);
    // `engine` says when a file goes on with the track before it, whose file was full.
    // `failure` keeps the first failure, shared with the other stages on the worker.
    TrackLogSink(std::unique_ptr<OutputSink> chain, BlockPositions& positions,
                 const volatile int32_t& trackNumber, const TrackEngine& engine,
                 FirstFailure& failure);

    int32_t Write(const void* bytes, int32_t count) override;
    int32_t Finish(uint32_t frames) override;
    int32_t Open(const char* fileName, uint32_t minBytes) override;

    // The kept tracks in the order they were finished, and those deleted as too short.
    // Requires: the engine's worker has ended (StopAndWait).
    const std::vector<CueTrack>& Tracks() const { return tracks_; }
    const std::vector<CueTrack>& Discarded() const { return discarded_; }

private:
    // Notes the failure, the chain's last message after `what`.
    void NoteFailure(const std::string& file, const std::string& what);

    BlockPositions& positions_;
    const volatile int32_t& trackNumber_;
    const TrackEngine& engine_;
    int32_t sizeLimits_ = 0;  // the engine's files found full so far
    bool trackOpen_ = false;
    bool wroteAny_ = false;
    CueTrack current_;
    std::vector<CueTrack> tracks_;
    std::vector<CueTrack> discarded_;
    FirstFailure& failure_;
};
