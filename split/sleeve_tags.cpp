// SleeveTrackTags: a track's tags from the sleeve.
#include "split/sleeve_tags.h"

TrackTags SleeveTrackTags::OpeningTrack() const {
    TrackTags tags;
    if (!sleeve_.HasTags()) {
        tags.trackNumber = fileNumber_;
        return tags;
    }
    tags.trackNumber = sleeveNumber_;
    tags.title = sleeve_.TitleOf(tags.trackNumber);
    tags.artist = sleeve_.ArtistOf(tags.trackNumber);
    tags.album = sleeve_.album;
    tags.year = sleeve_.year;
    tags.albumArtist = sleeve_.artist;
    tags.trackTotal = trackTotal_;
    return tags;
}
