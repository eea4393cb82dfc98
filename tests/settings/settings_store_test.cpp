// LoadSettings and SaveSettings against Wine's registry: defaults, the loading rule of every
// value, untrusted stored values (also random ones), and the round trip.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "capture/direct_sound_capture.h"
#include "engine/track_rules.h"
#include "settings/settings_store.h"
#include "tests/settings/settings_key_guard.h"
#include "tests/support/bench_audio.h"

namespace {

using namespace settings_test;

constexpr uint16_t kGerman = 0x07;
constexpr uint16_t kEnglish = 0x09;
constexpr uint16_t kDutch = 0x13;
constexpr uint16_t kPortuguese = 0x16;
constexpr char kDefaultFolderText[] = "C:\\default folder";

int probeCalls = 0;
bool probeAnswer = true;
bool CountingProbe() {
    ++probeCalls;
    return probeAnswer;
}

std::vector<BYTE> PcmRecord(DWORD rate, WORD channels, WORD cbSize = 0) {
    std::vector<BYTE> bytes(kFormatHeaderBytes, 0);
    auto* record = reinterpret_cast<WAVEFORMATEX*>(bytes.data());
    record->wFormatTag = WAVE_FORMAT_PCM;
    record->nChannels = channels;
    record->nSamplesPerSec = rate;
    record->wBitsPerSample = 16;
    record->nBlockAlign = WORD(channels * 2);
    record->nAvgBytesPerSec = rate * channels * 2;
    record->cbSize = cbSize;
    return bytes;
}

// IMA ADPCM as Wine's codec suggests it, with `extra` extra bytes (the first two are the
// samples per block).
std::vector<BYTE> AdpcmRecord(WORD extra) {
    std::vector<BYTE> bytes(kFormatHeaderBytes + extra, 0);
    auto* record = reinterpret_cast<WAVEFORMATEX*>(bytes.data());
    record->wFormatTag = WAVE_FORMAT_IMA_ADPCM;
    record->nChannels = 2;
    record->nSamplesPerSec = 44100;
    record->nAvgBytesPerSec = 44251;
    record->nBlockAlign = 2048;
    record->wBitsPerSample = 4;
    record->cbSize = extra;
    if (extra >= 2) bytes[kFormatHeaderBytes] = 0xF9, bytes[kFormatHeaderBytes + 1] = 0x07;
    return bytes;
}

std::vector<BYTE> Mp3Record() {
    std::vector<BYTE> bytes(kMp3FormatBytes, 0);
    auto* record = reinterpret_cast<WAVEFORMATEX*>(bytes.data());
    record->wFormatTag = kFormatTagMp3;
    record->nChannels = 2;
    record->nSamplesPerSec = 44100;
    record->nAvgBytesPerSec = 16000;
    record->nBlockAlign = 1;
    record->cbSize = kMp3ExtraBytes;
    CompleteMp3Format(record);
    return bytes;
}

std::vector<BYTE> Bytes(const FormatBuffer& buffer, size_t count) {
    return std::vector<BYTE>(buffer.Bytes(), buffer.Bytes() + count);
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        probeCalls = 0;
        probeAnswer = true;
        system_.directSoundAvailable = CountingProbe;
    }

    Settings Fresh() const { return Settings(maxFormatSize_, kDefaultFolderText); }

    // Loads into a fresh record with the language set to English first.
    Settings Load() {
        Settings settings = Fresh();
        language_ = kEnglish;
        LoadSettings(settings, language_, separators_, system_);
        return settings;
    }

    SettingsKeyGuard guard_;
    const uint32_t maxFormatSize_ = ReadMaxFormatSize();
    SettingsSystem system_;
    uint16_t language_ = kEnglish;
    LocaleSeparators separators_;
};

