// grooval-split's command line: parsing, the help text and the resolution against the stored
// settings.
#include "split/options.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "engine/stream_format.h"
#include "engine/track_rules.h"
#include "base/whole_number.h"
#include "split/silence_level.h"

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
    {"declick", 0, Takes::MaybeValue},   {"bits", 0, Takes::Value},
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

// --silence takes "auto" and decibels too: true when `value` is one of them, stored; `also`
// says what they are, for the message.
bool SilenceWords(const std::string& value, SplitOptions& options, std::string& also) {
    const int32_t low = int32_t(std::floor(SilenceLevelDbfs(kLevelSliderMin)));
    const int32_t high = int32_t(std::ceil(SilenceLevelDbfs(kLevelSliderMax)));
    also = ", a level in dBFS from " + std::to_string(low) + "dB to " + std::to_string(high) +
           "dB, or auto";
    options.silenceDbfs.reset();  // a level given later replaces one given in dB
    double dbfs = 0.0;
    if (value == kAutoSilenceName) {
        options.silence = kAutoSilence;
    } else if (ParseDecibels(value, dbfs) && dbfs >= low && dbfs <= high) {
        options.silence = NearestSilenceLevel(dbfs);
        options.silenceDbfs = dbfs;
    } else {
        return false;
    }
    return true;
}

// The options that take a whole number, and where each goes.
struct NumberOption {
    const char* longName;
    int32_t low;
    int32_t high;
    const char* takes;  // what the number counts, for the message
    std::optional<int32_t> SplitOptions::*value;
    // What the option takes besides a number, or nullptr (see SilenceWords).
    bool (*takesAlso)(const std::string& value, SplitOptions& options, std::string& also);
};

const NumberOption kNumberOptions[] = {
    {"silence", kLevelSliderMin, kLevelSliderMax, "a level", &SplitOptions::silence,
     SilenceWords},
    {"gap", kGapSliderMin, kLengthSliderMax, "a count of blocks", &SplitOptions::gap, nullptr},
    {"min", kDiscardSliderMin, kLengthSliderMax, "a count of blocks", &SplitOptions::minimum,
     nullptr},
    {"tracks", 1, kSplitMaxTracks, "a count of tracks", &SplitOptions::tracks, nullptr},
};

// Checks of the options that take a text: false with what follows the option's name in the
// message.
bool AnyText(const std::string&, std::string&) {
    return true;
}

bool AFolder(const std::string& value, std::string& refusal) {
    refusal = " takes a folder";
    return !value.empty();
}

bool AFile(const std::string& value, std::string& refusal) {
    refusal = " takes a file";
    return !value.empty();
}

bool APrefix(const std::string& value, std::string& refusal) {
    refusal = std::string(" cannot hold any of ") + kRefusedPrefixCharacters;
    return !HoldsRefusedPrefixCharacter(value);
}

bool AFormat(const std::string& value, std::string& refusal) {
    if (value.empty()) {
        refusal = " takes \"pcm\", \"flac\", \"mp3\" or a codec format (see --list-formats)";
        return false;
    }
    EncoderFormat encoder;
    std::string problem;
    if (ParseEncoderFormat(value, encoder, problem) != EncoderNameResult::Invalid) return true;
    refusal = ": " + problem;
    return false;
}

bool AYear(const std::string& value, std::string& refusal) {
    refusal = " takes a year, YYYY or YYYY-MM-DD";
    return IsYear(value);
}

// The options that take a text, and where each goes.
struct TextOption {
    const char* longName;
    bool (*accepts)(const std::string& value, std::string& refusal);
    std::optional<std::string> SplitOptions::*value;
};

const TextOption kTextOptions[] = {
    {"folder", AFolder, &SplitOptions::folder},    {"prefix", APrefix, &SplitOptions::prefix},
    {"format", AFormat, &SplitOptions::format},    {"titles", AFile, &SplitOptions::titles},
    {"preview", AFile, &SplitOptions::preview},    {"artist", AnyText, &SplitOptions::artist},
    {"album", AnyText, &SplitOptions::album},      {"year", AYear, &SplitOptions::year},
};

// One argument read: an option with its value, or the input file (in `value`).
struct Argument {
    const OptionName* option = nullptr;
    std::string value;
    bool hasValue = false;
};

enum class Read { Option, Input, Skipped, Wrong };

