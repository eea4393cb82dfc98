// The split log of grooval-split: a cue sheet for the input file that names each track file
// written from it, with the track's start and end in the input.
//
// The sheet is an ordinary cue sheet of the input (FILE, TRACK, INDEX 01), so a player can
// step through the whole side by it; the track file and the end of each track, which the
// format has no command for, go into REM lines:
//   FILE "side.wav" WAVE
//     TRACK 01 AUDIO
//       REM TRACKFILE "tmp0001.wav"
//       INDEX 01 00:02:40
//       REM END 03:41:10
//       REM CLICKS 12
// (REM CLICKS, with --declick only: the clicks repaired in the track, both channels counted.)
// With a sleeve the sheet also has the album's TITLE, PERFORMER and REM DATE before FILE, and
// each track its TITLE and PERFORMER, in the program's code page like the names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "split/status.h"

constexpr uint32_t kCueFramesPerSecond = 75;  // the cue sheet's time unit
constexpr size_t kCueMaxTracks = 99;          // TRACK numbers have two digits
constexpr char kCueExtension[] = "cue";

// One track file and the frames of the input it holds, [startFrame, endFrame).
struct CueTrack {
    std::string file;    // the track file's name, without its folder
    int32_t number = 0;  // its number, as in the name
    uint64_t startFrame = 0;
    uint64_t endFrame = 0;
    int32_t clicks = -1;     // clicks repaired in it; -1 when clicks were not repaired
    int32_t clicksLeft = 0;  // events left alone in it (longer than a click)
    std::string title{};     // UTF-8, from the sleeve; empty when none
    std::string performer{};
    int32_t part = 1;  // 2 and on: the track goes on from the file before, which was full
};

// The tracks in `files`: a track's later parts are not counted.
size_t CountTracks(const std::vector<CueTrack>& files);

// The sleeve's texts for the whole sheet, UTF-8; empty ones are left out.
struct CueAlbum {
    std::string title;
    std::string performer;
    std::string year;
};

// "mm:ss:ff": frames of `rate` Hz as minutes, seconds and 75ths of a second, rounded down.
// Minutes take more than two digits on sides past 99 minutes.
std::string CueTime(uint64_t frames, uint32_t rate);

// The whole sheet, lines ending in CR LF; the first kCueMaxTracks tracks only. `inputName` as
// the sheet names the input: relative to the sheet's folder when they share a drive.
std::string CueSheetText(const std::string& inputName, const std::vector<CueTrack>& tracks,
                         uint32_t rate, const CueAlbum& album = CueAlbum());

// "<prefix><first>-<last>.cue", the numbers as in the track names; a run names its sheet so,
// or " (2)" and on before the extension when that exists.
std::string CueSheetName(const std::string& prefix, int32_t firstNumber, int32_t lastNumber);

// Creates `path` (never over an existing file) and writes `text`.
SplitStatus WriteCueSheet(const std::string& path, const std::string& text);