TEST_F(SettingsStoreTest, WithoutAKeyEverythingIsDefaultAndTheKeyIsCreated) {
    ASSERT_FALSE(KeyExists());
    // A record that held other values before: the load puts each default back.
    Settings settings = Fresh();
    settings.sourceName = "old card";
    settings.outputName = "old name";
    settings.prefix = "old";
    settings.Discard = settings.Silence = settings.Duration = 99;
    settings.mode78 = settings.liveMode = 1;
    language_ = kGerman;
    LoadSettings(settings, language_, separators_, system_);

    EXPECT_TRUE(KeyExists());
    EXPECT_EQ(settings.folder, kDefaultFolderText);
    EXPECT_EQ(settings.sourceName, "");
    EXPECT_EQ(settings.outputName, "");
    EXPECT_EQ(settings.prefix, "tmp");
    EXPECT_EQ(settings.Discard, 14);
    EXPECT_EQ(settings.Silence, 4);
    EXPECT_EQ(settings.Duration, 14);
    EXPECT_EQ(settings.mode78, 0u);
    EXPECT_EQ(settings.liveMode, 0u);
    EXPECT_EQ(settings.useDirectSound, 1u);
    EXPECT_EQ(probeCalls, 1);
    EXPECT_EQ(Bytes(settings.outputFormat, kFormatHeaderBytes), PcmRecord(44100, 2));
    EXPECT_EQ(settings.outputFormat.Size(), size_t(maxFormatSize_) + kFormatHeaderBytes);
    EXPECT_EQ(language_, kGerman);
    EXPECT_STREQ(separators_.decimal, ",");
    EXPECT_STREQ(separators_.time, ":");
}

TEST_F(SettingsStoreTest, AKeyThatCannotBeOpenedGivesDefaultsAndTakesNoWrites) {
    system_.root = reinterpret_cast<HKEY>(ULONG_PTR(0x7654));
    StoreText(kValuePrefix, "stored");
    probeAnswer = false;
    Settings settings = Load();
    EXPECT_EQ(settings.prefix, "tmp");
    EXPECT_EQ(settings.useDirectSound, 0u);
    EXPECT_EQ(probeCalls, 1);
    EXPECT_STREQ(separators_.decimal, ".");

    settings.prefix = "new";
    SaveSettings(settings, system_);
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadRaw(kValuePrefix, type, data));
    EXPECT_STREQ(reinterpret_cast<const char*>(data.data()), "stored");
}

TEST_F(SettingsStoreTest, NoDirectSoundIsInvertedAndOnlyAMissingValueProbes) {
    struct Case {
        bool stored;
        DWORD value;
        bool probeAnswer;
        uint32_t useDirectSound;
        int probeCalls;
    };
    const Case cases[] = {
        {true, 0, false, 1, 0},  // DirectSound although the system lacks the entry
        {true, 1, true, 0, 0},
        {true, 7, true, 0, 0},
        {false, 0, true, 1, 1},
        {false, 0, false, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "stored " << c.stored << " value " << c.value
                                        << " probe " << c.probeAnswer);
        SettingsKeyGuard clean;
        if (c.stored) StoreDword(kValueNoDirectSound, c.value);
        probeCalls = 0;
        probeAnswer = c.probeAnswer;
        EXPECT_EQ(Load().useDirectSound, c.useDirectSound);
        EXPECT_EQ(probeCalls, c.probeCalls);
    }
}

TEST_F(SettingsStoreTest, WineHasDirectSoundCaptureAndAMusicFolder) {
    EXPECT_EQ(ProbeDirectSound(), DirectSoundSupport::kAvailable);
    const std::string folder = DefaultFolder();
    char working[MAX_PATH] = {};
    GetFullPathNameA(".", MAX_PATH, working, nullptr);
    EXPECT_NE(folder, working);  // shfolder.dll named the music folder
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << folder;
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY) << folder;
}