// Reads argv[i], and argv[i + 1] too when the option takes it as its value.
Read ReadArgument(int argc, const char* const* argv, int& i, bool& optionsEnded,
                  Argument& argument, std::string& message) {
    const std::string text = argv[i] ? argv[i] : "";
    if (!optionsEnded && text == "--") {
        optionsEnded = true;
        return Read::Skipped;
    }
    if (!optionsEnded && text.size() > 2 && text.compare(0, 2, "--") == 0) {
        const size_t equals = text.find('=');
        const std::string name = text.substr(2, equals == std::string::npos ? equals : equals - 2);
        argument.option = FindLong(name);
        argument.hasValue = equals != std::string::npos;
        if (argument.hasValue) argument.value = text.substr(equals + 1);
        if (!argument.option) message = "unknown option --" + name;
    } else if (!optionsEnded && text.size() > 1 && text[0] == '-') {
        argument.option = text.size() == 2 ? FindShort(text[1]) : nullptr;
        if (!argument.option) message = "unknown option " + text;
    } else {
        argument.value = text;
        return Read::Input;
    }
    if (!argument.option) return Read::Wrong;
    const std::string name = std::string("--") + argument.option->longName;
    if (argument.option->takes == Takes::Nothing && argument.hasValue) {
        message = name + " takes no value";
        return Read::Wrong;
    }
    if (argument.option->takes == Takes::Value && !argument.hasValue) {
        if (i + 1 >= argc || !argv[i + 1]) {
            message = name + " needs a value";
            return Read::Wrong;
        }
        argument.value = argv[++i];
        argument.hasValue = true;
    }
    return Read::Option;
}

// The switches that only set a flag.
struct Switch {
    const char* longName;
    bool SplitOptions::*flag;
};

const Switch kSwitches[] = {
    {"settings", &SplitOptions::useStored}, {"cue", &SplitOptions::cue},
    {"quiet", &SplitOptions::quiet},        {"stats", &SplitOptions::stats},
    {"dry-run", &SplitOptions::dryRun},
};

bool TakeSwitch(const std::string& longName, SplitOptions& options) {
    for (const Switch& option : kSwitches) {
        if (longName != option.longName) continue;
        options.*option.flag = true;
        return true;
    }
    return false;
}

// Stores one option's value; false with `message` when it is not acceptable.
bool Take(const Argument& argument, SplitOptions& options, std::string& message) {
    const OptionName& option = *argument.option;
    const std::string& value = argument.value;
    const std::string name = std::string("--") + option.longName;
    if (name == "--declick") {
        int32_t level = kDeclickDefaultLevel;
        if (argument.hasValue &&
            !ParseWholeNumber(value, kDeclickMinLevel, kDeclickMaxLevel, level)) {
            message = name + " takes a level from " +
                      RangeText(kDeclickMinLevel, kDeclickMaxLevel) + " (--declick=LEVEL)";
            return false;
        }
        options.declick = level;
        return true;
    }
    if (name == "--bits") {
        for (const int32_t bits : kSplitBitsChoices) {
            if (value == std::to_string(bits)) {
                options.bits = bits;
                return true;
            }
        }
        message = name + " takes " + SplitBitsText();
        return false;
    }
    for (const NumberOption& number : kNumberOptions) {
        if (name != std::string("--") + number.longName) continue;
        std::string also;
        if (number.takesAlso && number.takesAlso(value, options, also)) return true;
        int32_t parsed = 0;
        if (!ParseWholeNumber(value, number.low, number.high, parsed)) {
            message = name + " takes " + number.takes + " from " +
                      RangeText(number.low, number.high) + also;
            return false;
        }
        options.*number.value = parsed;
        return true;
    }
    for (const TextOption& text : kTextOptions) {
        if (name != std::string("--") + text.longName) continue;
        std::string refusal;
        if (!text.accepts(value, refusal)) {
            message = name + refusal;
            return false;
        }
        options.*text.value = value;
        return true;
    }
    return true;
}

// The help text in parts: the detection settings, the output, the sleeve's options and the
// input with the exit codes.
std::string SilenceHelp() {
    std::string steps = "                      ";
    int column = 0;
    for (const int32_t level : {0, 1, 2, 3, 4, 5, 6, 8, 10, 15, 20, 66}) {
        char step[24];
        std::snprintf(step, sizeof step, " %d %.1f ", int(level), SilenceLevelDbfs(level));
        steps += step;
        if (++column == 6 && level != 66) steps += "\n                      ";
    }
    return "  -s, --silence N|NdB|auto\n"
           "                     silence level: a block whose louder channel's RMS is below\n"
           "                     it is silent. N is the recorder's level, " +
           RangeText(kLevelSliderMin, kLevelSliderMax) + ", in dBFS:\n" + steps +
           "\n"
           "                     NdB (-48dB) takes the nearest level, printed back.\n"
           "                     auto (default auto; --settings uses the stored level):\n"
           "                     " + std::to_string(int(kAutoMinMarginDb)) + " to " +
           std::to_string(int(kAutoMarginDb)) +
           " dB above the side's noise floor, at most level " +
           std::to_string(AutoSilenceLevel(0.0, 0.0)) +  // the cap
           "\n"
           "                     (the recorder's default) unless the noise is louder\n"
           "                     and " + std::to_string(int(kAutoClearMarginDb)) +
           " dB below the music (a 78); a side with no floor\n"
           "                     between its sounds (all music) is cut at level " +
           std::to_string(kDefaultSilence) +
           ".\n"
           "                     A quiet passage splits a song: a lower level, or --tracks.\n"
           "                     Songs run together: a level above the gaps' noise (see\n"
           "                     --preview), --declick, or --tracks\n";
}

