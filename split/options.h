// The command line of grooval-split and the settings it resolves to: the recorder's detection
// values, live mode, folder, prefix and output format, each from the command line, else from
// the recorder's stored settings when asked for, else the recorder's default.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "engine/track_engine.h"
#include "engine/track_rules.h"
#include "output/format_record.h"
#include "settings/settings_store.h"
#include "dsp/declicker.h"
#include "encode/encoder_format.h"

constexpr char kSplitPcmFormatName[] = "pcm";
constexpr int32_t kSplitMaxTracks = 999;  // --tracks: a side of one-second tracks is far fewer
constexpr char kAutoSilenceName[] = "auto";  // --silence auto: the tool's default
constexpr int32_t kAutoSilence = -1;         // --silence auto, in SplitOptions::silence
// --bits: a CD's 16 bits, or the 24 of a hi-res copy (and FLAC's most).
constexpr int32_t kSplitBitsChoices[] = {16, 24};
// "16 or 24"
std::string SplitBitsText();

enum class SplitCommand {
    Run,          // split the input
    Help,         // --help
    ListFormats,  // --list-formats
    Usage,        // the command line is wrong: the message says why
};

// What the command line says; values it leaves out are empty.
struct SplitOptions {
    std::string input;
    std::optional<int32_t> silence;      // a level, or kAutoSilence
    std::optional<double> silenceDbfs;  // when the level was given in dB: as given
    std::optional<int32_t> gap;
    std::optional<int32_t> minimum;
    std::optional<bool> live;
    std::optional<std::string> folder;
    std::optional<std::string> prefix;
    std::optional<std::string> format;
    std::optional<int32_t> declick;  // the declicker's level
    std::optional<int32_t> bits;     // --bits: 16 or 24
    bool useStored = false;
    bool cue = false;
    bool quiet = false;
    bool stats = false;
    // The record collector's options: the sleeve's track count, titles and tags, the preview.
    std::optional<int32_t> tracks;
    std::optional<std::string> titles;  // the titles file
    std::optional<std::string> artist;
    std::optional<std::string> album;
    std::optional<std::string> year;
    std::optional<std::string> preview;  // the SVG file
    bool dryRun = false;
};

// The values a split runs with.
struct SplitSettings {
    // The level chosen from the side's noise floor (split/silence_level.h) unless a level is
    // given or stored; `silence` is the fixed level, also when the side has no floor.
    bool autoSilence = true;
    int32_t silence = kDefaultSilence;
    std::optional<double> silenceDbfs;  // when the level was given in dB: as given
    int32_t gap = kDefaultDuration;
    int32_t minimum = kDefaultDiscard;
    bool live = false;
    int32_t declick = 0;  // the declicker's level; 0: no click repair
    int32_t bits = 0;     // the tracks' bits (16 or 24, a copy with dither); 0: the input's
    std::string folder;
    std::string prefix = kDefaultPrefix;
    // "pcm", or a codec format's tag name or number (see split/formats.h); empty when
    // `storedFormat` holds the format to write. Unused when `encoder` names FLAC or MP3.
    std::string formatName = kSplitPcmFormatName;
    FormatBuffer storedFormat;
    int32_t tracks = 0;  // the sleeve's track count; 0: cut at the silences
    std::string titlesFile;
    std::string artist;  // artist, album and year in the program's code page, as given
    std::string album;
    std::string year;
    std::string preview;  // the SVG to write; empty: none
    bool dryRun = false;
    EncoderFormat encoder;  // FLAC or MP3, when --format names one
    // A WAV track's most bytes, past which it goes on in the next file (tests make it small).
    uint32_t trackBytesLimit = kMaxTrackBytes;
};

// True when `prefix` holds a character the recorder refuses in a prefix (walked by characters).
bool HoldsRefusedPrefixCharacter(const std::string& prefix, UINT codePage = CP_ACP);

// Parses argv[1..]; `message` explains a Usage answer.
SplitCommand ParseSplitOptions(int argc, const char* const* argv, SplitOptions& options,
                               std::string& message);

// The command line's values over `stored` (the recorder's settings, when --settings was given;
// clamped into the sliders' ranges as the recorder shows them) over the recorder's defaults.
// `defaultFolder` is the recorder's default folder.
SplitSettings ResolveSplitSettings(const SplitOptions& options, const Settings* stored,
                                   const std::string& defaultFolder);

std::string SplitHelpText();
