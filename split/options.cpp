// grooval-split's command line: parsing, the help text and the resolution against the stored
// settings.
#include "split/options.h"

#include <cstring>

#include "engine/stream_format.h"
#include "engine/track_rules.h"
#include "split/paths.h"

namespace {

enum class Takes { Nothing, Value, MaybeValue };  // MaybeValue: only as --name=value

struct OptionName {
    const char* longName;
    char shortName;  // 0: none
    Takes takes;
};

constexpr OptionName kOptionNames[] = {
    {"silence", 's', Takes::Value},      {"gap", 'g', Takes::Value},
    {"min", 'm', Takes::Value},          {"live", 'l', Takes::Nothing},
    {"no-live", 0, Takes::Nothing},      {"folder", 'o', Takes::Value},
    {"prefix", 'p', Takes::Value},       {"format", 'f', Takes::Value},
    {"list-formats", 0, Takes::Nothing}, {"settings", 0, Takes::Nothing},
    {"cue", 0, Takes::Nothing},          {"quiet", 'q', Takes::Nothing},
    {"stats", 0, Takes::Nothing},        {"help", 'h', Takes::Nothing},
    {"declick", 0, Takes::MaybeValue},
    {"tracks", 'n', Takes::Value},       {"titles", 0, Takes::Value},
    {"artist", 0, Takes::Value},         {"album", 0, Takes::Value},
    {"year", 0, Takes::Value},           {"preview", 0, Takes::Value},
    {"dry-run", 0, Takes::Nothing},
};

const OptionName* FindLong(const std::string& name) {
    for (const OptionName& option : kOptionNames) {
        if (name == option.longName) return &option;
    }
    return nullptr;
}

const OptionName* FindShort(char name) {
    for (const OptionName& option : kOptionNames) {
        if (option.shortName != 0 && option.shortName == name) return &option;
    }
    return nullptr;
}

// A whole decimal number within [low, high]; nothing else is taken.
bool ParseNumber(const std::string& text, int32_t low, int32_t high, int32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    int32_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    if (number < low || number > high) return false;
    value = number;
    return true;
}

// "YYYY" or "YYYY-MM-DD", as the INFO chunk's ICRD takes a date.
bool IsYear(const std::string& text) {
    const char* shape = text.size() == 4 ? "dddd" : text.size() == 10 ? "dddd-dd-dd" : nullptr;
    if (!shape) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) return false;
    }
    return true;
}

int32_t Clamp(int32_t value, int32_t low, int32_t high) {
    return value < low ? low : value > high ? high : value;
}

std::string RangeText(int32_t low, int32_t high) {
    return std::to_string(low) + " to " + std::to_string(high);
}

// Stores one option's value; false with `message` when it is not acceptable.
bool Take(const OptionName& option, const std::string& value, SplitOptions& options,
          std::string& message) {
    const std::string name = std::string("--") + option.longName;
    int32_t number = 0;
    if (option.longName == std::string("silence")) {
        if (!ParseNumber(value, kLevelSliderMin, kLevelSliderMax, number)) {
            message = name + " takes a level from " + RangeText(kLevelSliderMin, kLevelSliderMax);
            return false;
        }
        options.silence = number;
    } else if (option.longName == std::string("gap")) {
        if (!ParseNumber(value, kGapSliderMin, kLengthSliderMax, number)) {
            message =
                name + " takes a count of blocks from " + RangeText(kGapSliderMin, kLengthSliderMax);
            return false;
        }
        options.gap = number;
    } else if (option.longName == std::string("min")) {
        if (!ParseNumber(value, kDiscardSliderMin, kLengthSliderMax, number)) {
            message = name + " takes a count of blocks from " +
                      RangeText(kDiscardSliderMin, kLengthSliderMax);
            return false;
        }
        options.minimum = number;
    } else if (option.longName == std::string("folder")) {
        if (value.empty()) {
            message = name + " takes a folder";
            return false;
        }
        options.folder = value;
    } else if (option.longName == std::string("prefix")) {
        if (HoldsRefusedPrefixCharacter(value)) {
            message = name + " cannot hold any of " + kRefusedPrefixCharacters;
            return false;
        }
        options.prefix = value;
    } else if (option.longName == std::string("format")) {
        if (value.empty()) {
            message = name + " takes \"pcm\", \"flac\", \"mp3\" or a codec format (see --list-formats)";
            return false;
        }
        EncoderFormat encoder;
        std::string problem;
        if (ParseEncoderFormat(value, encoder, problem) == EncoderNameResult::Invalid) {
            message = name + ": " + problem;
            return false;
        }
        options.format = value;
    } else if (option.longName == std::string("tracks")) {
        if (!ParseNumber(value, 1, kSplitMaxTracks, number)) {
            message = name + " takes a count of tracks from " + RangeText(1, kSplitMaxTracks);
            return false;
        }
        options.tracks = number;
    } else if (option.longName == std::string("titles") ||
               option.longName == std::string("preview")) {
        if (value.empty()) {
            message = name + " takes a file";
            return false;
        }
        (option.longName == std::string("titles") ? options.titles : options.preview) = value;
    } else if (option.longName == std::string("artist")) {
        options.artist = value;
    } else if (option.longName == std::string("album")) {
        options.album = value;
    } else if (option.longName == std::string("year")) {
        if (!IsYear(value)) {
            message = name + " takes a year, YYYY or YYYY-MM-DD";
            return false;
        }
        options.year = value;
    }
    return true;
}

}  // namespace

