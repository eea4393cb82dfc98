// The encoder formats: parsing their names and making their stages.
#include "split/encoder_format.h"

#include <cctype>
#include <new>

namespace {

std::string Lower(const std::string& text) {
    std::string lower;
    for (char c : text) lower += char(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// A whole decimal number of at most 3 digits (every level and bitrate fits).
bool SmallNumber(const std::string& text, int& value) {
    if (text.empty() || text.size() > 3) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

}  // namespace

std::string BitrateList() {
    std::string list;
    const size_t count = sizeof kMp3Bitrates / sizeof kMp3Bitrates[0];
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) list += i + 1 == count ? " or " : ", ";
        list += std::to_string(kMp3Bitrates[i]);
    }
    return list;
}

EncoderNameResult ParseEncoderFormat(const std::string& name, EncoderFormat& format,
                                     std::string& problem) {
    const std::string lower = Lower(name);
    const size_t colon = lower.find(':');
    const std::string head = lower.substr(0, colon);
    const bool hasLevel = colon != std::string::npos;
    const std::string level = hasLevel ? lower.substr(colon + 1) : std::string();
    EncoderFormat parsed;
    if (head == "flac") {
        parsed.kind = EncoderKind::Flac;
        if (hasLevel && (!SmallNumber(level, parsed.flacLevel) || parsed.flacLevel > kFlacMaxLevel)) {
            problem = "flac takes a compression level from " + std::to_string(kFlacMinLevel) +
                      " to " + std::to_string(kFlacMaxLevel) + " (flac:LEVEL), not \"" + level +
                      "\"";
            return EncoderNameResult::Invalid;
        }
    } else if (head == "mp3") {
        parsed.kind = EncoderKind::Mp3;
        int value = 0;
        if (hasLevel && level.size() > 1 && level[0] == 'v') {
            if (!SmallNumber(level.substr(1), value) || value > kMp3MaxVbrQuality) {
                problem = "mp3:vQUALITY takes a quality from " +
                          std::to_string(kMp3MinVbrQuality) + " (best) to " +
                          std::to_string(kMp3MaxVbrQuality) + ", not \"" + level + "\"";
                return EncoderNameResult::Invalid;
            }
            parsed.mp3.vbrQuality = value;
        } else if (hasLevel) {
            if (!SmallNumber(level, value) || !IsMp3Bitrate(value)) {
                problem = "mp3 takes a bitrate of " + BitrateList() + " (mp3:KBPS) or a quality v" +
                          std::to_string(kMp3MinVbrQuality) + " to v" +
                          std::to_string(kMp3MaxVbrQuality) + " (mp3:vQUALITY), not \"" + level +
                          "\"";
                return EncoderNameResult::Invalid;
            }
            parsed.mp3.bitrate = value;
        }
    } else {
        return EncoderNameResult::NotAnEncoder;
    }
    format = parsed;
    return EncoderNameResult::Valid;
}

std::unique_ptr<EncoderStage> CreateEncoderStage(const EncoderFormat& format, uint32_t rate,
                                                 uint64_t sideFrames, const TrackTagSource& tags,
                                                 const EncodedFileApi& api) {
    if (format.kind == EncoderKind::Flac) {
        return std::unique_ptr<EncoderStage>(
            new (std::nothrow) FlacStage(rate, format.flacLevel, sideFrames, tags, api));
    }
    if (format.kind == EncoderKind::Mp3) {
        return std::unique_ptr<EncoderStage>(
            new (std::nothrow) Mp3Stage(rate, format.mp3, tags, api));
    }
    return nullptr;
}
