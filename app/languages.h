// The interface language of the process and the lookups that give every dialog template and
// string in that language.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/stream_format.h"

class Dialog;

// Primary language id (the low 10 bits of a LANGID) of all dialogs and strings. Set at
// start-up and by the settings load; everything else only reads it.
extern uint16_t UiLanguage;
// The decimal separator of the interface language's locale, for the slider captions.
extern char DecimalSeparator[kSeparatorBytes];

struct InterfaceLanguage {
    uint16_t uiLanguage;       // primary language id
    LANGID resourceLanguage;   // the same with SUBLANG_DEFAULT: what the resources are tagged
};

constexpr int kInterfaceLanguageCount = 8;
// The languages the resources carry, in the order the Options dialog lists them.
inline constexpr InterfaceLanguage kInterfaceLanguages[kInterfaceLanguageCount] = {
    {LANG_ENGLISH, 0x0409}, {LANG_DANISH, 0x0406},  {LANG_DUTCH, 0x0413},
    {LANG_GERMAN, 0x0407},  {LANG_SPANISH, 0x040A}, {LANG_ITALIAN, 0x0410},
    {LANG_SWEDISH, 0x041D}, {LANG_FRENCH, 0x040C},
};
// What an unsupported language becomes.
constexpr uint16_t kFallbackLanguage = LANG_ENGLISH;

// The primary language of a LANGID, as UiLanguage holds it.
constexpr uint16_t PrimaryLanguage(LANGID language) { return uint16_t(language & 0x3FF); }
// The resource language every lookup asks for: `primaryLanguage` with SUBLANG_DEFAULT.
constexpr LANGID ResourceLanguage(uint16_t primaryLanguage) {
    return LANGID(MAKELANGID(primaryLanguage, SUBLANG_DEFAULT));
}

// True for the eight languages of kInterfaceLanguages.
bool IsSupportedLanguage(uint16_t primaryLanguage);
// `primaryLanguage` when supported, else English.
uint16_t SupportedLanguageOrFallback(uint16_t primaryLanguage);

// String `id` of the string table in the language of UiLanguage, as the program's 8-bit text
// (UTF-8 under the program's manifest). Empty when that language has no such string: there is
// no fallback to another language.
std::string LoadLanguageString(UINT id);

// Runs `dialog` modally from template `templateId` in the language of UiLanguage, or, when that
// language has none, from the template the system picks among the languages present. Returns
// the value the dialog ended with, or -1 when there is no template or no window.
INT_PTR RunLanguageDialog(UINT templateId, HWND owner, Dialog& dialog);
