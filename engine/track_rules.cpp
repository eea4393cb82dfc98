// Track rules shared by the recorder and grooval-split.
#include "engine/track_rules.h"

#include <cstdio>
#include <cstring>

bool IsRefusedPrefixCharacter(unsigned int character) {
    return character != 0 && character < 0x80 &&
           std::strchr(kRefusedPrefixCharacters, static_cast<int>(character)) != nullptr;
}

std::string WithoutRefusedCharacters(const std::string& prefix, UINT codePage) {
    std::string kept;
    const char* const end = prefix.c_str() + prefix.size();
    for (const char* at = prefix.c_str(); at < end;) {
        const char* next = CharNextExA(static_cast<WORD>(codePage), at, 0);
        if (next <= at || next > end) next = at + 1;  // an embedded terminator
        if (next - at > 1 || !IsRefusedPrefixCharacter(static_cast<unsigned char>(*at))) {
            kept.append(at, next);
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