std::string DetectionHelp() {
    auto seconds = [](int32_t blocks) { return SecondsText(blocks, kBlocksPerSecond, ".") + " s"; };
    return SilenceHelp() +
           "  -g, --gap N        silent blocks that end a track, " +
           RangeText(kGapSliderMin, kLengthSliderMax) + "\n                     (default " +
           std::to_string(kDefaultDuration) + ", " + seconds(kDefaultDuration) +
           ")\n"
           "  -m, --min N        minimum track length in blocks, " +
           RangeText(kDiscardSliderMin, kLengthSliderMax) + "\n                     (default " +
           std::to_string(kDefaultDiscard) + ", " + seconds(kDefaultDiscard) +
           "); shorter tracks are deleted\n"
           "  -l, --live         live mode: keep the whole silence at the end of each track\n"
           "      --no-live      cut each track's trailing silence (the default)\n";
}

std::string OutputHelp() {
    return std::string(
               "  -o, --folder DIR   folder of the track files, made with the folders above\n"
               "                     it when missing (not by a dry run); default: the\n"
               "                     input's folder, with --settings the recorder's\n"
               "  -p, --prefix TEXT  file name prefix (default \"") +
           kDefaultPrefix +
           "\"); tracks are named\n"
           "                     PREFIX0001.wav and on, skipping numbers whose files exist\n"
           "  -f, --format NAME  output format: \"pcm\" (the default: WAV in the input's own\n"
           "                     format); \"flac[:LEVEL]\" (lossless, level " +
           std::to_string(kFlacMinLevel) + " to " + std::to_string(kFlacMaxLevel) +
           ",\n                     default " + std::to_string(kFlacDefaultLevel) +
           "); \"mp3[:KBPS|vQUALITY]\" (through LAME: a constant\n"
           "                     bitrate of " + std::to_string(kMp3Bitrates[0]) + " to " +
           std::to_string(kMp3Bitrates[kMp3BitrateCount - 1]) +
           " kbit/s, or a variable one of\n"
           "                     quality v" + std::to_string(kMp3MinVbrQuality) +
           " (best) to v" + std::to_string(kMp3MaxVbrQuality) + ", default v" +
           std::to_string(kMp3DefaultVbrQuality) +
           ");\n"
           "                     or a codec format from --list-formats. FLAC and MP3\n"
           "                     tracks carry their number and the sleeve's tags\n"
           "      --bits N       " + SplitBitsText() +
           ": WAV or FLAC tracks of N bits, made from the\n"
           "                     input's with TPDF dither where it has more (a CD's copy:\n"
           "                     --bits 16)\n"
           "      --list-formats list the codec formats this system can write\n"
           "      --settings     take every value from the recorder's stored settings (the\n"
           "                     options above, when given too, override them)\n"
           "      --cue          write a cue sheet PREFIXfirst-last.cue beside the tracks\n"
           "                     (\"... (2).cue\" when that exists), with each track's\n"
           "                     start and end in the input (mm:ss:ff)\n"
           "      --declick[=LEVEL]\n"
           "                     repair clicks before splitting: sensitivity " +
           RangeText(kDeclickMinLevel, kDeclickMaxLevel) + "\n                     (default " +
           std::to_string(kDeclickDefaultLevel) +
           ", higher finds fainter ones); clicks up to 2 ms\n"
           "                     are interpolated where that is plainly better; longer\n"
           "                     events, steps and drum or pluck attacks are left alone\n"
           "                     (when in doubt, a click stays as recorded)\n"
           "  -q, --quiet        no progress bar and no track list\n"
           "      --stats        print the time taken and the peak memory on stderr; with\n"
           "                     --declick also each track's clicks repaired and events\n"
           "                     left alone\n"
           "  -h, --help         this text\n";
}

std::string SleeveHelp() {
    return std::string(
               "For a record whose sleeve you have (each with an example):\n"
               "  -n, --tracks N     the side holds N tracks (1 to ") +
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
           "                     browser shows it; a picture there is replaced, any other\n"
           "                     file is refused before the split)\n"
           "                       --preview side-a.svg\n"
           "      --dry-run      list the tracks as a run does (number, start, end, length,\n"
           "                     title, file) and draw the preview, but write no track\n"
           "                     file and no cue sheet\n"
           "                       --dry-run --tracks 6 --preview side-a.svg\n";
}

