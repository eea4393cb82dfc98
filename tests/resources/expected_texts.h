// What every language must show: the string table and the translated dialog captions, written
// out independently of the resource files so that the tests compare two sources.
#pragma once

#include <cstdint>

constexpr int kStringIdCount = 12;
extern const unsigned kStringIds[kStringIdCount];

struct LanguageTexts {
    const char* name;
    uint16_t language;  // primary language id
    const char* strings[kStringIdCount];  // in the order of kStringIds
    // Main window template.
    int mainWidth;
    int mainHeight;
    const char* mainCaption;
    const char* record;
    const char* close;
    const char* fileGroup;
    const char* saveFilesTo;
    const char* prefixLabel;
    const char* options;
    const char* trackDetection;
    const char* silenceLevel;
    const char* recordingControls;
    const char* help;
    // About box template.
    const char* aboutCaption;
    // Options template; optionsCaption is null for a language without one.
    const char* optionsCaption;
    const char* mode78;
    const char* liveMode;
    const char* directSound;
    const char* languageLabel;
    const char* formatGroup;
    const char* changeFormat;
    const char* wav;
    const char* cancel;
};

constexpr int kLanguageCount = 8;
extern const LanguageTexts kLanguageTexts[kLanguageCount];

const LanguageTexts& EnglishTexts();
