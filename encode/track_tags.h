// TrackTags: what an encoded track file says about itself (title, artist, album, year, its
// number, and the album's artist and track count when known), and the source the FLAC and MP3
// stages ask for each track as they open its file.
#pragma once

#include <cstdint>
#include <string>

// UTF-8 texts; empty when unknown.
struct TrackTags {
    std::string title;
    std::string artist;
    std::string album;
    std::string year;
    int32_t trackNumber = 0;
    std::string albumArtist;  // the whole album's, beside a track's own artist
    int32_t trackTotal = 0;   // tracks on the side; 0: unknown
};

class TrackTagSource {
public:
    virtual ~TrackTagSource() = default;
    // The tags of the track whose file is being opened. May throw std::bad_alloc.
    virtual TrackTags OpeningTrack() const = 0;
};
