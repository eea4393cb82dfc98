// grooval-split's sleeve: the titles file, safe file names from hostile titles, the INFO chunk
// and the choice of cuts for a track count.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "split/info_chunk.h"
#include "split/safe_names.h"
#include "split/sleeve.h"
#include "split/track_plan.h"
#include "tests/split/split_test_util.h"

namespace {

TEST(SplitSleeveTest, TitlesFileLines) {
    const struct {
        const char* bytes;
        std::vector<std::pair<std::string, std::string>> titles;  // artist, title
        size_t warnings;
    } cases[] = {
        {"\xEF\xBB\xBFOne\r\nTwo\n\n  \nThree", {{"", "One"}, {"", "Two"}, {"", "Three"}}, 0},
        {"Guest - Song\nNo-Dash - \n - Lead\nA - B - C",
         {{"Guest", "Song"}, {"", "No-Dash -"}, {"", "- Lead"}, {"A", "B - C"}}, 0},
        {"Caf\xC3\xA9\tNoir\x1B[31m\nbad \xFF\xC0\xAF end\n\xED\xA0\x80",
         {{"", "Caf\xC3\xA9 Noir [31m"}, {"", "bad \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD end"},
          {"", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}},
         2},
        {"\xC2\x85\x01\n", {}, 0},  // only control characters: a blank line
    };
    for (const auto& test : cases) {
        std::vector<std::string> warnings;
        const std::vector<TrackTitle> titles = ParseTitles(test.bytes, warnings);
        ASSERT_EQ(titles.size(), test.titles.size()) << test.bytes;
        for (size_t i = 0; i < titles.size(); ++i) {
            EXPECT_EQ(titles[i].artist, test.titles[i].first) << test.bytes;
            EXPECT_EQ(titles[i].title, test.titles[i].second) << test.bytes;
        }
        EXPECT_EQ(warnings.size(), test.warnings) << test.bytes;
    }
    std::vector<std::string> warnings;
    ParseTitles("ok\n\xFF\n", warnings);
    EXPECT_EQ(warnings,
              std::vector<std::string>{"titles line 2 is not UTF-8; its bad bytes are replaced"});
}

TEST(SplitSleeveTest, HostileTitlesMakeSafeNamesInsideTheFolder) {
    const struct {
        std::string title;
        std::string name;
    } cases[] = {
        {"..\\x", ".._x"},
        {"../../etc/passwd", ".._.._etc_passwd"},
        {"C:\\Windows", "C__Windows"},
        {"a<b>c:d\"e|f?g*h", "a_b_c_d_e_f_g_h"},
        {"tab\there\x7F", "tab_here_"},
        {"trailing dots...  ", "trailing dots"},
        {"..", "_"},
        {"   ", "_"},
        {"CON", "CON_"},
        {"nul.txt", "nul_.txt"},
        {"CON.txt", "CON_.txt"},  // "CON.txt_" would still be the console
        {"nul .x", "nul_ .x"},
        {"COM1.wav", "COM1_.wav"},
        {"com1", "com1_"},
        {"LPT9", "LPT9_"},
        {"LPT9 ", "LPT9_"},
        {"COM10", "COM10"},
        {"CONSOLE", "CONSOLE"},
        {"\xEF\xBC\xBC", "_"},  // a full-width backslash has no place in the code page
    };
    for (const auto& test : cases) {
        EXPECT_EQ(SafeFileName(test.title, 255), test.name) << test.title;
    }
    EXPECT_EQ(SafeFileName("CONSOLE", 3), "CO_");  // shortened into a reserved name
    EXPECT_EQ(SafeFileName("AUX.wav", 7), "AUX_.wa");
    // Shortened a character at a time; the path with a copy number stays under the limit.
    const std::string folder = splittest::Scratch("split_safe_names");
    const std::string stem = TrackStem(folder, "", 7, std::string(300, 'a') + "\xC3\xA9", "wav");
    EXPECT_EQ(stem.substr(0, 5), "07 aa");
    EXPECT_EQ((folder + "\\" + stem + " (99).wav").size(), kTrackPathBytes - 1);
    EXPECT_EQ(TrackStem(folder, "side ", 123, "", "wav"), "side 123");
    EXPECT_EQ(TrackStem(folder, "CON.", 1, "Song", "wav"), "CON_.01 Song");

    // Never over an existing file: the next copy number.
    const std::string path = FreeTrackPath(folder, "01 Song", "wav");
    EXPECT_EQ(path, folder + "\\01 Song.wav");
    ASSERT_TRUE(splittest::WriteBytes(path, {1}));
    EXPECT_EQ(FreeTrackPath(folder, "01 Song", "wav"), folder + "\\01 Song (2).wav");
    EXPECT_EQ(FreeTrackPath(folder, "..\\01 Song", "wav"), "");  // never outside the folder
}

TEST(SplitSleeveTest, InfoChunkLayoutAndAppend) {
    InfoTags tags;
    tags.title = "Odd";  // 3 + 1 bytes: no pad
    tags.album = "Even";  // 4 + 1 bytes: a pad byte
    tags.track = 12;
    const std::vector<uint8_t> chunk = InfoChunk(tags);
    const std::string expected = std::string("LIST\x2A\0\0\0INFO", 12) +
                                 std::string("INAM\x04\0\0\0Odd\0", 12) +
                                 std::string("IPRD\x05\0\0\0Even\0\0", 14) +
                                 std::string("ITRK\x03\0\0\0" "12\0\0", 12);
    EXPECT_EQ(std::string(chunk.begin(), chunk.end()), expected);
    EXPECT_TRUE(InfoChunk(InfoTags()).empty());

    // Appended after everything, the RIFF length patched; a file whose length does not match
    // its size is left as it is.
    const std::string folder = splittest::Scratch("split_info_chunk");
    const std::string path = folder + "\\t.wav";
    ASSERT_TRUE(splittest::WritePcmWav(path, 44100, 2, 16, {1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_TRUE(AppendInfoChunk(path, chunk).Ok());
    const std::vector<uint8_t> bytes = splittest::ReadBytes(path);
    ASSERT_EQ(bytes.size(), 52 + chunk.size());
    EXPECT_EQ(bytes[4] | bytes[5] << 8, int(bytes.size() - 8));
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), bytes.begin() + 52));
    EXPECT_EQ(splittest::TrackData(path), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));

