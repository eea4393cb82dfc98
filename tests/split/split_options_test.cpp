// grooval-split's command line, its use of the recorder's stored settings, the cue sheet's
// times and the progress line.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "split/cue_sheet.h"
#include "split/formats.h"
#include "split/options.h"
#include "base/paths.h"
#include "split/preview_svg.h"
#include "split/progress.h"
#include "split/split_run.h"
#include "engine/stream_format.h"
#include "tests/split/split_test_util.h"
#include "tests/settings/settings_key_guard.h"

namespace {

SplitCommand Parse(std::vector<const char*> arguments, SplitOptions& options,
                   std::string& message) {
    arguments.insert(arguments.begin(), "grooval-split");
    return ParseSplitOptions(int(arguments.size()), arguments.data(), options, message);
}

TEST(SplitOptionsTest, AcceptedCommandLines) {
    SplitOptions options;
    std::string message;
    ASSERT_EQ(Parse({"-s", "0", "--gap=140", "--min", "3", "-l", "-o", "C:\\Rec", "--prefix=", "-f",
                     "IMA ADPCM", "--cue", "-q", "--stats", "side.wav"},
                    options, message),
              SplitCommand::Run)
        << message;
    EXPECT_EQ(options.input, "side.wav");
    EXPECT_EQ(options.silence, 0);
    EXPECT_EQ(options.gap, 140);
    EXPECT_EQ(options.minimum, 3);
    EXPECT_EQ(options.live, true);
    EXPECT_EQ(options.folder, std::string("C:\\Rec"));
    EXPECT_EQ(options.prefix, std::string());  // an empty prefix is allowed, as in the recorder
    EXPECT_EQ(options.format, std::string("IMA ADPCM"));
    EXPECT_TRUE(options.cue && options.quiet && options.stats);
    EXPECT_FALSE(options.useStored);
    EXPECT_FALSE(options.declick.has_value());
    ASSERT_EQ(Parse({"--declick", "a.wav"}, options, message), SplitCommand::Run);
    EXPECT_EQ(options.declick, kDeclickDefaultLevel);
    ASSERT_EQ(Parse({"--declick=10", "a.wav"}, options, message), SplitCommand::Run);
    EXPECT_EQ(options.declick, 10);
    EXPECT_EQ(ResolveSplitSettings(options, nullptr, "C:\\").declick, 10);
    EXPECT_EQ(ResolveSplitSettings(options, nullptr, "C:\\").bits, 0) << "the input's own";
    ASSERT_EQ(Parse({"--bits", "24", "a.wav"}, options, message), SplitCommand::Run);
    EXPECT_EQ(ResolveSplitSettings(options, nullptr, "C:\\").bits, 24);

    ASSERT_EQ(Parse({"-n", "12", "--titles=a b.txt", "--artist", "", "--album", "X", "--year",
                     "1958-04-01", "--preview", "s.svg", "--dry-run", "-p", "A ", "side.wav"},
                    options, message),
              SplitCommand::Run)
        << message;
    SplitSettings collector = ResolveSplitSettings(options, nullptr, "C:\\");
    EXPECT_EQ(collector.tracks, 12);
    EXPECT_EQ(collector.titlesFile, "a b.txt");
    EXPECT_EQ(collector.artist, "");
    EXPECT_EQ(collector.album, "X");
    EXPECT_EQ(collector.year, "1958-04-01");
    EXPECT_EQ(collector.preview, "s.svg");
    EXPECT_TRUE(collector.dryRun);
    EXPECT_EQ(collector.prefix, "A ");  // asked for, so it goes before the titled names
    ASSERT_EQ(Parse({"--titles", "t.txt", "side.wav"}, options, message), SplitCommand::Run);
    EXPECT_EQ(ResolveSplitSettings(options, nullptr, "C:\\").prefix, "");
    EXPECT_EQ(ResolveSplitSettings(options, nullptr, "C:\\").tracks, 0);

    ASSERT_EQ(Parse({"--settings", "--no-live", "--", "-side.wav"}, options, message),
              SplitCommand::Run);
    EXPECT_EQ(options.input, "-side.wav");
    EXPECT_EQ(options.live, false);
    EXPECT_TRUE(options.useStored);
    EXPECT_FALSE(options.silence.has_value());

    // FLAC and MP3 by name and level, any case; the codec manager's names pass through.
    const struct {
        const char* name;
        EncoderKind kind;
        int level;  // FLAC level, MP3 bitrate
        int quality;
    } formats[] = {
        {"flac", EncoderKind::Flac, 5, 2},   {"FLAC:0", EncoderKind::Flac, 0, 2},
        {"flac:8", EncoderKind::Flac, 8, 2}, {"mp3", EncoderKind::Mp3, 0, 2},
        {"mp3:32", EncoderKind::Mp3, 32, 2}, {"MP3:320", EncoderKind::Mp3, 320, 2},
        {"mp3:V0", EncoderKind::Mp3, 0, 0},  {"mp3:v9", EncoderKind::Mp3, 0, 9},
        {"pcm", EncoderKind::None, 5, 2},    {"flacx", EncoderKind::None, 5, 2},
    };
    for (const auto& format : formats) {
        ASSERT_EQ(Parse({"-f", format.name, "a.wav"}, options, message), SplitCommand::Run)
            << format.name << ": " << message;
        const EncoderFormat encoder = ResolveSplitSettings(options, nullptr, "C:\\").encoder;
        EXPECT_EQ(encoder.kind, format.kind) << format.name;
        EXPECT_EQ(format.kind == EncoderKind::Mp3 ? encoder.mp3.bitrate : encoder.flacLevel,
                  format.level)
            << format.name;
        EXPECT_EQ(encoder.mp3.vbrQuality, format.quality) << format.name;
    }

    EXPECT_EQ(Parse({"side.wav", "--help"}, options, message), SplitCommand::Help);
    EXPECT_EQ(Parse({"--list-formats"}, options, message), SplitCommand::ListFormats);
}

TEST(SplitOptionsTest, RefusedCommandLinesSayWhy) {
    const struct {
        std::vector<const char*> arguments;
        const char* message;
    } cases[] = {
        {{}, "no input file"},
        {{"a.wav", "b.wav"}, "one input file only"},
        {{"--silence", "67", "a.wav"}, "--silence takes a level from 0 to 66"},
        {{"-s", "-1", "a.wav"}, "--silence takes a level"},
        {{"-s", "-60dB", "a.wav"},
         "--silence takes a level from 0 to 66, a level in dBFS from -59dB to -22dB, or auto"},
        {{"-s", "-21dB", "a.wav"}, "--silence takes a level from 0 to 66, a level in dBFS"},
        {{"-s", "48dB", "a.wav"}, "--silence takes"},
        {{"-s", "-48", "a.wav"}, "--silence takes"},
        {{"-s", "-48 dB", "a.wav"}, "--silence takes"},
        {{"-s", "-48.125dB", "a.wav"}, "--silence takes"},
        {{"-s", "-dB", "a.wav"}, "--silence takes"},
        {{"-s", "-48dBs", "a.wav"}, "--silence takes"},
        {{"--silence=Auto", "a.wav"}, "--silence takes"},
        {{"--gap=6", "a.wav"}, "--gap takes a count of blocks from 7 to 140"},
        {{"--gap=141", "a.wav"}, "--gap takes"},
        {{"--min", "2", "a.wav"}, "--min takes a count of blocks from 3 to 140"},
        {{"--min", "14s", "a.wav"}, "--min takes"},
        {{"--min", "99999999999", "a.wav"}, "--min takes"},
        {{"a.wav", "--gap"}, "--gap needs a value"},
        {{"--live=1", "a.wav"}, "--live takes no value"},
        {{"--prefix", "side:a", "a.wav"}, "--prefix cannot hold any of"},
        {{"--prefix=a/b", "a.wav"}, "--prefix cannot hold"},
        {{"-o", "", "a.wav"}, "--folder takes a folder"},
        {{"--format=", "a.wav"}, "--format takes"},
        {{"--frobnicate", "a.wav"}, "unknown option --frobnicate"},
        {{"-x", "a.wav"}, "unknown option -x"},
        {{"-sq", "a.wav"}, "unknown option -sq"},
        {{"--declick=0", "a.wav"}, "--declick takes a level from 1 to 10 (--declick=LEVEL)"},
        {{"--declick=11", "a.wav"}, "--declick takes a level"},
        {{"--declick=", "a.wav"}, "--declick takes a level"},
        {{"--declick=5x", "a.wav"}, "--declick takes a level"},
        {{"--declick", "5", "a.wav"}, "one input file only"},  // a level only after "="
        {{"--declick", "3", "a.wav"}, "(\"3\" and \"a.wav\"); an option's value goes after "
                                      "\"=\": --declick=3"},
        {{"a.wav", "--declick", "3"}, "--declick=3"},
        {{"--tracks", "0", "a.wav"}, "--tracks takes a count of tracks from 1 to 999"},
        {{"-n", "1000", "a.wav"}, "--tracks takes"},
        {{"--titles=", "a.wav"}, "--titles takes a file"},
        {{"--preview", "", "a.wav"}, "--preview takes a file"},
        {{"--year", "58", "a.wav"}, "--year takes a year, YYYY or YYYY-MM-DD"},
        {{"--year", "1958-4-1", "a.wav"}, "--year takes"},
        {{"--dry-run=1", "a.wav"}, "--dry-run takes no value"},
        {{"--bits", "20", "a.wav"}, "--bits takes 16 or 24"},
        {{"--bits=8", "a.wav"}, "--bits takes 16 or 24"},
        {{"-f", "flac:9", "a.wav"}, "--format: flac takes a compression level from 0 to 8"},
        {{"-f", "flac:", "a.wav"}, "flac takes a compression level"},
        {{"-f", "flac:-1", "a.wav"}, "flac takes a compression level"},
        {{"-f", "mp3:100", "a.wav"}, "--format: mp3 takes a bitrate of 32, 40, 48, 56, 64, 80, "
                                     "96, 112, 128, 160, 192, 224, 256 or 320 (mp3:KBPS) or a "
                                     "quality v0 to v9 (mp3:vQUALITY), not \"100\""},
        {{"-f", "mp3:v10", "a.wav"}, "mp3:vQUALITY takes a quality from 0 (best) to 9"},
        {{"-f", "mp3:v", "a.wav"}, "mp3 takes a bitrate"},
        {{"-f", "mp3:128k", "a.wav"}, "mp3 takes a bitrate"},
    };
    for (const auto& test : cases) {
        SplitOptions options;
        std::string message;
        EXPECT_EQ(Parse(test.arguments, options, message), SplitCommand::Usage) << test.message;
        EXPECT_NE(message.find(test.message), std::string::npos) << message;
    }
}

// Levels in dB: the engine's steps in dBFS, the step a level in dB is taken at, and the level
// chosen above a noise floor: 3 to 6 dB above it, never above level 4.
TEST(SplitOptionsTest, SilenceLevelsReadInDecibels) {
    const struct {
        const char* given;
        int32_t level;  // -1: refused
    } given[] = {
        {"auto", kAutoSilence}, {"4", 4},          {"-48dB", 2},    {"-47.9dB", 2},
        {"-47.8dB", 3},         {"-44.7dBFS", 4},  {"-44.7DB", 4},  {"-59dB", 0},
        {"-22dB", 66},          {"-52.6db", 1},
    };
    for (const auto& test : given) {
        SplitOptions options;
        std::string message;
        ASSERT_EQ(Parse({"-s", test.given, "a.wav"}, options, message), SplitCommand::Run)
            << test.given << ": " << message;
        EXPECT_EQ(options.silence, test.level) << test.given;
        const SplitSettings settings = ResolveSplitSettings(options, nullptr, "C:\\");
        EXPECT_EQ(settings.autoSilence, test.level == kAutoSilence) << test.given;
        EXPECT_EQ(settings.silenceDbfs.has_value(), test.given[0] == '-') << test.given;
    }
    SplitOptions options;
    std::string message;
    ASSERT_EQ(Parse({"-s", "-48dB", "-s", "4", "a.wav"}, options, message), SplitCommand::Run);
    EXPECT_FALSE(options.silenceDbfs.has_value()) << "the last level given stands";

    const struct {
        int32_t level;
        double dbfs;
    } steps[] = {{0, -58.6}, {1, -52.6}, {2, -49.1}, {3, -46.6}, {4, -44.7}, {66, -22.1}};
    for (const auto& step : steps) {
        EXPECT_NEAR(SilenceLevelDbfs(step.level), step.dbfs, 0.05) << step.level;
        EXPECT_EQ(NearestSilenceLevel(step.dbfs), step.level) << step.dbfs;
    }
    const struct {
        double floor;
        double belowMusic;
        int32_t level;
    } chosen[] = {
        {-150, 90, 0},  // gaps of digital silence
        {-62, 34, 0},   {-60, 34, 1},  // level 0 would lie less than 3 dB above
        {-57, 34, 1},   {-54, 34, 2},  {-52, 34, 3},  {-50, 34, 4},
        {-48, 34, 4},   // capped: level 4 still lies 3 dB above the noise
        {-40, 9.9, 4},  // capped: not clearly below the music
        {-40, 10, 16},  {-35, 15, 29},  // a 78, rumble: 3 to 6 dB above, -34.0 and -29.1 dBFS
        {-20, 40, 66},  // the highest level
    };
    for (const auto& test : chosen) {
        EXPECT_EQ(AutoSilenceLevel(test.floor, test.belowMusic), test.level) << test.floor;
    }
    EXPECT_EQ(CuttingLevelOption(-40), "-s -34.0dB");
    EXPECT_EQ(CuttingLevelOption(-48), "-s -43.1dB");
}

// Paths walked by characters: in Shift-JIS (932) 0x83 0x5C is one character whose second byte
// looks like "\"; in 1252 the same bytes are two characters, the second a "\".
TEST(SplitPathsTest, PathsAreWalkedByCharactersAndRootsStayRoots) {
    constexpr UINT kSjis = 932, kWestern = 1252, kAcp = CP_ACP;
    const struct {
        const char* folder;
        UINT codePage;
        const char* normalized;
    } folders[] = {
        {"C:\\Rec\\/", kAcp, "C:\\Rec"}, {"C:\\", kAcp, "C:\\"}, {"C:", kAcp, "C:\\"},
        {"d:/", kAcp, "d:\\"}, {"\\", kAcp, "\\"}, {"", kAcp, "\\"},
        {"\\\\srv\\share\\", kAcp, "\\\\srv\\share"},
        {"D:\\\x83\x5C", kSjis, "D:\\\x83\x5C"}, {"D:\\\x83\x5C\\", kSjis, "D:\\\x83\x5C"},
        {"D:\\\x83\x5C", kWestern, "D:\\\x83"},
    };
    for (const auto& test : folders) {
        EXPECT_EQ(NormalizeFolder(test.folder, test.codePage), test.normalized) << test.folder;
    }
    EXPECT_EQ(InFolder("C:\\", "a.wav"), "C:\\a.wav");
    EXPECT_EQ(InFolder("D:\\\x83\x5C", "a", kSjis), "D:\\\x83\x5C\\a");
    EXPECT_EQ(BaseName("C:\\a/b.wav"), "b.wav");
    // The cue sheet names its side relative to itself when they share a drive or a share.
    const struct {
        const char* path;
        const char* folder;
        const char* relative;
    } relatives[] = {
        {"C:\\Rec\\side.wav", "C:\\Rec", "side.wav"},
        {"C:\\Rec\\side.wav", "c:\\rec\\Tracks", "..\\side.wav"},
        {"C:\\In\\A\\side.wav", "C:\\Rec\\B", "..\\..\\In\\A\\side.wav"},
        {"C:\\side.wav", "C:\\", "side.wav"},
        {"C:\\Rec\\side.wav", "C:\\Rec\\side.wav", "..\\side.wav"},
        {"D:\\side.wav", "C:\\Rec", "D:\\side.wav"},
        {"\\\\srv\\music\\a\\side.wav", "\\\\srv\\music\\b", "..\\a\\side.wav"},
        {"\\\\srv\\music\\side.wav", "\\\\srv\\other", "\\\\srv\\music\\side.wav"},
        {"\\\\srv\\music\\side.wav", "C:\\Rec", "\\\\srv\\music\\side.wav"},
    };
    for (const auto& test : relatives) {
        EXPECT_EQ(RelativePath(test.path, test.folder), test.relative) << test.folder;
    }
    EXPECT_EQ(BaseName("C:\\\x83\x5C.wav", kSjis), "\x83\x5C.wav");
    EXPECT_EQ(FolderOf("C:\\\x83\x5C.wav", kSjis), "C:");
    const struct {
        const char* prefix;
        UINT codePage;
        bool refused;
    } prefixes[] = {{"side a", kAcp, false},    {"side:a", kAcp, true},
                    {"..\\x", kAcp, true},       {"\x83\x5C", kSjis, false},
                    {"\x83\x5C\\", kSjis, true}, {"\x83\x5C", kWestern, true}};
    for (const auto& test : prefixes) {
        EXPECT_EQ(HoldsRefusedPrefixCharacter(test.prefix, test.codePage), test.refused)
            << test.prefix;
    }
}

TEST(SplitOptionsTest, CommandLineOverStoredSettingsOverDefaults) {
    SplitOptions none;
    const SplitSettings defaults = ResolveSplitSettings(none, nullptr, "C:\\Music");
    EXPECT_EQ(defaults.silence, 4);
    EXPECT_TRUE(defaults.autoSilence);
    EXPECT_EQ(defaults.gap, 14);
    EXPECT_EQ(defaults.minimum, 14);
    EXPECT_FALSE(defaults.live);
    EXPECT_EQ(defaults.folder, "C:\\Music");
    EXPECT_EQ(defaults.prefix, "tmp");
    EXPECT_EQ(defaults.formatName, "pcm");
    EXPECT_EQ(defaults.declick, 0);  // no click repair unless asked for

    Settings stored(ReadMaxFormatSize(), "C:\\Music");
    stored.Silence = 90;    // past the slider: shown and used as 66
    stored.Duration = 500;  // as 140
    stored.Discard = 1;     // as 3
    stored.liveMode = 1;
    stored.folder = "D:\\Sides";
    stored.prefix = "side";
    const SplitSettings fromStore = ResolveSplitSettings(none, &stored, "C:\\Music");
    EXPECT_EQ(fromStore.silence, 66);
    EXPECT_FALSE(fromStore.autoSilence);  // the stored level, bit for bit
    EXPECT_EQ(fromStore.gap, 140);
    EXPECT_EQ(fromStore.minimum, 3);
    EXPECT_TRUE(fromStore.live);
    EXPECT_EQ(fromStore.folder, "D:\\Sides");
    EXPECT_EQ(fromStore.prefix, "side");
    // A stored PCM record keeps the input's own frames; a codec's is written.
    EXPECT_EQ(fromStore.formatName, "pcm");
    EXPECT_EQ(fromStore.storedFormat.Get(), nullptr);
    stored.outputFormat.Get()->wFormatTag = WAVE_FORMAT_IMA_ADPCM;
    const SplitSettings codec = ResolveSplitSettings(none, &stored, "C:\\Music");
    EXPECT_TRUE(codec.formatName.empty());
    ASSERT_NE(codec.storedFormat.Get(), nullptr);
    EXPECT_EQ(codec.storedFormat.Get()->wFormatTag, WAVE_FORMAT_IMA_ADPCM);

    SplitOptions given;
    given.gap = 20;
    given.live = false;
    given.format = "pcm";
    const SplitSettings mixed = ResolveSplitSettings(given, &stored, "C:\\Music");
    EXPECT_EQ(mixed.gap, 20);
    EXPECT_FALSE(mixed.live);
    EXPECT_EQ(mixed.formatName, "pcm");
    EXPECT_EQ(mixed.silence, 66);
    EXPECT_FALSE(mixed.autoSilence);
    EXPECT_EQ(mixed.prefix, "side");
    given.silence = kAutoSilence;
    const SplitSettings automatic = ResolveSplitSettings(given, &stored, "C:\\Music");
    EXPECT_TRUE(automatic.autoSilence);
    EXPECT_EQ(automatic.silence, 66);  // where the side has no floor
}

TEST(SplitOptionsTest, HelpListsEveryOption) {
    const std::string help = SplitHelpText();
    for (const char* option :
         {"--silence", "--gap", "--min", "--live", "--no-live", "--folder", "--prefix", "--format",
          "--list-formats", "--settings", "--cue", "--quiet", "--stats", "--help", "(default auto;",
          " 4 -44.7 ", " 66 -22.1", "3 to 6 dB above the side's noise floor", "-48dB",
          "(default 14, 2.00 s)", "--declick[=LEVEL]", "1 to 10", "(default 5,",
          "--tracks N", "--titles FILE", "--artist TEXT", "--album TEXT", "--year YEAR",
          "--preview FILE", "--dry-run", "--tracks 6\n", "5 fewer tracks",
          "7 input failed part-way", "--bits N", "12800 at 96000 Hz",
          "\"flac[:LEVEL]\" (lossless, level 0 to 8,", "default 5)", "\"mp3[:KBPS|vQUALITY]\"",
          "bitrate of 32 to 320 kbit/s", "default v2", "whole frames after the\ndata the header counts", "or none at all"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << line;  // fits a console
    }
    const splittest::ToolRun run = splittest::RunTool("--help");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, help);

    const splittest::ToolRun wrong = splittest::RunTool("--gap 3 side.wav");
    EXPECT_EQ(wrong.exitCode, DWORD(kSplitUsage));
    EXPECT_EQ(wrong.err, "grooval-split: --gap takes a count of blocks from 7 to 140\n");
    const splittest::ToolRun level = splittest::RunTool("--declick=high side.wav");
    EXPECT_EQ(level.exitCode, DWORD(kSplitUsage));
    EXPECT_EQ(level.err,
              "grooval-split: --declick takes a level from 1 to 10 (--declick=LEVEL)\n");
    const splittest::ToolRun flac = splittest::RunTool("-f flac:9 side.wav");
    EXPECT_EQ(flac.exitCode, DWORD(kSplitUsage));
    EXPECT_EQ(flac.err, "grooval-split: --format: flac takes a compression level from 0 to 8 "
                        "(flac:LEVEL), not \"9\"\n");
}

TEST(SplitOptionsTest, CodecFormatsAreFoundByName) {
    FormatBuffer source(kFormatHeaderBytes);
    MakePcmFormat(source.Get(), kCaptureRate);
    const uint32_t maxFormatSize = ReadMaxFormatSize();
    const std::vector<CodecFormatTag> tags = ListCodecFormats(source.Get(), maxFormatSize);
    const CodecFormatTag* ima = nullptr;
    for (const CodecFormatTag& tag : tags) {
        EXPECT_NE(tag.tag, kFormatTagPcm);
        EXPECT_NE(tag.tag, kFormatTagMp3) << "Wine has no MPEG Layer-3 encoder";
        if (tag.tag == WAVE_FORMAT_IMA_ADPCM) ima = &tag;
    }
    ASSERT_NE(ima, nullptr);
    for (const char* name : {"IMA ADPCM", "ima-adpcm", "imaadpcm", "0x0011", "0x11", "17"}) {
        EXPECT_TRUE(NamesFormatTag(name, *ima)) << name;
    }
    for (const char* name : {"ima", "adpcm", "0x12", "", "0x"}) {
        EXPECT_FALSE(NamesFormatTag(name, *ima)) << name;
    }

    FormatBuffer chosen;
    ASSERT_TRUE(ChooseOutputFormat("ima adpcm", source.Get(), maxFormatSize, chosen).Ok());
    EXPECT_EQ(chosen.Get()->wFormatTag, WAVE_FORMAT_IMA_ADPCM);
    EXPECT_EQ(chosen.Get()->nChannels, 2);
    EXPECT_EQ(chosen.Get()->nSamplesPerSec, 44100u);
    FormatBuffer at48k(kFormatHeaderBytes);
    MakePcmFormat(at48k.Get(), 48000);
    ASSERT_TRUE(ChooseOutputFormat("PCM", at48k.Get(), maxFormatSize, chosen).Ok());
    EXPECT_EQ(chosen.Get()->nSamplesPerSec, 48000u);  // PCM keeps the input's rate
    const SplitStatus refused = ChooseOutputFormat("MPEG Layer-3", source.Get(), maxFormatSize, chosen);
    EXPECT_EQ(refused.Code(), kSplitUsage);
    EXPECT_NE(refused.Text().find("MPEG Layer-3"), std::string::npos);

    const splittest::ToolRun run = splittest::RunTool("--list-formats");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_NE(run.out.find("0x0011    IMA ADPCM"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("pcm       WAV in the input's own format,"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("flac      FLAC through libFLAC"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("mp3       MP3 through LAME"), std::string::npos) << run.out;
}

// The stages on the worker share one FirstFailure: what failed first is the run's failure.
TEST(SplitStatusTest, TheFirstFailureIsKept) {
    FirstFailure failure;
    EXPECT_FALSE(failure.Failed());
    failure.Note(SplitStatus::OutputFailed("01 A.wav", "disk full"));
    failure.Note(SplitStatus::OutputFailed("01 A.wav", "the tags cannot be appended"));
    EXPECT_TRUE(failure.Failed());
    EXPECT_EQ(failure.First().Text(), "01 A.wav: disk full");
}

TEST(SplitOptionsTest, CueTimesCountSeventyFifthsOfASecond) {
    const struct {
        uint64_t frames;
        uint32_t rate;
        const char* time;
    } cases[] = {
        {0, 44100, "00:00:00"},
        {587, 44100, "00:00:00"},  // rounded down
        {588, 44100, "00:00:01"},
        {44100 * 59 + 588 * 74, 44100, "00:59:74"},
        {44100 * 60, 44100, "01:00:00"},
        {uint64_t(44100) * (100 * 60 + 5) + 588 * 3, 44100, "100:05:03"},
        {640, 48000, "00:00:01"},
        {0xFFFFFFFFull / 4, 8000, "2236:57:54"},  // the longest 8 kHz data chunk
    };
    for (const auto& test : cases) {
        EXPECT_EQ(CueTime(test.frames, test.rate), test.time) << test.frames << " at " << test.rate;
    }
    // The preview's times round to tenths before the minutes are split off.
    const struct {
        uint64_t frames;
        uint32_t rate;
        const char* time;
    } previewTimes[] = {
        {0, 44100, "0:00.0"},
        {2643795, 44100, "1:00.0"},  // 59.95 s
        {5290677, 44100, "2:00.0"},  // 119.97 s
        {5286267, 44100, "1:59.9"},  // 119.87 s
        {96000 * 61 + 4799, 96000, "1:01.0"},
    };
    for (const auto& test : previewTimes) {
        EXPECT_EQ(PreviewTime(test.frames, test.rate), test.time) << test.frames;
    }
    // A cue sheet numbers its tracks in two digits: the 100th is left out.
    const std::vector<CueTrack> many(kCueMaxTracks + 1, CueTrack{"t.wav", 1, 0, 44100});
    const std::string longSheet = CueSheetText("in.wav", many, 44100);
    EXPECT_NE(longSheet.find("TRACK 99 AUDIO"), std::string::npos);
    EXPECT_EQ(longSheet.find("TRACK 100"), std::string::npos);
    EXPECT_EQ(CueSheetName("side a ", 3, 12), "side a 0003-0012.cue");
    EXPECT_EQ(CueSheetName("", 9999, 10001), "9999-10001.cue");
    const std::string text = CueSheetText(
        "C:\\in \"x\".wav", {{"a0001.wav", 1, 0, 44100}, {"a0003.wav", 3, 44100, 88200}}, 44100);
    EXPECT_EQ(text,
              "REM COMMENT \"grooval-split\"\r\n"
              "FILE \"C:\\in 'x'.wav\" WAVE\r\n"
              "  TRACK 01 AUDIO\r\n"
              "    REM TRACKFILE \"a0001.wav\"\r\n"
              "    INDEX 01 00:00:00\r\n"
              "    REM END 00:01:00\r\n"
              "  TRACK 02 AUDIO\r\n"
              "    REM TRACKFILE \"a0003.wav\"\r\n"
              "    INDEX 01 00:01:00\r\n"
              "    REM END 00:02:00\r\n");
    CueTrack titled{"01 Caf\xC3\xA9.wav", 1, 0, 44100};  // the sleeve's texts, UTF-8 inside
    titled.title = "Say \"Hi\"";
    titled.performer = "Guest";
    EXPECT_EQ(CueSheetText("in.wav", {titled}, 44100, {"LP", "Band", "1958"}),
              "REM COMMENT \"grooval-split\"\r\n"
              "REM DATE 1958\r\n"
              "PERFORMER \"Band\"\r\n"
              "TITLE \"LP\"\r\n"
              "FILE \"in.wav\" WAVE\r\n"
              "  TRACK 01 AUDIO\r\n"
              "    TITLE \"Say 'Hi'\"\r\n"
              "    PERFORMER \"Guest\"\r\n"
              "    REM TRACKFILE \"01 Caf\xC3\xA9.wav\"\r\n"
              "    INDEX 01 00:00:00\r\n"
              "    REM END 00:01:00\r\n");
    CueTrack repaired{"a0001.wav", 1, 0, 44100};
    repaired.clicks = 12;  // with --declick: the clicks repaired in the track
    EXPECT_EQ(CueSheetText("in.wav", {repaired}, 44100),
              "REM COMMENT \"grooval-split\"\r\n"
              "FILE \"in.wav\" WAVE\r\n"
              "  TRACK 01 AUDIO\r\n"
              "    REM TRACKFILE \"a0001.wav\"\r\n"
              "    INDEX 01 00:00:00\r\n"
              "    REM END 00:01:00\r\n"
              "    REM CLICKS 12\r\n");
}

TEST(SplitOptionsTest, AnExistingCueSheetIsNotOverwritten) {
    const std::string folder = splittest::Scratch("split_cue_exists");
    const std::string path = folder + "\\x.cue";
    ASSERT_TRUE(WriteCueSheet(path, "first").Ok());
    const SplitStatus refused = WriteCueSheet(path, "second");
    EXPECT_EQ(refused.Text(), path + ": the cue sheet exists already; not overwritten");
    const std::vector<uint8_t> kept = splittest::ReadBytes(path);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "first");
}

TEST(SplitOptionsTest, TheProgressLineShowsShareAndSpeed) {
    EXPECT_EQ(ProgressLine(0.0, 0.0), "[..............................]   0%");
    EXPECT_EQ(ProgressLine(0.5, 57.4), "[###############...............]  50%  57x real time");
    EXPECT_EQ(ProgressLine(1.7, 1000.0), "[##############################] 100%  1000x real time");
    EXPECT_EQ(ProgressLine(-1.0, -3.0), "[..............................]   0%");
    // A file is not a terminal: no bar goes into it.
    const std::string path = splittest::Scratch("split_progress") + "\\err.txt";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(IsInteractive(file));
    CloseHandle(file);
}

// --settings: every value comes from the recorder's key, clamped as its sliders clamp them.
TEST(SplitOptionsTest, TheToolTakesTheRecordersStoredSettings) {
    settings_test::SettingsKeyGuard guard;
    const std::string folder = splittest::Scratch("split_stored_tracks");
    const std::string input = splittest::Scratch("split_stored_input") + "\\side.wav";
    splittest::Side side;  // blocks 0-1 silence, 2-11 song, 12-171 silence, 172-181 song, 182-184
    side.Silence(2).Song(10).Silence(160).Song(10).Silence(3);
    ASSERT_TRUE(
        splittest::WritePcmWav(input, kCaptureRate, 2, 16, splittest::SampleBytes(side.Samples())));
    settings_test::StoreDword("Silence", 4);
    settings_test::StoreDword("Duration", 500);  // used as 140: the long silence splits
    settings_test::StoreDword("Discard", 1);
    settings_test::StoreDword("LiveMode", 1);  // all 141 silent blocks stay in the first track
    settings_test::StoreText("directory", folder);
    settings_test::StoreText("prefix", "side b ");

    const splittest::ToolRun run = splittest::RunTool("--settings " + splittest::Quote(input));
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out,
              "01  00:00:10  00:20:30  00:20:20  side b 0001.wav\n"  // blocks 1 to 153
              "02  00:22:60  00:24:50  00:01:65  side b 0002.wav\n"  // blocks 171 to 185
              "2 tracks in " + folder + "\n");
    EXPECT_TRUE(run.err.empty()) << "no progress bar into a file: " << run.err;
    EXPECT_EQ(splittest::TrackData(folder + "\\side b 0001.wav").size(), 152u * kCaptureBlockBytes);
    EXPECT_EQ(splittest::TrackData(folder + "\\side b 0002.wav").size(), 14u * kCaptureBlockBytes);

    // Options given as well override the stored values.
    const splittest::ToolRun mixed =
        splittest::RunTool("--settings --no-live -p other " + splittest::Quote(input));
    ASSERT_EQ(mixed.exitCode, 0u) << mixed.err;
    EXPECT_EQ(splittest::TrackData(folder + "\\other0001.wav").size(), 13u * kCaptureBlockBytes);

    // A stored prefix that was pasted in unfiltered is refused like a typed one: this one would
    // put the tracks beside the folder.
    const std::string escaped = folder + "\\..\\escaped 0001.wav";
    DeleteFileA(escaped.c_str());
    settings_test::StoreText("prefix", "..\\escaped ");
    const splittest::ToolRun escaping = splittest::RunTool("--settings " + splittest::Quote(input));
    EXPECT_EQ(escaping.exitCode, DWORD(kSplitUsage));
    EXPECT_EQ(escaping.err, "grooval-split: the prefix \"..\\escaped \" holds one of \\/:*?\"<>|; "
                            "give another with --prefix\n");
    EXPECT_EQ(GetFileAttributesA(escaped.c_str()), INVALID_FILE_ATTRIBUTES);
}

// The tool runs with the recorder's UTF-8 code page: paths on its command line and stored
// texts outside the system's code page (Greek, a note) reach the files intact. This test keeps
// the system's code page, so it hands them over in UTF-16.
TEST(SplitOptionsTest, NamesOutsideTheSystemsCodePageSurvive) {
    settings_test::SettingsKeyGuard guard;
    const std::string name =
        "\xCE\x94\xCE\xAF\xCF\x83\xCE\xBA\xCE\xBF\xCF\x82 \xE2\x99\xAB";
    const std::string folder = splittest::Scratch("split_unicode") + "\\" + name;
    CreateDirectoryW(splittest::Wide(folder).c_str(), nullptr);
    for (const std::string& file : splittest::FilesIn(folder)) {
        DeleteFileW(splittest::Wide(folder + "\\" + file).c_str());
    }
    const std::string ascii = splittest::Scratch("split_unicode") + "\\side.wav";
    splittest::Side side;
    side.Silence(2).Song(20).Silence(20);
    ASSERT_TRUE(
        splittest::WritePcmWav(ascii, kCaptureRate, 2, 16, splittest::SampleBytes(side.Samples())));
    const std::string input = folder + "\\" + name + ".wav";
    ASSERT_TRUE(MoveFileW(splittest::Wide(ascii).c_str(), splittest::Wide(input).c_str()));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto& value : {std::make_pair(L"directory", folder),
                              std::make_pair(L"prefix", name + " ")}) {
        const std::wstring text = splittest::Wide(value.second);
        EXPECT_EQ(RegSetValueExW(key, value.first, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(text.c_str()),
                                 DWORD((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    RegCloseKey(key);
    const splittest::ToolRun run =
        splittest::RunTool("--settings --cue " + splittest::Quote(input));
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(splittest::FilesIn(folder), (std::vector<std::string>{name + " 0001-0001.cue",
                                                                   name + " 0001.wav",
                                                                   name + ".wav"}));
    EXPECT_NE(run.out.find("00:03:05  " + name + " 0001.wav\n"), std::string::npos) << run.out;
}

// Without -o the tracks go beside the input, and every run says where they went; a dry run
// lists the same lines and needs no folder.
TEST(SplitOptionsTest, TheToolWritesBesideTheInputAndSaysWhere) {
    const std::string folder = splittest::Scratch("split_beside");
    const std::string input = folder + "\\side.wav";
    splittest::Side side;
    side.Silence(2).Song(20).Silence(20);
    ASSERT_TRUE(
        splittest::WritePcmWav(input, kCaptureRate, 2, 16, splittest::SampleBytes(side.Samples())));
    const std::string line = "01  00:00:10  00:03:15  00:03:05  tmp0001.wav\n";  // blocks 1-23
    // A fixed level: a side of digital silence has no noise floor to measure, and says so.
    const splittest::ToolRun run = splittest::RunTool("-s 4 --cue " + splittest::Quote(input));
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, line + "1 track in " + folder + "\ncue sheet " + folder +
                           "\\tmp0001-0001.cue\n");
    EXPECT_EQ(splittest::FilesIn(folder),
              (std::vector<std::string>{"side.wav", "tmp0001-0001.cue", "tmp0001.wav"}));

    const std::string missing = folder + "\\not yet";
    const splittest::ToolRun dry =
        splittest::RunTool("-s 4 --dry-run -o " + splittest::Quote(missing) + " " +
                           splittest::Quote(input));
    EXPECT_EQ(dry.exitCode, 0u) << dry.err;
    EXPECT_EQ(dry.out, "silence level 4 (-44.7 dBFS)\n" + line + "1 track for " + missing + " (dry run: no file written)\n");
    EXPECT_EQ(dry.err, "grooval-split: warning: " + missing +
                           ": the output folder does not exist; a run that writes the tracks "
                           "creates it\n");
    EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A drive root stays a root: the checks and the tracks use the same folder, whatever folder
// is current on that drive (here one that does not exist).
TEST(SplitOptionsTest, ADriveRootStaysTheRoot) {
    const std::string input = splittest::Scratch("split_root") + "\\side.wav";
    splittest::Side side;
    side.Silence(2).Song(20).Silence(20);
    ASSERT_TRUE(
        splittest::WritePcmWav(input, kCaptureRate, 2, 16, splittest::SampleBytes(side.Samples())));
    ASSERT_TRUE(SetEnvironmentVariableA("=C:", "C:\\no such folder"));
    const std::string prefix = "grooval-split root test ";
    for (const char* folder : {"C:\\", "C:"}) {
        // Not quoted: a quote after a backslash would be taken as part of the argument.
        const splittest::ToolRun run = splittest::RunTool(
            std::string("-q -o ") + folder + " --cue -p " + splittest::Quote(prefix) + " " +
            splittest::Quote(input));
        EXPECT_EQ(run.exitCode, 0u) << folder << ": " << run.err;
        for (const char* made : {"0001.wav", "0001-0001.cue"}) {
            const std::string path = "C:\\" + prefix + made;
            EXPECT_TRUE(DeleteFileA(path.c_str())) << folder << ": " << path;
        }
    }
    SetEnvironmentVariableA("=C:", nullptr);
}

}  // namespace
