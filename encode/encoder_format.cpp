// The encoder formats: parsing their names.
#include "encode/encoder_format.h"

#include <cctype>

#include "base/whole_number.h"

namespace {

std::string Lower(const std::string& text) {
    std::string lower;
    for (char c : text) lower += char(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

}  // namespace

bool IsMp3Bitrate(int kbps) {
    for (int bitrate : kMp3Bitrates) {
        if (bitrate == kbps) return true;
    }
    return false;
}

std::string BitrateList() {
    std::string list;
    const size_t count = kMp3BitrateCount;
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
        if (hasLevel && !ParseWholeNumber(level, kFlacMinLevel, kFlacMaxLevel, parsed.flacLevel)) {
            problem = "flac takes a compression level from " + std::to_string(kFlacMinLevel) +
                      " to " + std::to_string(kFlacMaxLevel) + " (flac:LEVEL), not \"" + level +
                      "\"";
            return EncoderNameResult::Invalid;
        }
    } else if (head == "mp3") {
        parsed.kind = EncoderKind::Mp3;
        int value = 0;
        if (hasLevel && level.size() > 1 && level[0] == 'v') {
            if (!ParseWholeNumber(level.substr(1), kMp3MinVbrQuality, kMp3MaxVbrQuality, value)) {
                problem = "mp3:vQUALITY takes a quality from " +
                          std::to_string(kMp3MinVbrQuality) + " (best) to " +
                          std::to_string(kMp3MaxVbrQuality) + ", not \"" + level + "\"";
                return EncoderNameResult::Invalid;
            }
            parsed.mp3.vbrQuality = value;
        } else if (hasLevel) {
            if (!ParseWholeNumber(level, 0, kMp3Bitrates[kMp3BitrateCount - 1], value) ||
                !IsMp3Bitrate(value)) {
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
