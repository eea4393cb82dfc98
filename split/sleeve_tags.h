// SleeveTrackTags: the tags the FLAC and MP3 stages (encode/track_tags.h) ask for, from the
// sleeve.
#pragma once

#include <cstdint>

#include "encode/track_tags.h"
#include "split/sleeve.h"

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
