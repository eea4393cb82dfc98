// The seconds shown in the captions of the two length sliders: a count of engine blocks at a
// whole number of blocks per second (7, or 4 in 78 mode) as "<s><separator><hundredths>".
#pragma once

#include <string>

std::string SecondsText(int blocks, int blocksPerSecond, const char* decimalSeparator);

// `pattern` (a string with one %s, from the string table) with the seconds text in place.
std::string SliderCaption(const std::string& pattern, int blocks, int blocksPerSecond,
                          const char* decimalSeparator);
