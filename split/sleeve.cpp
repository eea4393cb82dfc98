// Sleeve: the titles file and the texts of the tags.
#include "split/sleeve.h"

#include <windows.h>

#include "base/unique_handle.h"
#include "base/windows_error.h"
#include "split/tool_file.h"
#include "split/utf8_text.h"

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool IsControl(const std::string& text, size_t at, size_t& length) {
    const uint8_t c = uint8_t(text[at]);
    length = 1;
    if (c < 0x20 || c == 0x7F) return true;
    // C1 controls, U+0080 to U+009F: C2 80 to C2 9F.
    if (c == 0xC2 && at + 1 < text.size() && uint8_t(text[at + 1]) >= 0x80 &&
        uint8_t(text[at + 1]) <= 0x9F) {
        length = 2;
        return true;
    }
    return false;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string Sleeve::TitleOf(int32_t number) const {
    if (number < 1 || size_t(number) > titles.size()) return std::string();
    return titles[size_t(number) - 1].title;
}

std::string Sleeve::ArtistOf(int32_t number) const {
    if (number >= 1 && size_t(number) <= titles.size() &&
        !titles[size_t(number) - 1].artist.empty()) {
        return titles[size_t(number) - 1].artist;
    }
    return artist;
}

std::string TagText(const std::string& text) {
    std::string clean;
    for (size_t at = 0; at < text.size();) {
        size_t length = 1;
        if (IsControl(text, at, length)) {
            clean += ' ';
        } else {
            clean += text[at];
        }
        at += length;
    }
    return Trimmed(clean);
}

std::vector<TrackTitle> ParseTitles(const std::string& bytes, std::vector<std::string>& warnings) {
    std::vector<TrackTitle> titles;
    size_t at = bytes.compare(0, 3, kByteOrderMark) == 0 ? 3 : 0;
    for (int line = 1; at < bytes.size(); ++line) {
        size_t end = bytes.find('\n', at);
        if (end == std::string::npos) end = bytes.size();
        std::string raw = bytes.substr(at, end - at);
        at = end + 1;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        bool valid = true;
        const std::string text = TagText(ValidUtf8(raw, valid));
        if (!valid) {
            warnings.push_back("titles line " + std::to_string(line) +
                               " is not UTF-8; its bad bytes are replaced");
        }
        if (text.empty()) continue;
        TrackTitle title;
        const size_t separator = text.find(kArtistSeparator);
        const std::string artist =
            separator == std::string::npos ? std::string() : Trimmed(text.substr(0, separator));
        const std::string name = separator == std::string::npos
                                     ? std::string()
                                     : Trimmed(text.substr(separator + 3));
        if (!artist.empty() && !name.empty()) {
            title.artist = artist;
            title.title = name;
        } else {
            title.title = text;
        }
        titles.push_back(title);
    }
    return titles;
}

SplitStatus ReadTitles(const std::string& path, std::vector<TrackTitle>& titles,
                       std::vector<std::string>& warnings) {
    SplitStatus failure;
    FileHandle file = OpenToolFile(path, "the titles file", FileUse::Read, failure);
    if (!file) return failure;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) {
        return SplitStatus::InputRejected(
            path, "the titles file cannot be read (" + WindowsErrorText(GetLastError()) + ")");
    }
    if (size.QuadPart > LONGLONG(kTitlesFileMaxBytes)) {
        return SplitStatus::InputRejected(path, "the titles file is larger than " +
                                                    std::to_string(kTitlesFileMaxBytes / 1024) +
                                                    " KB");
    }
    std::string bytes(size_t(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.Get(), &bytes[0], DWORD(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        return SplitStatus::InputRejected(path, "the titles file cannot be read");
    }
    titles = ParseTitles(bytes, warnings);
    return SplitStatus();
}

SplitStatus LoadSleeve(const std::string& titlesFile, const std::string& artist,
                       const std::string& album, const std::string& year, Sleeve& sleeve,
                       std::vector<std::string>& warnings) {
    sleeve = Sleeve();
    sleeve.titled = !titlesFile.empty();
    if (sleeve.titled) {
        const SplitStatus read = ReadTitles(titlesFile, sleeve.titles, warnings);
        if (!read.Ok()) return read;
    }
    sleeve.artist = TagText(Utf8FromAnsi(artist));
    sleeve.album = TagText(Utf8FromAnsi(album));
    sleeve.year = year;
    return SplitStatus();
}

void TitleTracks(const Sleeve& sleeve, std::vector<CueTrack>& tracks,
                 std::vector<std::string>& warnings) {
    for (CueTrack& track : tracks) {
        track.title = sleeve.TitleOf(track.number);
        track.performer = sleeve.ArtistOf(track.number);
    }
    const size_t count = CountTracks(tracks);
    if (!sleeve.titled || sleeve.titles.size() == count) return;
    const std::string counts = std::to_string(sleeve.titles.size()) + " titles for " +
                               std::to_string(count) + " tracks: ";
    warnings.push_back(sleeve.titles.size() > count
                           ? counts + "titles past track " + std::to_string(count) +
                                 " are not used"
                           : counts + "tracks past " + std::to_string(sleeve.titles.size()) +
                                 " are named by their number only");
}
