// TrackTags: what an encoded track file says about itself (title, artist, album, year and its
// number), and the source the FLAC and MP3 stages ask for each track as they open its file.
#pragma once

#include <cstdint>
#include <string>

#include "split/sleeve.h"

// UTF-8 texts, as the sleeve holds them; empty when unknown.
struct TrackTags {
    std::string title;
    std::string artist;
    std::string album;
    std::string year;
    int32_t trackNumber = 0;
};

class TrackTagSource {
public:
    virtual ~TrackTagSource() = default;
    // The tags of the track whose file is being opened. May throw std::bad_alloc.
    virtual TrackTags OpeningTrack() const = 0;
};

// The sleeve's tags of each track. With a sleeve, tracks are numbered as the sleeve counts
// them (the TrackNamer's number, as in the INFO chunks); without, by their files' numbers (the
// engine's, which holds the number of the file being opened while the engine opens it).
class SleeveTrackTags : public TrackTagSource {
public:
    SleeveTrackTags(const Sleeve& sleeve, const volatile int32_t& sleeveNumber,
                    const volatile int32_t& fileNumber)
        : sleeve_(sleeve), sleeveNumber_(sleeveNumber), fileNumber_(fileNumber) {}
    TrackTags OpeningTrack() const override;

private:
    const Sleeve& sleeve_;
    const volatile int32_t& sleeveNumber_;
    const volatile int32_t& fileNumber_;
};
