// The settings store (see settings_store.h).
//
// Stored values are untrusted: a text without its terminator, or an "OutputFormat" whose
// cbSize claims more bytes than were stored or whose fields would make a codec or the file
// writer divide by zero, is treated as missing and its default kept.
#include "settings/settings_store.h"

#include <shlobj.h>

#include <cstring>
#include <utility>

#include "base/unique_handle.h"
#include "engine/track_rules.h"

namespace {

constexpr LCID kDefaultSublanguage = 0x0400;  // SUBLANG_DEFAULT in a LANGID's high bits
constexpr int kMusicFolder = 0x000D;          // CSIDL_MYMUSIC
constexpr DWORD kLanguageMask = 0xFFFF;       // a stored language counts by its low 16 bits


using GetFolderPathA = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);

// A format the codecs and the file writer can work with, all of it inside `storedBytes`.
bool IsUsableFormat(const WAVEFORMATEX* record, DWORD storedBytes) {
    if (FormatSize(record) > storedBytes) return false;
    if (record->wFormatTag == WAVE_FORMAT_UNKNOWN) return false;
    if (record->nChannels == 0 || record->nSamplesPerSec == 0 || record->nBlockAlign == 0 ||
        record->nAvgBytesPerSec == 0) {
        return false;
    }
    if (record->wFormatTag != kFormatTagPcm) return true;
    const DWORD bits = record->wBitsPerSample;
    if (bits == 0 || bits % 8 != 0) return false;
    if (record->nBlockAlign != record->nChannels * bits / 8) return false;
    return uint64_t(record->nAvgBytesPerSec) ==
           uint64_t(record->nSamplesPerSec) * record->nBlockAlign;
}

enum class StoredFormat { kTaken, kMissing, kUnusable };

// "OutputFormat" into `format` when it is REG_BINARY, 18 bytes or more, fits the buffer and is
// usable; otherwise `format` is left alone.
StoredFormat ReadOutputFormat(RegistryKey& key, FormatBuffer& format) {
    DWORD type = REG_BINARY;
    DWORD length = 0;
    const LONG asked =
        RegQueryValueExA(key.Get(), kValueOutputFormat, nullptr, &type, nullptr, &length);
    if (asked == ERROR_FILE_NOT_FOUND) return StoredFormat::kMissing;
    if (asked != ERROR_SUCCESS || format.Empty()) return StoredFormat::kUnusable;
    if (type != REG_BINARY || length < kFormatHeaderBytes || length > format.Size()) {
        return StoredFormat::kUnusable;
    }
    FormatBuffer stored;
    if (!stored.Allocate(format.Size())) return StoredFormat::kUnusable;
    DWORD read = length;
    if (RegQueryValueExA(key.Get(), kValueOutputFormat, nullptr, &type, stored.Bytes(), &read) !=
        ERROR_SUCCESS) {
        return StoredFormat::kUnusable;
    }
    // The value may have changed between the two questions.
    if (type != REG_BINARY || read != length) return StoredFormat::kUnusable;
    if (!IsUsableFormat(stored.Get(), read)) return StoredFormat::kUnusable;
    // PCM carries no extra bytes; a stray count must not mislead anything downstream.
    if (stored.Get()->wFormatTag == kFormatTagPcm) stored.Get()->cbSize = 0;
    format = std::move(stored);
    return StoredFormat::kTaken;
}

bool ReadText(RegistryKey& key, const char* name, std::string& target) {
    char text[kSettingTextBytes] = {};
    DWORD size = sizeof(text);
    if (key.QueryString(text, name, size) != ERROR_SUCCESS) return false;
    target = text;
    return true;
}

bool FolderExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A stored value outside the slider's range counts as its nearest end, as the slider shows it.
int32_t ReadInRange(RegistryKey& key, const char* name, int32_t fallback, int32_t low,
                    int32_t high) {
    DWORD value = 0;
    if (key.QueryDword(value, name) != ERROR_SUCCESS) return fallback;
    const int32_t number = int32_t(value);
    return number < low ? low : number > high ? high : number;
}

uint32_t ReadFlag(RegistryKey& key, const char* name) {
    DWORD value = 0;
    return key.QueryDword(value, name) == ERROR_SUCCESS && value != 0 ? 1u : 0u;
}

void FetchSeparator(LCID locale, LCTYPE type, char (&target)[kSeparatorBytes],
                    const char* fallback) {
    char text[kSeparatorBytes] = {};
    if (GetLocaleInfoA(locale, type, text, kSeparatorBytes) == 0) {
        std::strcpy(target, fallback);
        return;
    }
    text[kSeparatorBytes - 1] = '\0';
    std::strcpy(target, text);
}

}  // namespace

Settings::Settings(uint32_t maxFormatSize, std::string defaultFolder)
    : folder(std::move(defaultFolder)) {
    if (outputFormat.Allocate(size_t(maxFormatSize) + kFormatHeaderBytes)) {
        MakePcmFormat(outputFormat.Get(), kDefaultOutputRate);
    }
}