TEST_F(SettingsStoreTest, OutputFormatIsTakenOnlyWhenWholeAndUsable) {
    const std::vector<BYTE> pcmDefault = PcmRecord(44100, 2);
    // `record` with one change made through its header.
    const auto altered = [](std::vector<BYTE> record, void (*change)(WAVEFORMATEX&)) {
        change(*reinterpret_cast<WAVEFORMATEX*>(record.data()));
        return record;
    };
    std::vector<BYTE> claimsMore = AdpcmRecord(2);
    claimsMore.resize(kFormatHeaderBytes);  // cbSize says 2, nothing follows
    std::vector<BYTE> longerThanItsCount = AdpcmRecord(2);
    longerThanItsCount.push_back(0x55);
    const std::vector<BYTE> tooShort(pcmDefault.begin(), pcmDefault.end() - 1);
    const std::vector<BYTE> dword = {1, 0, 1, 0};

    struct Case {
        const char* label;
        DWORD type;
        std::vector<BYTE> stored;
        bool taken;
    };
    const Case cases[] = {
        {"PCM 22050 mono", REG_BINARY, PcmRecord(22050, 1), true},
        {"MPEG Layer-3", REG_BINARY, Mp3Record(), true},
        {"largest record", REG_BINARY, AdpcmRecord(WORD(maxFormatSize_)), true},
        {"extra byte beyond cbSize", REG_BINARY, longerThanItsCount, true},
        {"17 bytes", REG_BINARY, tooShort, false},
        {"one byte too long", REG_BINARY, AdpcmRecord(WORD(maxFormatSize_ + 1)), false},
        {"REG_DWORD", REG_DWORD, dword, false},
        {"PCM record as text", REG_SZ, PcmRecord(22050, 1), false},
        {"cbSize beyond the stored bytes", REG_BINARY, claimsMore, false},
        {"cbSize 65535", REG_BINARY,
         altered(AdpcmRecord(2), [](WAVEFORMATEX& f) { f.cbSize = 0xFFFF; }), false},
        {"block align 0", REG_BINARY,
         altered(AdpcmRecord(2), [](WAVEFORMATEX& f) { f.nBlockAlign = 0; }), false},
        {"no channels", REG_BINARY,
         altered(AdpcmRecord(2), [](WAVEFORMATEX& f) { f.nChannels = 0; }), false},
        {"rate 0", REG_BINARY,
         altered(AdpcmRecord(2), [](WAVEFORMATEX& f) { f.nSamplesPerSec = 0; }), false},
        {"unknown tag", REG_BINARY,
         altered(AdpcmRecord(2), [](WAVEFORMATEX& f) { f.wFormatTag = WAVE_FORMAT_UNKNOWN; }),
         false},
        {"PCM byte rate 0", REG_BINARY,
         altered(pcmDefault, [](WAVEFORMATEX& f) { f.nAvgBytesPerSec = 0; }), false},
        {"PCM 12 bits", REG_BINARY,
         altered(pcmDefault, [](WAVEFORMATEX& f) { f.wBitsPerSample = 12; }), false},
    };
    ASSERT_LT(maxFormatSize_ + kFormatHeaderBytes, 0x10000u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        SettingsKeyGuard clean;
        StoreRaw(kValueOutputFormat, c.type, c.stored.data(), DWORD(c.stored.size()));
        StoreText(kValueOutputName, "Stored name");
        const Settings settings = Load();
        EXPECT_EQ(settings.storedFormatUnusable, !c.taken);
        if (c.taken) {
            EXPECT_EQ(Bytes(settings.outputFormat, c.stored.size()), c.stored);
            EXPECT_EQ(settings.outputName, "Stored name");
        } else {
            EXPECT_EQ(Bytes(settings.outputFormat, kFormatHeaderBytes), pcmDefault);
            EXPECT_EQ(settings.outputName, "");
        }
        // Nothing of an earlier record lingers behind the stored bytes.
        for (size_t i = c.taken ? c.stored.size() : kFormatHeaderBytes;
             i < settings.outputFormat.Size(); ++i) {
            ASSERT_EQ(settings.outputFormat.Bytes()[i], 0) << "byte " << i;
        }
        // PCM is recorded instead, but the user's choice and its name survive the next save.
        SaveSettings(settings, system_);
        DWORD type = 0;
        std::vector<BYTE> data;
        ASSERT_TRUE(ReadRaw(kValueOutputFormat, type, data));
        if (!c.taken) { EXPECT_EQ(data, c.stored); }
        ASSERT_TRUE(ReadRaw(kValueOutputName, type, data));
        EXPECT_STREQ(reinterpret_cast<const char*>(data.data()), "Stored name");
    }
}

// Out of range counts as the nearest end, as the slider shows it; any non-zero flag is on.
TEST_F(SettingsStoreTest, NumbersAndFlagsAreLoadedInsideTheirRanges) {
    struct Case { const char* name; DWORD stored; int64_t loaded; } cases[] = {
        {kValueDiscard, 1, 3},     {kValueDiscard, 0xFFFFFFFB, 3},  {kValueDiscard, 500, 140},
        {kValueSilence, 67, 66},   {kValueDuration, 0x80000000, 7}, {kValueDuration, 141, 140},
        {kValueMode78, 7, 1},      {kValueLiveMode, 0x100, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " stored " << c.stored);
        SettingsKeyGuard clean;
        StoreDword(c.name, c.stored);
        const Settings s = Load();
        const std::map<std::string, int64_t> loaded = {{kValueDiscard, s.Discard},
            {kValueSilence, s.Silence}, {kValueDuration, s.Duration}, {kValueMode78, s.mode78},
            {kValueLiveMode, s.liveMode}};
        EXPECT_EQ(loaded.at(c.name), c.loaded);
    }
}

