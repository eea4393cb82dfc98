// TrackNamer: sleeve numbers, titled names and the tags of each kept track file.
#include "split/track_namer.h"

#include <new>

#include "split/info_chunk.h"
#include "split/safe_names.h"

TrackNamer::TrackNamer(std::unique_ptr<OutputSink> next, const Sleeve& sleeve,
                       const std::string& folder, const std::string& prefix, bool writeTags,
                       volatile int32_t& number, const TrackEngine& engine,
                       FirstFailure& failure)
    : PassThroughSink(std::move(next)),
      sleeve_(sleeve),
      folder_(folder),
      prefix_(prefix),
      writeTags_(writeTags),
      number_(number),
      engine_(engine),
      failure_(failure) {}

int32_t TrackNamer::Open(const char* fileName, uint32_t minBytes) {
    // The engine opens the next file at once when the open one was full: the same track.
    const int32_t sizeLimits = engine_.SizeLimitSplits();
    part_ = sizeLimits != sizeLimits_ ? part_ + 1 : 1;
    sizeLimits_ = sizeLimits;
    if (part_ == 1) number_ = kept_ + 1;
    try {
        path_ = fileName ? fileName : "";
        if (sleeve_.titled) {
            const std::string extension = GetExtension();
            path_ = FreeTrackPath(
                folder_,
                TrackStem(folder_, prefix_, number_, sleeve_.TitleOf(number_), extension, part_),
                extension);
            if (path_.empty()) {
                failure_.Note(SplitStatus::OutputFailed(
                    folder_, "no free file name for track " + std::to_string(number_)));
                return kSinkFailed;
            }
        }
    } catch (const std::bad_alloc&) {
        failure_.Note(SplitStatus::OutOfMemory());
        return kSinkFailed;
    }
    return PassThroughSink::Open(path_.c_str(), minBytes);
}

int32_t TrackNamer::Finish(uint32_t frames) {
    const int32_t result = PassThroughSink::Finish(frames);
    if (result != 0) return result;
    if (part_ == 1) ++kept_;
    if (!writeTags_) return result;
    try {
        InfoTags tags;
        tags.title = sleeve_.TitleOf(number_);
        tags.artist = sleeve_.ArtistOf(number_);
        tags.album = sleeve_.album;
        tags.track = number_;
        tags.year = sleeve_.year;
        const SplitStatus appended = AppendInfoChunk(path_, InfoChunk(tags));
        if (!appended.Ok()) failure_.Note(appended);
    } catch (const std::bad_alloc&) {
        failure_.Note(SplitStatus::OutOfMemory());
    }
    return result;
}
