// Silence levels in dBFS, and the automatic level.
#include "split/silence_level.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/stream_format.h"
#include "engine/track_rules.h"

namespace {

constexpr double kFullScale = 32768.0;

// The RMS of a full block whose engine level is 1.
double RmsPerLevel() {
    return std::sqrt(double(kCaptureBlockFrames)) / 2.0;
}

std::string Decibels(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool SameLetters(const std::string& text, const char* lower) {
    size_t i = 0;
    for (; lower[i] != '\0'; ++i) {
        if (i >= text.size() || (text[i] | 0x20) != lower[i]) return false;
    }
    return i == text.size();
}

}  // namespace

double SilenceLevelDbfs(int32_t level) {
    return 20.0 * std::log10((level + 1) * RmsPerLevel() / kFullScale);
}

double EngineLevelOfDbfs(double dbfs) {
    return std::pow(10.0, dbfs / 20.0) * kFullScale / RmsPerLevel();
}

int32_t NearestSilenceLevel(double dbfs) {
    // Level N's boundary is at N + 1 engine units: the nearer of the two around, in dB.
    const double units = EngineLevelOfDbfs(dbfs);
    double below = std::floor(units);
    if (below >= 1.0 && units * units >= below * (below + 1.0)) below += 1.0;
    const double level = below - 1.0;
    if (level < kLevelSliderMin) return kLevelSliderMin;
    if (level > kLevelSliderMax) return kLevelSliderMax;
    return int32_t(level);
}

bool ParseDecibels(const std::string& text, double& dbfs) {
    size_t at = text.size() > 0 && text[0] == '-' ? 1 : 0;
    const size_t digits = at;
    while (at < text.size() && IsDigit(text[at])) ++at;
    if (at == digits || at - digits > 3) return false;
    if (at < text.size() && text[at] == '.') {
        const size_t fraction = ++at;
        while (at < text.size() && IsDigit(text[at])) ++at;
        if (at == fraction || at - fraction > 2) return false;
    }
    const std::string unit = text.substr(at);
    if (!SameLetters(unit, "db") && !SameLetters(unit, "dbfs")) return false;
    dbfs = std::atof(text.substr(0, at).c_str());
    return true;
}

namespace {

int32_t LevelAboveFloor(double floorDbfs) {
    int32_t level = kLevelSliderMin;
    while (level < kLevelSliderMax && SilenceLevelDbfs(level + 1) <= floorDbfs + kAutoMarginDb) {
        ++level;
    }
    while (level < kLevelSliderMax && SilenceLevelDbfs(level) < floorDbfs + kAutoMinMarginDb) {
        ++level;
    }
    return level;
}

}  // namespace

int32_t AutoSilenceLevel(double floorDbfs, double belowMusicDb) {
    const int32_t above = LevelAboveFloor(floorDbfs);
    int32_t level = above;
    while (level > kLevelSliderMin && SilenceLevelDbfs(level) > kAutoCapDbfs) --level;
    // The cap gives way only where it would leave the gaps' noise sounding.
    const bool noiseSounds = SilenceLevelDbfs(level) < floorDbfs + kAutoMinMarginDb;
    return noiseSounds && belowMusicDb >= kAutoClearMarginDb ? above : level;
}

std::string CuttingLevelOption(double floorDbfs) {
    return "-s " + Decibels(SilenceLevelDbfs(LevelAboveFloor(floorDbfs))) + "dB";
}

std::string NoiseFloorText(const NoiseFloor& floor) {
    if (floor.db < kDigitalSilenceDb) return "digital silence";
    return Decibels(floor.db) + " dBFS (level " + Decibels(EngineLevelOfDbfs(floor.db)) + ")";
}

std::string SilenceLevelName(int32_t level) {
    return "silence level " + std::to_string(level) + " (" + Decibels(SilenceLevelDbfs(level)) +
           " dBFS)";
}

std::string SilenceLevelText(const SilenceLevel& silence) {
    const double dbfs = SilenceLevelDbfs(silence.level);
    std::string text = SilenceLevelName(silence.level);
    switch (silence.from) {
        case SilenceFrom::Floor:
            if (silence.floor.db < kDigitalSilenceDb) {
                return text + ", the lowest: the gaps are digital silence";
            }
            return text + ", " + Decibels(dbfs - silence.floor.db) +
                   " dB above the noise floor, " + NoiseFloorText(silence.floor);
        case SilenceFrom::NoFloor:
            return text + ", the fixed default: no noise floor found between sounds";
        case SilenceFrom::Decibels:
            text += ", the step nearest " + Decibels(silence.givenDbfs) + " dBFS";
            break;
        case SilenceFrom::Given:
            break;
    }
    if (!silence.measured) return text;
    if (!silence.floor.found) return text + "; no noise floor found between sounds";
    return text + "; noise floor " + NoiseFloorText(silence.floor);
}