    std::vector<uint8_t> cut = bytes;
    cut.pop_back();
    ASSERT_TRUE(splittest::WriteBytes(path, cut));
    const SplitStatus refused = AppendInfoChunk(path, chunk);
    EXPECT_EQ(refused.Code(), kSplitOutputFailed);
    EXPECT_NE(refused.Text().find(path + ": not a finished WAV file"), std::string::npos)
        << refused.Text();
    EXPECT_EQ(splittest::ReadBytes(path), cut);
}

// '#' sound, '.' silence at level 4; a digit d, noise or music at level 10 d.
std::vector<BlockLevels> Levels(const std::string& pattern) {
    std::vector<BlockLevels> levels;
    for (char c : pattern) {
        BlockLevels block;
        block.right = int16_t(c == '#' ? 5 : c == '.' ? 4 : 10 * (c - '0'));  // either channel
        levels.push_back(block);
    }
    return levels;
}

TEST(SplitSleeveTest, PlannedCutsForATrackCount) {
    const struct {
        const char* side;
        int32_t tracks;
        int32_t trailing;
        std::vector<int32_t> cuts;
        int32_t found;
    } cases[] = {
        {"..##..##..##..", 3, 2, {5, 9}, 3},  // the run's last block is the next pre-roll
        {"..##..##..##..", 2, 2, {5}, 2},     // of two equal runs the earlier wins
        {"#.#...#", 2, 2, {5}, 2},                 // the longer run, not the first
        {"#.#...#", 2, 9, {5}, 2},                 // the run's last block stays the pre-roll
        {"#.#", 2, 2, {1}, 2},                     // a run of one: all of it is pre-roll
        {"##....", 1, 2, {4}, 1},                  // the side's end keeps the trailing blocks
        {"##..", 1, 2, {}, 1},                     // nothing to cut at the end
        {"....", 3, 2, {}, 0},                     // no sound, no track
        {"", 2, 2, {}, 0},
        // Noise above the level: the quietest long runs, the level raised to them.
        {"9999" "1111111" "9999" "2222222" "9999" "33333333" "9999", 3, 2, {6, 17}, 3},
        {"9999" "1111111" "9999" "2222222" "9999" "111", 3, 2, {6, 17, 28}, 3},
        {"9999" "1111111" "9999" "111111" "9999", 3, 2, {}, 1},  // a run shorter than a second
        {"9999" "1111111" "5" "1111111" "9999" "1111111" "9999", 3, 2, {6, 25}, 3},  // a beat
    };
    for (const auto& test : cases) {
        const TrackPlan plan = PlanTrackCuts(Levels(test.side), 4, test.tracks, test.trailing);
        EXPECT_EQ(plan.cuts, test.cuts) << test.side << " for " << test.tracks;
        EXPECT_EQ(plan.tracks, test.found) << test.side << " for " << test.tracks;
    }
    const struct {
        const char* side;
        int32_t threshold;
    } levels[] = {{"9999" "1111111" "9999" "2222222" "9999", 20},
                  {"9999" "1111111" "9999", 4},  // no third track at any level
                  {"9999" "1111111" "5" "1111111" "9999" "1111111" "9999", 50},  // the beat too
                  {"9999" "1111111" "555" "1111111" "9999" "1111111" "9999", 10}};  // no beat
    for (const auto& test : levels) {
        EXPECT_EQ(PlanTrackCuts(Levels(test.side), 4, 3, 2).threshold, test.threshold) << test.side;
    }
}

}  // namespace
