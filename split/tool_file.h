// The files grooval-split opens besides the input and the tracks (titles, cue sheet, preview,
// a track's tags), opened one way, with one shape of message when they cannot be.
#pragma once

#include <string>

#include "base/unique_handle.h"
#include "split/status.h"

// How the tool opens the files it writes or reads besides the tracks and the input.
enum class FileUse {
    Read,       // an existing file, to read
    Update,     // an existing file, to read and write
    Replace,    // created, or emptied when it exists
    CreateNew,  // created; an existing one is never overwritten
};

// Opens `path`; `what` names the file for the message ("the cue sheet"). On failure the handle
// is empty and `failure` says "<path>: <what> cannot be read|opened|created (Windows error
// N)", or "<path>: <what> exists already; not overwritten": input rejected when reading,
// output failed otherwise.
FileHandle OpenToolFile(const std::string& path, const char* what, FileUse use,
                        SplitStatus& failure);

// Writes all of `text` into a new file at `path` (OpenToolFile); a file that cannot be written
// whole is deleted.
SplitStatus WriteToolFile(const std::string& path, const char* what, FileUse use,
                          const std::string& text);

// Creates `folder` and the parents it lacks; output failed, naming the folder, when it cannot.
SplitStatus MakeFolder(const std::string& folder);

// Whether a file can be made in `folder`: one is created there and deleted again. Output
// failed when not.
SplitStatus ProbeFolder(const std::string& folder);
