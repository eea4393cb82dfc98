// SleeveTrackTags: the tags the FLAC and MP3 stages (encode/track_tags.h) ask for, from the
// sleeve.
#pragma once

#include <cstdint>

#include "encode/track_tags.h"
#include "split/sleeve.h"

// The sleeve's tags of each track. With a sleeve, tracks are numbered as the sleeve counts
// them (the TrackNamer's number, as in the INFO chunks); without, by their files' numbers (the
// engine's, which holds the number of the file being opened while the engine opens it).
// With a sleeve the album's artist goes beside a track's own, and the side's track count
// (`trackTotal`, 0 when unknown) beside its number.
class SleeveTrackTags : public TrackTagSource {
public:
    SleeveTrackTags(const Sleeve& sleeve, const volatile int32_t& sleeveNumber,
                    const volatile int32_t& fileNumber, const int32_t& trackTotal)
        : sleeve_(sleeve),
          sleeveNumber_(sleeveNumber),
          fileNumber_(fileNumber),
          trackTotal_(trackTotal) {}
    TrackTags OpeningTrack() const override;

private:
    const Sleeve& sleeve_;
    const volatile int32_t& sleeveNumber_;
    const volatile int32_t& fileNumber_;
    const int32_t& trackTotal_;
};