uint32_t EnvNumber(const char* name, uint32_t fallback) {
    const char* text = std::getenv(name);
    return text && *text ? uint32_t(std::strtoul(text, nullptr, 0)) : fallback;
}

// Random registry states: each value absent, or of its own or any type, of any length (far
// beyond every buffer too), random or nearly valid. GROOVAL_SETTINGS_FUZZ_RUNS and _SEED repeat
// a run (scripts/settings-fuzz.sh).
TEST_F(SettingsStoreTest, RandomRegistryStatesLoadInsideTheDocumentedRanges) {
    const uint32_t runs = EnvNumber("GROOVAL_SETTINGS_FUZZ_RUNS", 1000);
    const uint32_t seed = EnvNumber("GROOVAL_SETTINGS_FUZZ_SEED", 16);
    const std::string folder = bench::WindowsPath(bench::ScratchDir("settings_fuzz"));
    const char* const names[] = {kValueDirectory, kValueSource, kValueOutputFormat,
        kValueOutputName, kValuePrefix, kValueDiscard, kValueSilence, kValueDuration,
        kValueLanguage, kValueMode78, kValueLiveMode, kValueNoDirectSound};
    const DWORD formatBytes = maxFormatSize_ + kFormatHeaderBytes;
    const DWORD lengths[] = {0, 4, 17, 18, 30, 260, 261, formatBytes, formatBytes + 1, 70000};
    const DWORD edges[] = {0, 1, 6, 7, 66, 67, 140, 141, 0x80000000, 0xFFFFFFFF};
    const WORD tags[] = {0, WAVE_FORMAT_PCM, 0x0002, 0x0011, kFormatTagMp3, 0xFFFF};
    std::mt19937 random(seed);
    auto pick = [&](const auto& table) { return table[random() % std::size(table)]; };
    for (uint32_t run = 0; run < runs; ++run) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << " run " << run);
        SettingsKeyGuard clean;
        std::map<std::string, std::vector<BYTE>> binary;  // the REG_BINARY values stored
        for (const char* name : names) {
            if (random() % 4 == 0) continue;
            const bool isFormat = std::strcmp(name, kValueOutputFormat) == 0;
            const DWORD own = isFormat ? REG_BINARY : random() % 2 ? REG_SZ : REG_DWORD;
            const DWORD type = random() % 2 ? own : DWORD(random() % 12);
            std::vector<BYTE> bytes(random() % 2 ? pick(lengths) : random() % 300);
            for (BYTE& b : bytes) b = BYTE(random());
            const int kind = isFormat && random() % 2 ? 2 : int(random() % 3);
            if (kind == 0 && bytes.size() >= 4) std::memcpy(bytes.data(), &edges[random() % 10], 4);
            if (kind == 1 && !bytes.empty()) bytes[random() % bytes.size()] = 0;
            if (kind == 1 && !std::strcmp(name, kValueDirectory)) {
                bytes.assign(folder.c_str(), folder.c_str() + folder.size() + 1);
            }
            if (kind == 2) bytes.resize(kFormatHeaderBytes + random() % (maxFormatSize_ + 1));
            if (kind == 2) {
                auto* f = reinterpret_cast<WAVEFORMATEX*>(bytes.data());
                f->wFormatTag = pick(tags);
                f->nChannels = WORD(random() % 3);
                f->nSamplesPerSec = random() % 2 ? 44100u : DWORD(random() % 50000);
                f->wBitsPerSample = WORD(random() % 3 * 8);
                f->nBlockAlign = WORD(f->nChannels * f->wBitsPerSample / 8);
                f->nAvgBytesPerSec = f->nSamplesPerSec * f->nBlockAlign;
                f->cbSize = WORD(random() % 4 ? bytes.size() - kFormatHeaderBytes : random());
            }
            StoreRaw(name, type, bytes.data(), DWORD(bytes.size()));
            if (type == REG_BINARY) binary[name] = bytes;
        }
        Settings settings = Fresh();
        LoadSettings(settings, language_, separators_, system_);

        EXPECT_TRUE(settings.folder == kDefaultFolderText ||
                    (GetFileAttributesA(settings.folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY));
        for (const std::string* text : {&settings.sourceName, &settings.outputName,
                                        &settings.prefix}) {
            EXPECT_LT(text->size(), kSettingTextBytes);
        }
        EXPECT_TRUE(settings.Discard >= kDiscardSliderMin && settings.Discard <= kLengthSliderMax);
        EXPECT_TRUE(settings.Silence >= kLevelSliderMin && settings.Silence <= kLevelSliderMax);
        EXPECT_TRUE(settings.Duration >= kGapSliderMin && settings.Duration <= kLengthSliderMax);
        EXPECT_TRUE(settings.mode78 <= 1 && settings.liveMode <= 1 && settings.useDirectSound <= 1);
        // A stored record is taken whole and usable, or not at all, and then neither its name.
        ASSERT_EQ(settings.outputFormat.Size(), formatBytes);
        const WAVEFORMATEX* f = settings.outputFormat.Get();
        const auto taken = binary.find(kValueOutputFormat);
        if (Bytes(settings.outputFormat, kFormatHeaderBytes) == PcmRecord(44100, 2)) continue;
        ASSERT_NE(taken, binary.end());
        EXPECT_FALSE(settings.storedFormatUnusable);
        EXPECT_LE(FormatSize(f), taken->second.size());
        EXPECT_TRUE(f->wFormatTag && f->nChannels && f->nSamplesPerSec && f->nBlockAlign &&
                    f->nAvgBytesPerSec);
        if (f->wFormatTag != WAVE_FORMAT_PCM) {
            EXPECT_EQ(Bytes(settings.outputFormat, taken->second.size()), taken->second);
        }
    }
}