SplitCommand ParseSplitOptions(int argc, const char* const* argv, SplitOptions& options,
                               std::string& message) {
    options = SplitOptions();
    bool help = false, listFormats = false, optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i] ? argv[i] : "";
        const OptionName* option = nullptr;
        std::string value;
        bool hasValue = false;
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.size() > 2 && argument.compare(0, 2, "--") == 0) {
            const size_t equals = argument.find('=');
            const std::string name =
                argument.substr(2, equals == std::string::npos ? equals : equals - 2);
            option = FindLong(name);
            if (!option) {
                message = "unknown option --" + name;
                return SplitCommand::Usage;
            }
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
                hasValue = true;
            }
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            option = argument.size() == 2 ? FindShort(argument[1]) : nullptr;
            if (!option) {
                message = "unknown option " + argument;
                return SplitCommand::Usage;
            }
        } else {
            if (!options.input.empty()) {
                message =
                    "one input file only (\"" + options.input + "\" and \"" + argument + "\")";
                return SplitCommand::Usage;
            }
            options.input = argument;
            continue;
        }

        const std::string name = std::string("--") + option->longName;
        if (option->takes == Takes::Nothing) {
            if (hasValue) {
                message = name + " takes no value";
                return SplitCommand::Usage;
            }
        } else if (option->takes == Takes::Value && !hasValue) {
            if (i + 1 >= argc || !argv[i + 1]) {
                message = name + " needs a value";
                return SplitCommand::Usage;
            }
            value = argv[++i];
        }

        const std::string longName = option->longName;
        if (longName == "help") {
            help = true;
        } else if (longName == "list-formats") {
            listFormats = true;
        } else if (longName == "live") {
            options.live = true;
        } else if (longName == "no-live") {
            options.live = false;
        } else if (longName == "settings") {
            options.useStored = true;
        } else if (longName == "cue") {
            options.cue = true;
        } else if (longName == "quiet") {
            options.quiet = true;
        } else if (longName == "stats") {
            options.stats = true;
        } else if (longName == "dry-run") {
            options.dryRun = true;
        } else if (longName == "declick") {
            int32_t level = kDeclickDefaultLevel;
            if (hasValue && !ParseNumber(value, kDeclickMinLevel, kDeclickMaxLevel, level)) {
                message = name + " takes a level from " +
                          RangeText(kDeclickMinLevel, kDeclickMaxLevel) + " (--declick=LEVEL)";
                return SplitCommand::Usage;
            }
            options.declick = level;
        } else if (!Take(*option, value, options, message)) {
            return SplitCommand::Usage;
        }
    }
    if (help) return SplitCommand::Help;
    if (listFormats) return SplitCommand::ListFormats;
    if (options.input.empty()) {
        message = "no input file (see --help)";
        return SplitCommand::Usage;
    }
    return SplitCommand::Run;
}

