// TrackNamer: the first stage of grooval-split's output chain when the sleeve is given (titles,
// artist, album or year). It counts the kept tracks 1, 2, ... as the sleeve numbers them (a
// track deleted as too short gives its number to the next, as the engine does; a file that goes
// on with a track whose file was full keeps its number); with titles it opens each track as
// "<prefix>NN Title.<ext>", a continuation as "<prefix>NN Title (part 2).<ext>"
// (split/safe_names.h), in place of the engine's numbered name, never over an existing file;
// once the writer has finished a kept file, it appends the file's LIST/INFO chunk
// (split/info_chunk.h).
//
// Called on the engine's worker only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/pass_through_sink.h"
#include "engine/track_engine.h"
#include "split/sleeve.h"
#include "split/status.h"

class TrackNamer : public PassThroughSink {
public:
    // `number` receives the sleeve's number of each track as it opens (for the track log).
    // Without `writeTags` (a dry run, or FLAC and MP3 tracks, which carry their own tags) no
    // INFO chunk is appended.
    // `failure` keeps the first failure, shared with the other stages on the worker.
    // `engine` says when a file goes on with the track before it.
    TrackNamer(std::unique_ptr<OutputSink> next, const Sleeve& sleeve, const std::string& folder,
               const std::string& prefix, bool writeTags, volatile int32_t& number,
               const TrackEngine& engine, FirstFailure& failure);

    int32_t Open(const char* fileName, uint32_t minBytes) override;
    int32_t Finish(uint32_t frames) override;

private:
    const Sleeve& sleeve_;
    const std::string folder_;
    const std::string prefix_;
    const bool writeTags_;
    volatile int32_t& number_;
    const TrackEngine& engine_;
    int32_t kept_ = 0;
    int32_t part_ = 1;         // of the open track's files
    int32_t sizeLimits_ = 0;  // the engine's files found full so far
    std::string path_;  // of the open track
    FirstFailure& failure_;
};