std::string InputHelp() {
    return "The input is a RIFF WAVE file: PCM of 8 to 32 bits, 32- or 64-bit float, or any\n"
           "format the installed codecs convert to 16-bit stereo PCM. The cuts are found on\n"
           "its samples made 16-bit stereo (the first two of more channels); the tracks of\n"
           "a PCM or float input hold its own frames, bits, channels and rate unchanged:\n"
           "WAV in its format, FLAC at its depth (24 bits at most: finer samples need\n"
           "--bits), MP3 from its full resolution (one or two channels). With --declick, a\n"
           "codec format or a codec input they are 16-bit stereo. The input keeps its own\n"
           "sample rate (the recorder's 78 rpm setting does not apply). A take never\n"
           "finished (its header written at the start or part-way: whole frames after the\n"
           "data the header counts; a data size of 0xFFFFFFFF or past the end of the file)\n"
           "is read to the end of the file, in whole frames, with a warning saying how\n"
           "much was found; a RIFF size that does not fit whole chunks is a warning.\n"
           "Exit codes: 0 done, 1 wrong command line, 2 input rejected (nothing written),\n"
           "3 output failed, 4 interrupted (the open track was finished), 5 fewer tracks\n"
           "found than --tracks asks for, or none at all (those found were written; the\n"
           "message says why none was), 6 input damaged (the\n"
           "passages the codec could not decode are missing; the warnings say where),\n"
           "7 input failed part-way (a read error: the open track was finished and the cue\n"
           "sheet lists the tracks written).\n";
}

}  // namespace

std::string SplitBitsText() {
    std::string text;
    for (const int32_t bits : kSplitBitsChoices) {
        const bool last = bits == kSplitBitsChoices[std::size(kSplitBitsChoices) - 1];
        if (!text.empty()) text += last ? " or " : ", ";
        text += std::to_string(bits);
    }
    return text;
}

bool HoldsRefusedPrefixCharacter(const std::string& prefix, UINT codePage) {
    return WithoutRefusedCharacters(prefix, codePage) != prefix;
}

SplitCommand ParseSplitOptions(int argc, const char* const* argv, SplitOptions& options,
                               std::string& message) {
    options = SplitOptions();
    bool help = false, listFormats = false, optionsEnded = false;
    const OptionName* valueless = nullptr;  // read just before, without the value it may take
    std::string meant;                      // "--declick=3" for "--declick 3"
    for (int i = 1; i < argc; ++i) {
        Argument argument;
        const Read read = ReadArgument(argc, argv, i, optionsEnded, argument, message);
        if (read == Read::Wrong) return SplitCommand::Usage;
        if (read == Read::Skipped) continue;
        if (read == Read::Input) {
            if (valueless && meant.empty()) {
                meant = std::string("--") + valueless->longName + "=" + argument.value;
            }
            valueless = nullptr;
            if (!options.input.empty()) {
                message = "one input file only (\"" + options.input + "\" and \"" +
                          argument.value + "\")";
                if (!meant.empty()) message += "; an option's value goes after \"=\": " + meant;
                return SplitCommand::Usage;
            }
            options.input = argument.value;
            continue;
        }
        valueless = argument.option->takes == Takes::MaybeValue && !argument.hasValue
                        ? argument.option
                        : nullptr;
        const std::string longName = argument.option->longName;
        if (longName == "help") {
            help = true;
        } else if (longName == "list-formats") {
            listFormats = true;
        } else if (longName == "live" || longName == "no-live") {
            options.live = longName == "live";
        } else if (!TakeSwitch(longName, options) && !Take(argument, options, message)) {
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
        // A stored PCM record is the recorder's capture format, not a codec: the tracks keep
        // the input's own frames as without --settings.
        const WAVEFORMATEX* format = stored->outputFormat.Get();
        if (format && format->wFormatTag != kFormatTagPcm) {
            settings.storedFormat = stored->outputFormat;
            settings.formatName.clear();
        }
    }
    // Only a level given or stored is fixed.
    settings.autoSilence = !stored;
    if (options.silence) {
        settings.autoSilence = *options.silence == kAutoSilence;
        if (!settings.autoSilence) settings.silence = *options.silence;
        settings.silenceDbfs = options.silenceDbfs;
    }
    if (options.gap) settings.gap = *options.gap;
    if (options.minimum) settings.minimum = *options.minimum;
    if (options.live) settings.live = *options.live;
    if (options.declick) settings.declick = *options.declick;
    settings.bits = options.bits.value_or(0);
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
    return "Usage: grooval-split [options] INPUT.wav\n"
           "Cuts a recorded side into numbered track files at its silences, by the rules\n"
           "of the Grooval recorder. A block lasts 0.13 s at any rate: 5880 frames at\n"
           "44100 Hz, 12800 at 96000 Hz.\n"
           "\n" +
           DetectionHelp() + OutputHelp() + "\n" + SleeveHelp() + "\n" + InputHelp();
}