SplitSettings ResolveSplitSettings(const SplitOptions& options, const Settings* stored,
                                   const std::string& defaultFolder) {
    SplitSettings settings;
    settings.folder = defaultFolder;
    if (stored) {
        // As the recorder's sliders take them.
        settings.silence = Clamp(stored->Silence, kLevelSliderMin, kLevelSliderMax);
        settings.gap = Clamp(stored->Duration, kGapSliderMin, kLengthSliderMax);
        settings.minimum = Clamp(stored->Discard, kDiscardSliderMin, kLengthSliderMax);
        settings.live = stored->liveMode != 0;
        if (!stored->folder.empty()) settings.folder = stored->folder;
        settings.prefix = stored->prefix;
        if (stored->outputFormat.Get()) {
            settings.storedFormat = stored->outputFormat;
            settings.formatName.clear();
        }
    }
    if (options.silence) settings.silence = *options.silence;
    if (options.gap) settings.gap = *options.gap;
    if (options.minimum) settings.minimum = *options.minimum;
    if (options.live) settings.live = *options.live;
    if (options.declick) settings.declick = *options.declick;
    if (options.folder) settings.folder = *options.folder;
    if (options.prefix) settings.prefix = *options.prefix;
    if (options.format) {
        settings.formatName = *options.format;
        settings.storedFormat = FormatBuffer();
        std::string problem;
        ParseEncoderFormat(settings.formatName, settings.encoder, problem);  // checked by the parse
    }
    settings.tracks = options.tracks.value_or(0);
    settings.titlesFile = options.titles.value_or("");
    // Titled names start with the track number unless a prefix is asked for here.
    if (options.titles && !options.prefix) settings.prefix.clear();
    settings.artist = options.artist.value_or("");
    settings.album = options.album.value_or("");
    settings.year = options.year.value_or("");
    settings.preview = options.preview.value_or("");
    settings.dryRun = options.dryRun;
    return settings;
}

