// How a track file ends, the same for every writer (the WAV writer and the encoders' files): a
// track holding fewer capture frames than the minimum its Open was given (IsTooShortToKeep) is
// deleted, and the end's result says so.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/output_sink.h"

// `result`, or kSinkTrackDeleted once the closed file `fileName` is deleted as too short.
inline int32_t EndTrackFile(const std::string& fileName, uint64_t frames, uint32_t minBytes,
                            int32_t result) {
    if (!IsTooShortToKeep(frames, minBytes)) return result;
    DeleteFileA(fileName.c_str());
    return kSinkTrackDeleted;
}
