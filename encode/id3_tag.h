// Id3Tag: the ID3v2.4 tag at the start of an MP3 track, with UTF-8 text frames for the title
// (TIT2), artist (TPE1), album's artist (TPE2), album (TALB), year (TDRC) and track number
// (TRCK, "3/12" when the total is known); empty texts are left out.
#pragma once

#include <cstdint>
#include <vector>

#include "encode/track_tags.h"

// The whole tag, its 10-byte header and its frames, without padding; empty when there is
// nothing to say. May throw std::bad_alloc.
std::vector<uint8_t> Id3Tag(const TrackTags& tags);
