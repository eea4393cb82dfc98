// TrackLogSink: the track list of a split, learned from the calls the engine makes.
#include "split/track_log.h"

#include <new>

#include "base/paths.h"
#include "engine/stream_format.h"

TrackLogSink::TrackLogSink(std::unique_ptr<OutputSink> chain, BlockPositions& positions,
                           const volatile int32_t& trackNumber, const TrackEngine& engine,
                           FirstFailure& failure)
    : PassThroughSink(std::move(chain)),
      positions_(positions),
      trackNumber_(trackNumber),
      engine_(engine),
      failure_(failure) {}

void TrackLogSink::NoteFailure(const std::string& file, const std::string& what) {
    if (failure_.Failed()) return;
    char message[kSinkMessageBytes] = {};
    PassThroughSink::GetLastMessage(message);
    try {
        const std::string why = message[0] != '\0' ? what + ": " + OneLine(message) : what;
        failure_.Note(SplitStatus::OutputFailed(file, why));
    } catch (const std::bad_alloc&) {
        failure_.Note(SplitStatus::OutOfMemory());
    }
}

int32_t TrackLogSink::Open(const char* fileName, uint32_t minBytes) {
    // A file still marked open here was closed by a failed write, already noted.
    trackOpen_ = false;
    const int32_t result = PassThroughSink::Open(fileName, minBytes);
    if (!PassThroughSink::IsOpen()) {
        NoteFailure(fileName ? fileName : "", "the track file cannot be created");
        return result;
    }
    trackOpen_ = true;
    wroteAny_ = false;
    const int32_t sizeLimits = engine_.SizeLimitSplits();
    const int32_t part = sizeLimits != sizeLimits_ ? current_.part + 1 : 1;
    sizeLimits_ = sizeLimits;
    try {
        current_ = CueTrack{BaseName(fileName ? fileName : ""), trackNumber_, 0, 0};
        current_.part = part;
    } catch (const std::bad_alloc&) {
        failure_.Note(SplitStatus::OutOfMemory());
    }
    return result;
}

int32_t TrackLogSink::Write(const void* bytes, int32_t count) {
    if (trackOpen_) {
        uint64_t start = 0;
        if (positions_.Find(bytes, start)) {
            if (!wroteAny_) current_.startFrame = start;
            current_.endFrame = start + uint64_t(count / kCaptureFrameBytes);
            wroteAny_ = true;
        } else {
            NoteFailure("", "a written block has no known place in the input");
        }
    }
    const int32_t result = PassThroughSink::Write(bytes, count);
    if (trackOpen_ && !PassThroughSink::IsOpen()) {
        trackOpen_ = false;
        NoteFailure(current_.file, "writing the track file failed");
    }
    return result;
}

int32_t TrackLogSink::Finish(uint32_t frames) {
    const int32_t result = PassThroughSink::Finish(frames);
    if (trackOpen_) {
        trackOpen_ = false;
        if (result == 0 || result == kSinkTrackDeleted) {
            try {
                (result == 0 ? tracks_ : discarded_).push_back(current_);
            } catch (const std::bad_alloc&) {
                failure_.Note(SplitStatus::OutOfMemory());
            }
        } else {
            NoteFailure(current_.file, "the track file cannot be finished");
        }
    }
    return result;
}