TEST_F(SettingsStoreTest, PcmCountsEighteenBytesWhateverItsCbSize) {
    StoreRaw(kValueOutputFormat, REG_BINARY, PcmRecord(48000, 2, 0xFFFF).data(),
             kFormatHeaderBytes);
    Settings settings = Load();
    EXPECT_EQ(Bytes(settings.outputFormat, kFormatHeaderBytes), PcmRecord(48000, 2, 0));

    // A record given a stray cbSize in memory is still saved as its 18 bytes.
    settings.outputFormat.Get()->cbSize = 7;
    SaveSettings(settings, system_);
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadRaw(kValueOutputFormat, type, data));
    EXPECT_EQ(type, DWORD(REG_BINARY));
    EXPECT_EQ(data, PcmRecord(48000, 2, 7));
}

TEST_F(SettingsStoreTest, ARecordClaimingMoreThanItsBufferIsNotSaved) {
    Settings settings = Fresh();
    const std::vector<BYTE> adpcm = AdpcmRecord(2);
    std::memcpy(settings.outputFormat.Bytes(), adpcm.data(), adpcm.size());
    settings.outputFormat.Get()->cbSize = WORD(settings.outputFormat.Size());
    SaveSettings(settings, system_);
    DWORD type = 0;
    std::vector<BYTE> data;
    EXPECT_FALSE(ReadRaw(kValueOutputFormat, type, data));
    EXPECT_TRUE(ReadRaw(kValueOutputName, type, data));
}

TEST_F(SettingsStoreTest, TextsThatDoNotFitOrDoNotExistKeepTheirDefaults) {
    const std::string scratch = bench::ScratchDir("settings_folder");
    ASSERT_FALSE(scratch.empty());
    const std::string existing = bench::WindowsPath(scratch);
    const std::string file = existing + "\\a file";
    std::ofstream(scratch + "/a file") << "not a folder";

    struct Case {
        const char* label;
        const char* name;
        std::string stored;
        std::string folder, sourceName, prefix;
    };
    const Case cases[] = {
        {"existing folder", kValueDirectory, existing, existing, "", "tmp"},
        {"missing folder", kValueDirectory, existing + "\\gone", kDefaultFolderText, "",
         "tmp"},
        {"a file, not a folder", kValueDirectory, file, kDefaultFolderText, "", "tmp"},
        {"empty folder", kValueDirectory, "", kDefaultFolderText, "", "tmp"},
        {"source", kValueSource, "Card", kDefaultFolderText, "Card", "tmp"},
        {"300-character source", kValueSource, std::string(300, 's'),
         kDefaultFolderText, "", "tmp"},
        {"300-character prefix", kValuePrefix, std::string(300, 'p'), kDefaultFolderText,
         "", "tmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        SettingsKeyGuard clean;
        StoreText(c.name, c.stored);
        const Settings settings = Load();
        EXPECT_EQ(settings.folder, c.folder);
        EXPECT_EQ(settings.sourceName, c.sourceName);
        EXPECT_EQ(settings.prefix, c.prefix);
    }
}

TEST_F(SettingsStoreTest, AMissingFolderIsOverwrittenByTheNextSave) {
    StoreText(kValueDirectory, "C:\\no such folder\\at all");
    Settings settings = Load();
    SaveSettings(settings, system_);
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadRaw(kValueDirectory, type, data));
    EXPECT_STREQ(reinterpret_cast<const char*>(data.data()), kDefaultFolderText);
}

