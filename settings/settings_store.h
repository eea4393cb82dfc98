// The settings store: the record of settings the main window holds, and their load from and
// save to the user's registry key. Registry names and defaults are named here once.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/stream_format.h"
#include "output/format_record.h"
#include "settings/registry_key.h"

constexpr char kSettingsKeyPath[] = "Software\\Quellbrook Software\\Grooval\\Settings";

constexpr char kValueDirectory[] = "directory";
constexpr char kValueSource[] = "source";
constexpr char kValueOutputFormat[] = "OutputFormat";
constexpr char kValueOutputName[] = "OutputName";
constexpr char kValuePrefix[] = "prefix";
constexpr char kValueDiscard[] = "Discard";
constexpr char kValueSilence[] = "Silence";
constexpr char kValueDuration[] = "Duration";
constexpr char kValueLanguage[] = "Language";
constexpr char kValueMode78[] = "78";
constexpr char kValueLiveMode[] = "LiveMode";
constexpr char kValueNoDirectSound[] = "NoDirectSound";

constexpr DWORD kSettingTextBytes = 260;  // names and paths: MAX_PATH with its terminator
constexpr char kDefaultPrefix[] = "tmp";
constexpr int32_t kDefaultDiscard = 14;   // blocks: 2 seconds at 7 blocks a second
constexpr int32_t kDefaultSilence = 4;    // level units
constexpr int32_t kDefaultDuration = 14;  // blocks

// What the main window keeps of the settings while it lives.
struct Settings {
    // The defaults the main window object starts with: `defaultFolder` (DefaultFolder()) and
    // an output format buffer of maxFormatSize + 18 bytes holding PCM 44100 Hz 16-bit stereo.
    Settings(uint32_t maxFormatSize, std::string defaultFolder);

    std::string folder;          // "directory": where the track files go
    std::string sourceName;      // "source": the sound card (mixer device) recorded from
    FormatBuffer outputFormat;   // "OutputFormat": the chosen output format record
    std::string outputName;      // "OutputName": its name from the format chooser
    std::string prefix = kDefaultPrefix;
    // Loaded inside the slider ranges of track_rules.h; flags are 0 or 1.
    int32_t Discard = kDefaultDiscard;    // minimum track length, blocks
    int32_t Silence = kDefaultSilence;    // silence level
    int32_t Duration = kDefaultDuration;  // silence that ends a track, blocks
    uint32_t mode78 = 0;
    uint32_t liveMode = 0;
    uint32_t useDirectSound = 0;
    // A stored "OutputFormat" that could not be used: outputFormat holds the default, and the
    // save leaves the stored record and name alone until the user chooses a format.
    bool storedFormatUnusable = false;
};

// The locale's separators for the interface language, fetched with the settings; start-up
// copies them into the process-wide values.
struct LocaleSeparators {
    char decimal[kSeparatorBytes] = ".";
    char time[kSeparatorBytes] = ":";
};

// What the load and save reach outside the registry values. The recorder hands in its
// DirectSound probe (true when DirectSound capture can be used); without one, DirectSound counts
// as unavailable. Tests replace the probe (Wine's DSOUND.DLL always has the entry) and the root
// (to make the key fail to open).
struct SettingsSystem {
    HKEY root = HKEY_CURRENT_USER;
    bool (*directSoundAvailable)() = nullptr;
};

// Opens (creating when missing) the settings key with full access.
LONG OpenSettingsKey(RegistryKey& key, HKEY root = HKEY_CURRENT_USER);

// The working folder, or the user's music folder when shfolder.dll can name it.
std::string DefaultFolder();

// LOCALE_SDECIMAL and LOCALE_STIME of `language` with its default sub-language; "." and ":"
// when the locale has none that fits.
LocaleSeparators FetchSeparators(uint16_t language);

// Reads every value into `settings` (each missing or unreadable one takes its default), takes
// a stored "Language" into `uiLanguage`, then fetches the separators for the resulting
// language. `folder` and `outputFormat` keep what they hold unless a usable value is stored.
void LoadSettings(Settings& settings, uint16_t& uiLanguage, LocaleSeparators& separators,
                  const SettingsSystem& system = SettingsSystem());

// Writes the values the main window changes; silent when the key cannot be opened.
void SaveSettings(const Settings& settings, const SettingsSystem& system = SettingsSystem());
