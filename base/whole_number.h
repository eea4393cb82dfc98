// The one way a command line's numbers are read: whole decimal numbers, nothing else.
#pragma once

#include <cstdint>
#include <string>

// Digits only (no sign, no spaces), at most 9 of them, within [low, high]; `value` is set only
// when it is.
inline bool ParseWholeNumber(const std::string& text, int32_t low, int32_t high,
                             int32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    int32_t number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    if (number < low || number > high) return false;
    value = number;
    return true;
}