LONG OpenSettingsKey(RegistryKey& key, HKEY root) {
    return key.Create(root, kSettingsKeyPath, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, nullptr);
}

std::string DefaultFolder() {
    char path[kSettingTextBytes] = {};
    const DWORD length = GetFullPathNameA(".", kSettingTextBytes, path, nullptr);
    if (length == 0 || length >= kSettingTextBytes) path[0] = '\0';
    LibraryHandle shellFolders(LoadLibraryA("shfolder.dll"));
    if (shellFolders) {
        auto getFolderPath = reinterpret_cast<GetFolderPathA>(
            reinterpret_cast<void*>(GetProcAddress(shellFolders.Get(), "SHGetFolderPathA")));
        char music[kSettingTextBytes] = {};
        if (getFolderPath &&
            SUCCEEDED(getFolderPath(nullptr, kMusicFolder, nullptr, SHGFP_TYPE_CURRENT, music))) {
            std::memcpy(path, music, sizeof(path));
        }
    }
    return path;
}

LocaleSeparators FetchSeparators(uint16_t language) {
    const LCID locale = language | kDefaultSublanguage;
    LocaleSeparators separators;
    FetchSeparator(locale, LOCALE_SDECIMAL, separators.decimal, ".");
    FetchSeparator(locale, LOCALE_STIME, separators.time, ":");
    return separators;
}

void LoadSettings(Settings& settings, uint16_t& uiLanguage, LocaleSeparators& separators,
                  const SettingsSystem& system) {
    settings.sourceName.clear();
    settings.outputName.clear();
    settings.prefix = kDefaultPrefix;
    settings.Discard = kDefaultDiscard;
    settings.Silence = kDefaultSilence;
    settings.Duration = kDefaultDuration;
    settings.mode78 = 0;
    settings.liveMode = 0;
    settings.storedFormatUnusable = false;

    RegistryKey key;
    bool noDirectSoundRead = false;
    if (OpenSettingsKey(key, system.root) == ERROR_SUCCESS) {
        std::string folder;
        if (ReadText(key, kValueDirectory, folder) && FolderExists(folder)) {
            settings.folder = std::move(folder);
        }
        ReadText(key, kValueSource, settings.sourceName);
        const StoredFormat format = ReadOutputFormat(key, settings.outputFormat);
        if (format == StoredFormat::kTaken) ReadText(key, kValueOutputName, settings.outputName);
        settings.storedFormatUnusable = format == StoredFormat::kUnusable;
        if (!ReadText(key, kValuePrefix, settings.prefix)) settings.prefix = kDefaultPrefix;
        settings.Discard = ReadInRange(key, kValueDiscard, kDefaultDiscard, kDiscardSliderMin,
                                       kLengthSliderMax);
        settings.Silence = ReadInRange(key, kValueSilence, kDefaultSilence, kLevelSliderMin,
                                       kLevelSliderMax);
        settings.Duration = ReadInRange(key, kValueDuration, kDefaultDuration, kGapSliderMin,
                                        kLengthSliderMax);
        DWORD language = 0;
        if (key.QueryDword(language, kValueLanguage) == ERROR_SUCCESS) {
            uiLanguage = uint16_t(language & kLanguageMask);
        }
        settings.mode78 = ReadFlag(key, kValueMode78);
        settings.liveMode = ReadFlag(key, kValueLiveMode);
        DWORD noDirectSound = 0;
        if (key.QueryDword(noDirectSound, kValueNoDirectSound) == ERROR_SUCCESS) {
            settings.useDirectSound = noDirectSound == 0 ? 1 : 0;
            noDirectSoundRead = true;
        }
    }
    if (!noDirectSoundRead) {
        settings.useDirectSound = system.directSoundAvailable && system.directSoundAvailable() ? 1 : 0;
    }
    key.Close();
    separators = FetchSeparators(uiLanguage);
}

void SaveSettings(const Settings& settings, const SettingsSystem& system) {
    RegistryKey key;
    if (OpenSettingsKey(key, system.root) != ERROR_SUCCESS) return;
    key.SetDword(DWORD(settings.Discard), kValueDiscard);
    key.SetDword(DWORD(settings.Silence), kValueSilence);
    key.SetDword(DWORD(settings.Duration), kValueDuration);
    key.SetString(settings.sourceName.c_str(), kValueSource);
    key.SetString(settings.folder.c_str(), kValueDirectory);
    key.SetString(settings.prefix.c_str(), kValuePrefix);
    key.SetDword(settings.mode78, kValueMode78);
    key.SetDword(settings.liveMode, kValueLiveMode);
    if (settings.storedFormatUnusable) return;  // the user's stored choice stays
    // A record that claims more bytes than its buffer holds is not written at all.
    const WAVEFORMATEX* format = settings.outputFormat.Get();
    if (format && FormatSize(format) <= settings.outputFormat.Size()) {
        RegSetValueExA(key.Get(), kValueOutputFormat, 0, REG_BINARY,
                       reinterpret_cast<const BYTE*>(format), FormatSize(format));
    }
    key.SetString(settings.outputName.c_str(), kValueOutputName);
}
