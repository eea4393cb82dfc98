// Track rules shared by the recorder and grooval-split.
#include "engine/track_rules.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/paths.h"

bool IsRefusedPrefixCharacter(unsigned int character) {
    return character != 0 && character < 0x80 &&
           std::strchr(kRefusedPrefixCharacters, static_cast<int>(character)) != nullptr;
}

std::string WithoutRefusedCharacters(const std::string& prefix, UINT codePage) {
    std::string kept;
    for (size_t at = 0; at < prefix.size();) {
        const size_t next = std::min(NextCharacter(prefix, at, codePage), prefix.size());
        if (next - at > 1 || !IsRefusedPrefixCharacter(static_cast<unsigned char>(prefix[at]))) {
            kept.append(prefix, at, next - at);
        }
        at = next;
    }
    return kept;
}

std::string TrackNameTemplate(const std::string& folder, const std::string& prefix,
                              UINT codePage) {
    return folder + "\\" + WithoutRefusedCharacters(prefix, codePage) + kTrackNumberPattern;
}

std::string SecondsText(int blocks, int blocksPerSecond, const char* decimalSeparator) {
    char text[32];
    std::snprintf(text, sizeof text, "%d%s%02d", blocks / blocksPerSecond,
                  decimalSeparator ? decimalSeparator : "",
                  (blocks % blocksPerSecond) * 100 / blocksPerSecond);
    return text;
}

std::string SliderCaption(const std::string& pattern, int blocks, int blocksPerSecond,
                          const char* decimalSeparator) {
    const std::string seconds = SecondsText(blocks, blocksPerSecond, decimalSeparator);
    // The table's texts are plain %s patterns; only the first %s is filled, as printf would.
    const size_t at = pattern.find("%s");
    if (at == std::string::npos) return pattern;
    std::string caption = pattern;
    caption.replace(at, 2, seconds);
    return caption;
}
