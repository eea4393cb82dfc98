// What the recorder and grooval-split agree on about tracks and their names: the ranges of the
// three detection sliders, how block counts read as seconds, the characters a file-name prefix
// may not hold, and the number pattern of track file names.
#pragma once

#include <windows.h>

#include <string>

constexpr int kLevelSliderMin = 0;     // silence level, in the engine's level units
constexpr int kLevelSliderMax = 66;
constexpr int kGapSliderMin = 7;       // blocks of silence that end a track
constexpr int kDiscardSliderMin = 3;   // blocks below which a track is deleted
constexpr int kLengthSliderMax = 140;  // the upper end of both block sliders

// The nine characters a file name cannot hold, refused in a prefix.
constexpr char kRefusedPrefixCharacters[] = "\\/:*?\"<>|";
bool IsRefusedPrefixCharacter(unsigned int character);
// `prefix` without the refused characters, walked by the characters of `codePage`: in a
// double-byte code page the second byte of a character (ソ is 83 5C in code page 932) is no
// backslash.
std::string WithoutRefusedCharacters(const std::string& prefix, UINT codePage = CP_ACP);

// The engine fills in the track number and the extension.
constexpr char kTrackNumberPattern[] = "%04d.%s";
// Folder + "\" + prefix + kTrackNumberPattern; the prefix loses the refused characters, so a
// track never lands outside the folder or in an alternate stream, however the prefix came.
std::string TrackNameTemplate(const std::string& folder, const std::string& prefix,
                              UINT codePage = CP_ACP);

// A count of engine blocks at a whole number of blocks per second (7, or 4 in 78 mode) as
// "<s><separator><hundredths>".
std::string SecondsText(int blocks, int blocksPerSecond, const char* decimalSeparator);

// `pattern` (a string with one %s, from the string table) with the seconds text in place.
std::string SliderCaption(const std::string& pattern, int blocks, int blocksPerSecond,
                          const char* decimalSeparator);
