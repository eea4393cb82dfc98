// Id3Tag: the bytes of an ID3v2.4 tag.
#include "encode/id3_tag.h"

#include <string>

namespace {

constexpr uint8_t kVersion = 4;        // ID3v2.4.0
constexpr uint8_t kTextUtf8 = 3;       // a text frame's encoding byte: UTF-8
constexpr uint32_t kSizeLimit = 1u << 28;  // what a synchsafe size can hold

// Sizes in ID3v2.4 are "synchsafe": 7 bits to a byte, so no byte of them looks like a sync.
void AppendSynchsafe(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 21; shift >= 0; shift -= 7) out.push_back(uint8_t((value >> shift) & 0x7F));
}

void AppendTextFrame(std::vector<uint8_t>& out, const char* id, const std::string& utf8) {
    if (utf8.empty() || utf8.size() + 1 >= kSizeLimit) return;
    out.insert(out.end(), id, id + 4);
    AppendSynchsafe(out, uint32_t(utf8.size() + 1));
    out.push_back(0);  // two bytes of frame flags
    out.push_back(0);
    out.push_back(kTextUtf8);
    out.insert(out.end(), utf8.begin(), utf8.end());
}

}  // namespace

std::vector<uint8_t> Id3Tag(const TrackTags& tags) {
    std::vector<uint8_t> frames;
    AppendTextFrame(frames, "TIT2", tags.title);
    AppendTextFrame(frames, "TPE1", tags.artist);
    AppendTextFrame(frames, "TPE2", tags.albumArtist);
    AppendTextFrame(frames, "TALB", tags.album);
    AppendTextFrame(frames, "TDRC", tags.year);
    if (tags.trackNumber > 0) {
        std::string number = std::to_string(tags.trackNumber);
        if (tags.trackTotal > 0) number += "/" + std::to_string(tags.trackTotal);
        AppendTextFrame(frames, "TRCK", number);
    }

    if (frames.empty() || frames.size() >= kSizeLimit) return {};  // a tag holds a frame
    std::vector<uint8_t> tag = {'I', 'D', '3', kVersion, 0, 0};  // revision 0, no flags
    AppendSynchsafe(tag, uint32_t(frames.size()));
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}
