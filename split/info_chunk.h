// The RIFF LIST/INFO chunk grooval-split puts after the data of each track file, so players
// and tag readers show the track's title, artist, album, number and year.
//
// The writer finishes a file with its own size patching (RIFF, fmt, fact, data, in that
// order); the chunk is appended after that, at the end of the file (after the data's pad
// byte), and the RIFF length at offset 4 is patched for it. Nothing before it moves. Subchunks
// are INAM, IART, IPRD, ITRK, ICRD, each a zero-terminated UTF-8 text padded to an even length;
// empty texts are left out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "split/status.h"

struct InfoTags {
    std::string title;   // INAM
    std::string artist;  // IART
    std::string album;   // IPRD
    int32_t track = 0;   // ITRK, as decimal text; 0: none
    std::string year;    // ICRD
};

// The whole chunk, "LIST", its length, "INFO" and the subchunks; empty when no tag has text.
std::vector<uint8_t> InfoChunk(const InfoTags& tags);

// Appends `chunk` to the finished RIFF file at `path` and patches its RIFF length. A file whose
// RIFF length does not match its size is left alone; a failed write leaves the file as it was.
SplitStatus AppendInfoChunk(const std::string& path, const std::vector<uint8_t>& chunk);
