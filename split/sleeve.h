// Sleeve: what grooval-split is told about the record: the titles of its tracks (a UTF-8 file,
// one title a line, "Artist - Title" for a track by another artist), the artist, the album and
// the year. Every text here is UTF-8, cleaned of control characters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "split/cue_sheet.h"
#include "split/status.h"

// A titles file larger than this is not a list of titles.
constexpr size_t kTitlesFileMaxBytes = 1024 * 1024;
// Between a line's artist and its title.
constexpr char kArtistSeparator[] = " - ";

struct TrackTitle {
    std::string title;
    std::string artist;  // empty: the album's artist
};

struct Sleeve {
    bool titled = false;  // a titles file was given: the track files are named by it
    std::vector<TrackTitle> titles;
    std::string artist;
    std::string album;
    std::string year;

    // Anything to write into the files' tags.
    bool HasTags() const {
        return titled || !artist.empty() || !album.empty() || !year.empty();
    }
    // Of track `number` (from 1); empty when the list has no line for it.
    std::string TitleOf(int32_t number) const;
    std::string ArtistOf(int32_t number) const;
};

// `text` fit for a tag or a name: control characters become spaces, the ends are trimmed.
std::string TagText(const std::string& text);

// The titles in a file's bytes: a UTF-8 byte order mark is skipped, lines end in LF or CR LF,
// blank lines are skipped. A line that is not valid UTF-8 is kept with U+FFFD in place of its
// bad bytes and named in `warnings`.
std::vector<TrackTitle> ParseTitles(const std::string& bytes, std::vector<std::string>& warnings);

// Reads and parses the file; input rejected when it cannot be read or is too large.
SplitStatus ReadTitles(const std::string& path, std::vector<TrackTitle>& titles,
                       std::vector<std::string>& warnings);

// The sleeve of a run: the titles file, when given, and the texts of the command line (in the
// program's code page) made UTF-8. Input rejected when the file cannot be read.
SplitStatus LoadSleeve(const std::string& titlesFile, const std::string& artist,
                       const std::string& album, const std::string& year, Sleeve& sleeve,
                       std::vector<std::string>& warnings);

// Gives the kept track files their titles and performers by their numbers, and says so in
// `warnings` when the titles are more or fewer than the tracks.
void TitleTracks(const Sleeve& sleeve, std::vector<CueTrack>& tracks,
                 std::vector<std::string>& warnings);
