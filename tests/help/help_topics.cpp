// Prints what the program asks of its help file, for check_help_file.py: every "What's This?"
// topic of the main window's and the Options dialog's tables, and the ranges of the detection
// sliders, whose pop-ups must state them.
#include <cstdio>

#include "app/context_help.h"
#include "engine/track_rules.h"
#include "resources/resource_ids.h"

namespace {

void PrintTopics(const char* dialog, const HelpEntry* table) {
    for (const HelpEntry* entry = table; entry->control != 0 || entry->topic != 0; ++entry) {
        std::printf("topic %s %d 0x%08lX\n", dialog, entry->control,
                    static_cast<unsigned long>(entry->topic));
    }
}

void PrintRange(int control, int low, int high) {
    std::printf("range 0x%08lX %d %d\n",
                static_cast<unsigned long>(FindHelpTopic(kMainWindowHelp, control)), low, high);
}

}  // namespace

int main() {
    PrintTopics("main", kMainWindowHelp);
    PrintTopics("options", kOptionsHelp);
    PrintRange(IDC_MAIN_SILENCE_LEVEL, kLevelSliderMin, kLevelSliderMax);
    PrintRange(IDC_MAIN_SILENCE_LENGTH, kGapSliderMin, kLengthSliderMax);
    PrintRange(IDC_MAIN_DISCARD_LENGTH, kDiscardSliderMin, kLengthSliderMax);
    return 0;
}
