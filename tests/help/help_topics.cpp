// Prints what the program asks of its help file, for check_help_file.py: every "What's This?"
// topic of the main window's and the Options dialog's tables; the ranges and defaults of the
// settings the manual names (the detection sliders as the window shows them and as
// grooval-split takes them, with grooval-split's own silence default, and grooval-split's own
// levels and bits); the texts the window shows from its string table; the status texts of the
// engine and the output chain that have names; the silence levels in dBFS; and grooval-split's
// --help, which names its options and exit codes.
//
//   topic DIALOG CONTROL NUMBER
//   setting NAME POPUP            the pop-up that must state the setting (0: none)
//   range NAME LOW HIGH [shown]   "shown": as the window shows it, so its pop-up states it
//   default NAME VALUE [shown]
//   list NAME TEXT                a list of values the manual must give whole
//   text window|status FORMAT     printf format as the program fills it
//   dbfs LEVEL DBFS               a silence level's loudness, as grooval-split prints it
//   help LINE                     a line of grooval-split --help
#include <cstdio>
#include <string>

#include "app/context_help.h"
#include "app/languages.h"
#include "app/main_dialog.h"
#include "engine/stream_format.h"
#include "engine/track_engine.h"
#include "engine/track_rules.h"
#include "output/output_chain.h"
#include "output/wave_file.h"
#include "resources/resource_ids.h"
#include "settings/settings_store.h"
#include "dsp/declicker.h"
#include "encode/encoder_format.h"
#include "split/options.h"
#include "split/silence_level.h"

namespace {

void PrintTopics(const char* dialog, const HelpEntry* table) {
    for (const HelpEntry* entry = table; entry->control != 0 || entry->topic != 0; ++entry) {
        std::printf("topic %s %d 0x%08lX\n", dialog, entry->control,
                    static_cast<unsigned long>(entry->topic));
    }
}

void PrintSetting(const char* name, int control) {
    const DWORD topic = control ? FindHelpTopic(kMainWindowHelp, control) : 0;
    std::printf("setting %s 0x%08lX\n", name, static_cast<unsigned long>(topic));
}

void PrintRange(const char* name, const std::string& low, const std::string& high, bool shown) {
    std::printf("range %s %s %s%s\n", name, low.c_str(), high.c_str(), shown ? " shown" : "");
}

void PrintDefault(const char* name, const std::string& value, bool shown) {
    std::printf("default %s %s%s\n", name, value.c_str(), shown ? " shown" : "");
}

// A slider counted in blocks: shown as seconds at both block rates, taken by grooval-split as
// blocks.
void PrintBlockSetting(const char* name, int control, int low, int defaultBlocks) {
    PrintSetting(name, control);
    for (int rate : {kBlocksPerSecond, kBlocksPerSecond78}) {
        PrintRange(name, SecondsText(low, rate, "."), SecondsText(kLengthSliderMax, rate, "."),
                   true);
    }
    PrintRange(name, std::to_string(low), std::to_string(kLengthSliderMax), false);
    PrintDefault(name, SecondsText(defaultBlocks, kBlocksPerSecond, "."), true);
    PrintDefault(name, SecondsText(defaultBlocks, kBlocksPerSecond78, "."), false);
    PrintDefault(name, std::to_string(defaultBlocks), false);
}

void PrintLevels(const char* name, int low, int high, int value) {
    PrintSetting(name, 0);
    PrintRange(name, std::to_string(low), std::to_string(high), false);
    PrintDefault(name, std::to_string(value), false);
}

// One line each: a line break in the text becomes a space, as the manual's pages show it.
void PrintText(const char* kind, std::string format) {
    for (char& c : format) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    std::printf("text %s %s\n", kind, format.c_str());
}

}  // namespace

int main() {
    PrintTopics("main", kMainWindowHelp);
    PrintTopics("options", kOptionsHelp);

    PrintSetting("silence", IDC_MAIN_SILENCE_LEVEL);
    PrintRange("silence", std::to_string(kLevelSliderMin), std::to_string(kLevelSliderMax), true);
    PrintDefault("silence", std::to_string(kDefaultSilence), true);
    // grooval-split takes the slider's levels but chooses its own unless given one.
    PrintSetting("split-silence", 0);
    PrintRange("split-silence", std::to_string(kLevelSliderMin), std::to_string(kLevelSliderMax),
               false);
    PrintRange("split-silence", std::to_string(int(kAutoMinMarginDb)),
               std::to_string(int(kAutoMarginDb)), false);  // dB above the noise floor
    PrintDefault("split-silence", kAutoSilenceName, false);
    PrintBlockSetting("gap", IDC_MAIN_SILENCE_LENGTH, kGapSliderMin, kDefaultDuration);
    PrintBlockSetting("discard", IDC_MAIN_DISCARD_LENGTH, kDiscardSliderMin, kDefaultDiscard);

    PrintLevels("flac", kFlacMinLevel, kFlacMaxLevel, kFlacDefaultLevel);
    PrintSetting("mp3", 0);
    const int bitrates = sizeof kMp3Bitrates / sizeof kMp3Bitrates[0];
    PrintRange("mp3", std::to_string(kMp3Bitrates[0]), std::to_string(kMp3Bitrates[bitrates - 1]),
               false);
    PrintRange("mp3", "v" + std::to_string(kMp3MinVbrQuality),
               "v" + std::to_string(kMp3MaxVbrQuality), false);
    PrintDefault("mp3", "v" + std::to_string(kMp3DefaultVbrQuality), false);
    std::printf("list mp3 %s\n", BitrateList().c_str());
    PrintLevels("declick", kDeclickMinLevel, kDeclickMaxLevel, kDeclickDefaultLevel);
    PrintSetting("tracks", 0);
    PrintRange("tracks", "1", std::to_string(kSplitMaxTracks), false);
    PrintSetting("bits", 0);
    std::printf("list bits %s\n", SplitBitsText().c_str());

    UiLanguage = LANG_ENGLISH;
    for (UINT id : {IDS_SOUND_CARD_BUSY, IDS_TRACK_NUMBER, IDS_CUEING, IDS_NOT_RECORDING}) {
        PrintText("window", LoadLanguageString(id));
    }
    PrintText("window", kConvertFailedText);
    PrintText("window", kConvertFailedCaption);
    PrintText("window", kEngineBusyText);
    for (const char* status : {kNoWriterMessage, kNoFreeNumberMessage, kNameTooLongMessage,
                               kWriterNotReadyMessage, kWorkerStoppedMessage, kPcmFallbackMessage,
                               kFileFullMessage, kDiskFullMessage}) {
        PrintText("status", status);
    }
    for (int32_t level = kLevelSliderMin; level <= kLevelSliderMax; ++level) {
        std::printf("dbfs %d %.1f\n", int(level), SilenceLevelDbfs(level));
    }
    const std::string help = SplitHelpText();
    for (size_t at = 0; at < help.size();) {
        const size_t end = help.find('\n', at);
        std::printf("help %s\n", help.substr(at, end - at).c_str());
        at = end == std::string::npos ? help.size() : end + 1;
    }
    return 0;
}
