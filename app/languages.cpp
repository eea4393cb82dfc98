// The interface language and the per-language string and dialog lookups.
//
// A string table resource is a block of 16 counted UTF-16 strings: block id / 16 + 1 holds the
// string at index id % 16, each entry a 16-bit length followed by that many code units.
// The lookups ask for the exact resource language; only dialogs fall back, strings never do.
#include "app/languages.h"

#include <new>

#include "app/dialog.h"

uint16_t UiLanguage = kFallbackLanguage;
char DecimalSeparator[kSeparatorBytes] = ".";

namespace {

constexpr UINT kStringsPerBlock = 16;

HMODULE ResourceModule() { return GetModuleHandleA(nullptr); }

// UTF-16 to the program's 8-bit text through the process code page, which the manifest makes
// UTF-8, so no character of any language is lost.
std::string ToProgramText(const WCHAR* text, int length) {
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string result(size_t(bytes), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text, length, &result[0], bytes, nullptr, nullptr) !=
        bytes) {
        return {};
    }
    return result;
}

}  // namespace

bool IsSupportedLanguage(uint16_t primaryLanguage) {
    for (const InterfaceLanguage& language : kInterfaceLanguages) {
        if (language.uiLanguage == primaryLanguage) return true;
    }
    return false;
}

uint16_t SupportedLanguageOrFallback(uint16_t primaryLanguage) {
    return IsSupportedLanguage(primaryLanguage) ? primaryLanguage : kFallbackLanguage;
}

std::string LoadLanguageString(UINT id) {
    const HMODULE module = ResourceModule();
    const HRSRC found = FindResourceExA(module, RT_STRING,
                                        MAKEINTRESOURCEA(id / kStringsPerBlock + 1),
                                        ResourceLanguage(UiLanguage));
    if (!found) return {};
    const HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) return {};
    const auto* entry = static_cast<const WCHAR*>(LockResource(loaded));
    if (!entry) return {};
    const WCHAR* const end = entry + SizeofResource(module, found) / sizeof(WCHAR);

    for (UINT index = 0; index < kStringsPerBlock && entry < end; ++index) {
        const UINT length = *entry++;
        // A length running past the block means a damaged resource: show nothing rather than
        // read beyond it.
        if (length > UINT(end - entry)) return {};
        if (index == id % kStringsPerBlock) {
            if (length == 0) return {};
            try {
                return ToProgramText(entry, int(length));
            } catch (const std::bad_alloc&) {
                return {};
            }
        }
        entry += length;
    }
    return {};
}

INT_PTR RunLanguageDialog(UINT templateId, HWND owner, Dialog& dialog) {
    const HMODULE module = ResourceModule();
    HRSRC found = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(templateId),
                                  ResourceLanguage(UiLanguage));
    if (!found) found = FindResourceA(module, MAKEINTRESOURCEA(templateId), RT_DIALOG);
    if (!found) return -1;
    const HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) return -1;
    const auto* dialogTemplate = static_cast<const DLGTEMPLATE*>(LockResource(loaded));
    if (!dialogTemplate) return -1;
    return DialogBoxIndirectParamA(module, dialogTemplate, owner, Dialog::Procedure,
                                   Dialog::InitParam(dialog));
}
