// SinkMessage: the last failure's text of a stage that writes track files, as the engine reads
// it through GetLastMessage: kSinkMessageBytes at most, cut at a character of the process code
// page, never cleared.
#pragma once

#include <cstdint>

#include "engine/output_sink.h"

class SinkMessage {
public:
    // printf-style; a text that does not fit ends with its last whole character.
    void Set(const char* format, ...);
    const char* Text() const { return text_; }
    // GetLastMessage's answer: `text` (kSinkMessageBytes) takes this text; 1 when it changed.
    int32_t CopyTo(char* text) const;

private:
    char text_[kSinkMessageBytes] = {};
};