TEST_F(SettingsStoreTest, StoredLanguageCountsByItsLow16BitsAndPicksTheSeparators) {
    struct Case {
        bool stored;
        DWORD value;
        uint16_t before;
        uint16_t language;
        const char* decimal;
    };
    const Case cases[] = {
        {false, 0, kPortuguese, kPortuguese, ","},
        {false, 0, kEnglish, kEnglish, "."},
        {true, 0x00010407, kEnglish, 0x0407, ","},  // German separators, unsupported language
        {true, kDutch, kEnglish, kDutch, ","},
        {true, kEnglish, kGerman, kEnglish, "."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "stored " << c.value << " before "
                                        << c.before);
        SettingsKeyGuard clean;
        if (c.stored) StoreDword(kValueLanguage, c.value);
        Settings settings = Fresh();
        language_ = c.before;
        LoadSettings(settings, language_, separators_, system_);
        EXPECT_EQ(language_, c.language);
        EXPECT_STREQ(separators_.decimal, c.decimal);
        EXPECT_STREQ(separators_.time, ":");
    }
}

TEST_F(SettingsStoreTest, SaveThenLoadGivesBackEveryValue) {
    const std::string scratch = bench::WindowsPath(bench::ScratchDir("settings_round_trip"));
    Settings saved = Fresh();
    saved.folder = scratch;
    saved.sourceName = "Monitor of Null Output";
    const std::vector<BYTE> mp3 = Mp3Record();
    std::memcpy(saved.outputFormat.Bytes(), mp3.data(), mp3.size());
    saved.outputName = "MPEG Layer-3, 128 kBit/s";
    saved.prefix = "side A ";
    saved.Discard = 3;
    saved.Silence = 66;
    saved.Duration = 140;
    saved.mode78 = 1;
    saved.liveMode = 1;
    saved.useDirectSound = 0;  // not saved here: the Options step stores it at once
    SaveSettings(saved, system_);

    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadRaw(kValueOutputFormat, type, data));
    EXPECT_EQ(data.size(), size_t(kMp3FormatBytes));
    for (const char* name : {kValueDiscard, kValueSilence, kValueDuration, kValueMode78,
                             kValueLiveMode}) {
        ASSERT_TRUE(ReadRaw(name, type, data)) << name;
        EXPECT_EQ(type, DWORD(REG_DWORD)) << name;
    }
    for (const char* name : {kValueSource, kValueDirectory, kValuePrefix, kValueOutputName}) {
        ASSERT_TRUE(ReadRaw(name, type, data)) << name;
        EXPECT_EQ(type, DWORD(REG_SZ)) << name;
    }
    EXPECT_FALSE(ReadRaw(kValueNoDirectSound, type, data));
    EXPECT_FALSE(ReadRaw(kValueLanguage, type, data));

    const Settings loaded = Load();
    EXPECT_EQ(loaded.folder, saved.folder);
    EXPECT_EQ(loaded.sourceName, saved.sourceName);
    EXPECT_EQ(Bytes(loaded.outputFormat, loaded.outputFormat.Size()),
              Bytes(saved.outputFormat, saved.outputFormat.Size()));
    EXPECT_EQ(loaded.outputName, saved.outputName);
    EXPECT_EQ(loaded.prefix, saved.prefix);
    EXPECT_EQ(loaded.Discard, saved.Discard);
    EXPECT_EQ(loaded.Silence, saved.Silence);
    EXPECT_EQ(loaded.Duration, saved.Duration);
    EXPECT_EQ(loaded.mode78, saved.mode78);
    EXPECT_EQ(loaded.liveMode, saved.liveMode);
}

}  // namespace
