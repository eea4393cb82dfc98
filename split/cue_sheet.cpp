// The cue sheet of grooval-split: times, text and the file.
#include "split/cue_sheet.h"

#include <cstdio>

#include "split/tool_file.h"
#include "split/utf8_text.h"

namespace {

constexpr uint32_t kSecondsPerMinute = 60;

// Cue sheets quote names in double quotes and have no escape for one inside a name.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? '\'' : c;
    return quoted + "\"";
}

// A sleeve text as the sheet holds it; nothing when empty.
std::string SleeveLine(const char* indent, const char* command, const std::string& utf8) {
    if (utf8.empty()) return std::string();
    return indent + std::string(command) + " " + Quoted(AnsiFromUtf8(utf8)) + "\r\n";
}

}  // namespace

std::string CueTime(uint64_t frames, uint32_t rate) {
    if (rate == 0) rate = 1;
    // frames * 75 stays far below 2^64 for any 32-bit data chunk.
    const uint64_t cueFrames = frames * kCueFramesPerSecond / rate;
    const uint64_t seconds = cueFrames / kCueFramesPerSecond;
    char text[40];
    std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu",
                  (unsigned long long)(seconds / kSecondsPerMinute),
                  (unsigned long long)(seconds % kSecondsPerMinute),
                  (unsigned long long)(cueFrames % kCueFramesPerSecond));
    return text;
}

std::string CueSheetText(const std::string& inputName, const std::vector<CueTrack>& tracks,
                         uint32_t rate, const CueAlbum& album) {
    std::string text = "REM COMMENT \"grooval-split\"\r\n";
    if (!album.year.empty()) text += "REM DATE " + album.year + "\r\n";
    text += SleeveLine("", "PERFORMER", album.performer);
    text += SleeveLine("", "TITLE", album.title);
    text += "FILE " + Quoted(inputName) + " WAVE\r\n";
    int index = 0;
    for (const CueTrack& track : tracks) {
        if (size_t(index) == kCueMaxTracks) break;
        char number[16];
        std::snprintf(number, sizeof number, "%02d", ++index);
        text += std::string("  TRACK ") + number + " AUDIO\r\n";
        text += SleeveLine("    ", "TITLE", track.title);
        text += SleeveLine("    ", "PERFORMER", track.performer);
        text += "    REM TRACKFILE " + Quoted(track.file) + "\r\n";
        text += "    INDEX 01 " + CueTime(track.startFrame, rate) + "\r\n";
        text += "    REM END " + CueTime(track.endFrame, rate) + "\r\n";
        if (track.clicks >= 0) text += "    REM CLICKS " + std::to_string(track.clicks) + "\r\n";
    }
    return text;
}

size_t CountTracks(const std::vector<CueTrack>& files) {
    size_t tracks = 0;
    for (const CueTrack& file : files) tracks += file.part == 1 ? 1 : 0;
    return tracks;
}

std::string CueSheetName(const std::string& prefix, int32_t firstNumber, int32_t lastNumber) {
    char numbers[32];
    std::snprintf(numbers, sizeof numbers, "%04d-%04d.", int(firstNumber), int(lastNumber));
    return prefix + numbers + kCueExtension;
}

SplitStatus WriteCueSheet(const std::string& path, const std::string& text) {
    return WriteToolFile(path, "the cue sheet", FileUse::CreateNew, text);
}