std::string SplitHelpText() {
    auto seconds = [](int32_t blocks) { return SecondsText(blocks, kBlocksPerSecond, ".") + " s"; };
    return std::string(
               "Usage: grooval-split [options] INPUT.wav\n"
               "Cuts a recorded side into numbered track files at its silences, by the rules\n"
               "of the Grooval recorder. A block is 5880 frames (0.13 s at 44100 Hz).\n"
               "\n"
               "  -s, --silence N    silence level, ") +
           RangeText(kLevelSliderMin, kLevelSliderMax) + " (default " +
           std::to_string(kDefaultSilence) +
           "); a block at or below\n"
           "                     it is silent\n"
           "  -g, --gap N        silent blocks that end a track, " +
           RangeText(kGapSliderMin, kLengthSliderMax) + "\n                     (default " +
           std::to_string(kDefaultDuration) + ", " + seconds(kDefaultDuration) +
           ")\n"
           "  -m, --min N        minimum track length in blocks, " +
           RangeText(kDiscardSliderMin, kLengthSliderMax) + "\n                     (default " +
           std::to_string(kDefaultDiscard) + ", " + seconds(kDefaultDiscard) +
           "); shorter tracks are deleted\n"
           "  -l, --live         live mode: keep the whole silence at the end of each track\n"
           "      --no-live      cut each track's trailing silence (the default)\n"
           "  -o, --folder DIR   folder of the track files (default: the recorder's default\n"
           "                     folder); it must exist\n"
           "  -p, --prefix TEXT  file name prefix (default \"" +
           kDefaultPrefix +
           "\"); tracks are named\n"
           "                     PREFIX0001.wav and on, skipping numbers whose files exist\n"
           "  -f, --format NAME  output format: \"pcm\" (the default: 16-bit stereo at the\n"
           "                     input's rate); \"flac[:LEVEL]\" (lossless, level " +
           std::to_string(kFlacMinLevel) + " to " + std::to_string(kFlacMaxLevel) +
           ",\n                     default " + std::to_string(kFlacDefaultLevel) +
           "); \"mp3[:KBPS|vQUALITY]\" (through LAME: a constant\n"
           "                     bitrate of " + std::to_string(kMp3Bitrates[0]) + " to " +
           std::to_string(kMp3Bitrates[sizeof kMp3Bitrates / sizeof kMp3Bitrates[0] - 1]) +
           " kbit/s, or a variable one of\n"
           "                     quality v" + std::to_string(kMp3MinVbrQuality) +
           " (best) to v" + std::to_string(kMp3MaxVbrQuality) + ", default v" +
           std::to_string(kMp3DefaultVbrQuality) +
           ");\n"
           "                     or a codec format from --list-formats. FLAC and MP3\n"
           "                     tracks carry their number and the sleeve's tags\n"
           "      --list-formats list the codec formats this system can write\n"
           "      --settings     take every value from the recorder's stored settings (the\n"
           "                     options above, when given too, override them)\n"
           "      --cue          write a cue sheet PREFIXfirst-last.cue beside the tracks,\n"
           "                     with each track's start and end in the input (mm:ss:ff)\n"
           "      --declick[=LEVEL]\n"
           "                     repair clicks before splitting: sensitivity " +
           RangeText(kDeclickMinLevel, kDeclickMaxLevel) + "\n                     (default " +
           std::to_string(kDeclickDefaultLevel) +
           ", higher finds fainter ones); clicks up to 2 ms\n"
           "                     are interpolated, longer events and steps left alone\n"
           "  -q, --quiet        no progress bar and no track list\n"
           "      --stats        print the time taken and the peak memory on stderr; with\n"
           "                     --declick also each track's clicks repaired and events\n"
           "                     left alone\n"
           "  -h, --help         this text\n"
           "\n"
           "For a record whose sleeve you have (each with an example):\n"
           "  -n, --tracks N     the side holds N tracks (1 to " +
           std::to_string(kSplitMaxTracks) +
           "): cut at the N-1 longest\n"
           "                     silent runs between sounds, whatever --gap says, each\n"
           "                     with the pre-roll and trailing silence of the mode;\n"
           "                     every track is kept, however short\n"
           "                       --tracks 6\n"
           "      --titles FILE  name the tracks \"NN Title.wav\" from FILE (UTF-8, one\n"
           "                     title a line, \"Artist - Title\" allowed), never over a\n"
           "                     file; a --prefix given goes in front; the titles also go\n"
           "                     into each file's tags and the cue sheet\n"
           "                       --titles \"side a.txt\"\n"
           "      --artist TEXT  the album's artist, for the tags and the cue sheet\n"
           "                       --artist \"Ella Fitzgerald\"\n"
           "      --album TEXT   the album, for the tags and the cue sheet\n"
           "                       --album \"Ella Swings Lightly\"\n"
           "      --year YEAR    the year, YYYY or YYYY-MM-DD, for the tags and the sheet\n"
           "                       --year 1958\n"
           "      --preview FILE draw the side's levels and cuts as an SVG picture (any\n"
           "                     browser shows it; a picture there is replaced)\n"
           "                       --preview side-a.svg\n"
           "      --dry-run      list the tracks (number, start, length, title) and draw\n"
           "                     the preview, but write no track file and no cue sheet\n"
           "                       --dry-run --tracks 6 --preview side-a.svg\n"
           "\n"
           "The input is a RIFF WAVE file: PCM of 8 to 32 bits, 32- or 64-bit float, or any\n"
           "format the installed codecs convert to 16-bit stereo PCM. It keeps its own\n"
           "sample rate: the recorder's 78 rpm setting does not apply. A take the recorder\n"
           "never finished (data size 0, 0xFFFFFFFF or past the end of the file) is read\n"
           "to the end of the file, in whole frames, with a warning saying how much was\n"
           "found.\n"
           "Exit codes: 0 done, 1 wrong command line, 2 input rejected (nothing written),\n"
           "3 output failed, 4 interrupted (the open track was finished), 5 fewer tracks\n"
           "found than --tracks asks for (those found were written), 6 input damaged (the\n"
           "passages the codec could not decode are missing; the warnings say where).\n";
}
