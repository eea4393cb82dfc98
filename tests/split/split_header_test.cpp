// grooval-split's WAV header checks: broken and hostile headers are refused with a message
// naming the problem, none is read past its end, and through the tool each is a one-line
// error, a non-zero exit code and no file in the output folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/windows_error.h"
#include "split/split_run.h"
#include "split/wave_reader.h"
#include "tests/split/split_test_util.h"

namespace {

using splittest::Scratch;
using Bytes = std::vector<uint8_t>;

void Put(Bytes& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

struct Chunk {
    Chunk(std::string chunkId, Bytes chunkBody, std::optional<uint32_t> lyingSize = {})
        : id(std::move(chunkId)), body(std::move(chunkBody)), size(lyingSize) {}
    std::string id;
    Bytes body;
    std::optional<uint32_t> size;  // a lying size in place of the body's
};

Bytes FormatBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t align, uint16_t bits) {
    Bytes body;
    Put(body, tag, 2);
    Put(body, channels, 2);
    Put(body, rate, 4);
    Put(body, rate * align, 4);
    Put(body, align, 2);
    Put(body, bits, 2);
    return body;
}

Bytes Pcm() {
    return FormatBody(1, 2, 44100, 4, 16);
}

Bytes Samples(size_t frames) {
    Bytes data;
    for (size_t i = 0; i < frames * 4; ++i)
        data.push_back(uint8_t(i * 7 + 3));
    return data;
}

// A RIFF file of the chunks, with odd bodies padded; `riffSize` replaces the true size.
Bytes Riff(const std::vector<Chunk>& chunks, std::optional<uint32_t> riffSize = {},
           const char* form = "WAVE") {
    Bytes inner(form, form + 4);
    for (const Chunk& chunk : chunks) {
        inner.insert(inner.end(), chunk.id.begin(), chunk.id.end());
        Put(inner, chunk.size.value_or(uint32_t(chunk.body.size())), 4);
        inner.insert(inner.end(), chunk.body.begin(), chunk.body.end());
        if (chunk.body.size() & 1) inner.push_back(0);
    }
    Bytes file = {'R', 'I', 'F', 'F'};
    Put(file, riffSize.value_or(uint32_t(inner.size())), 4);
    file.insert(file.end(), inner.begin(), inner.end());
    return file;
}

Bytes Cut(Bytes bytes, size_t length) {
    bytes.resize(length);
    return bytes;
}

Bytes Text(const char* text) {
    return Bytes(text, text + std::strlen(text));
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Refused {
    const char* name;
    Bytes file;
    const char* problem;  // a part of the message
};

std::vector<Refused> RefusedHeaders() {
    Bytes fmt24 = Pcm();
    fmt24[14] = 24;  // 24 bits in a block of 4 bytes
    Bytes extraPastEnd = FormatBody(0x11, 2, 44100, 2048, 4);
    Put(extraPastEnd, 32, 2);  // cbSize 32 in a chunk of 18 bytes
    Bytes shortExtensible = FormatBody(0xFFFE, 2, 44100, 4, 16);
    Put(shortExtensible, 4, 2);  // four extra bytes, not the 22 of the extensible fields
    shortExtensible.resize(shortExtensible.size() + 4);
    return {
        {"empty file", {}, "not a RIFF WAVE file"},
        {"text", Text("This is not a sound file at all.\n"), "not a RIFF WAVE file"},
        {"RIFF cut at 6 bytes", Text("RIFF\x10\x00"), "truncated RIFF header"},
        {"RIFF of type AVI ", Riff({{"avih", Bytes(8)}}, {}, "AVI "), "not of type WAVE"},
        {"fmt chunk of 14 bytes", Riff({{"fmt ", Cut(Pcm(), 14)}, {"data", Samples(8)}}),
         "'fmt ' chunk too short (14 bytes)"},
        {"fmt size past the end", Riff({{"fmt ", Pcm(), 0x7FFFFFF0u}}),
         "chunk 'fmt ' size 2147483632 runs past the end of the file"},
        {"huge junk chunk",
         Riff({{"fmt ", Pcm()}, {"junk", Bytes(6), 0xFFFFFFF0u}, {"data", Samples(8)}}),
         "chunk 'junk' size 4294967280 runs past"},
        {"unprintable chunk id", Riff({{std::string("\x01\x02zz", 4), Bytes(2), 999}}),
         "chunk '??zz'"},
        {"zero channels", Riff({{"fmt ", FormatBody(1, 0, 44100, 4, 16)}, {"data", Samples(8)}}),
         "zero channels"},
        {"zero rate", Riff({{"fmt ", FormatBody(1, 2, 0, 4, 16)}, {"data", Samples(8)}}),
         "zero sample rate"},
        {"zero block align",
         Riff({{"fmt ", FormatBody(0x11, 2, 44100, 0, 4)}, {"data", Samples(8)}}),
         "zero block align"},
        {"PCM block align lies",
         Riff({{"fmt ", FormatBody(1, 2, 44100, 2, 16)}, {"data", Samples(8)}}),
         "block align 2 does not fit 2 channels of 16 bits"},
        {"24 bits in 4-byte frames", Riff({{"fmt ", fmt24}, {"data", Samples(8)}}), "block align"},
        {"12 bits per sample",
         Riff({{"fmt ", FormatBody(1, 2, 44100, 4, 12)}, {"data", Samples(8)}}),
         "12 bits per sample"},
        {"extra bytes past the fmt chunk", Riff({{"fmt ", extraPastEnd}, {"data", Samples(8)}}),
         "shorter than its 32 extra bytes"},
        {"extensible without its fields", Riff({{"fmt ", shortExtensible}, {"data", Samples(8)}}),
         "extensible 'fmt ' chunk too short"},
        {"no data chunk", Riff({{"fmt ", Pcm()}, {"LIST", Bytes(4)}}), "no 'data' chunk"},
        {"no fmt chunk", Riff({{"data", Samples(8)}}), "no 'fmt ' chunk"},
        {"only the RIFF header", Riff({}), "no 'fmt ' chunk"},
    };
}

Refused RefusedHeader(const std::string& name) {
    for (const Refused& test : RefusedHeaders()) {
        if (name == test.name) return test;
    }
    ADD_FAILURE() << "no case " << name;
    return {"none", {}, "none"};
}

bool OpenBytes(const std::string& folder, const Bytes& bytes, WaveReader& reader) {
    const std::string path = folder + "\\in.wav";
    EXPECT_TRUE(splittest::WriteBytes(path, bytes));
    return reader.Open(path.c_str());
}

TEST(SplitHeaderTest, BrokenAndHostileHeadersAreRefusedWithTheirProblem) {
    const std::string folder = Scratch("split_header_table");
    for (const Refused& test : RefusedHeaders()) {
        WaveReader reader;
        EXPECT_FALSE(OpenBytes(folder, test.file, reader)) << test.name;
        EXPECT_NE(reader.Problem().find(test.problem), std::string::npos)
            << test.name << ": " << reader.Problem();
        EXPECT_EQ(reader.Problem().find('\n'), std::string::npos) << test.name;
    }
}

TEST(SplitHeaderTest, UnusualButSoundFilesAreRead) {
    const std::string folder = Scratch("split_header_sound");
    const Bytes data = Samples(10);
    Bytes extensible = FormatBody(0xFFFE, 2, 48000, 4, 16);
    Put(extensible, 22, 2);
    Put(extensible, 16, 2);  // valid bits
    Put(extensible, 3, 4);   // channel mask
    Put(extensible, 1, 4);   // KSDATAFORMAT_SUBTYPE_PCM
    extensible.insert(extensible.end(),
                      {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
    Bytes longPcm = Pcm();
    Put(longPcm, 0, 2);  // an 18-byte PCM record, cbSize 0
    const Bytes padded = Riff({{"fmt ", Pcm()}, {"data", Concat(data, Bytes(1))}});
    const Bytes unpadded = Cut(padded, padded.size() - 1);  // the RIFF size still counts it
    struct Case {
        const char* name;
        Bytes file;
        uint32_t rate;
        uint32_t dataBytes;
    } cases[] = {
        {"odd chunk before the data, padded",
         Riff({{"fmt ", Pcm()}, {"LIST", Bytes(5, 'x')}, {"data", data}}), 44100, 40},
        {"data before fmt", Riff({{"data", data}, {"fmt ", Pcm()}}), 44100, 40},
        {"less than a frame after the RIFF chunk",
         Concat(Riff({{"fmt ", Pcm()}, {"data", data}}), Text("end")), 44100, 40},
        {"a chunk after the RIFF chunk",
         Concat(Riff({{"fmt ", Pcm()}, {"data", data}}), Riff({{"fmt ", Pcm()}})), 44100, 40},
        {"an ID3 tag after the RIFF chunk",
         Concat(Riff({{"fmt ", Pcm()}, {"data", data}}), Concat(Text("ID3\x04"), Bytes(12))),
         44100, 40},
        {"18-byte PCM record", Riff({{"fmt ", longPcm}, {"data", data}}), 44100, 40},
        {"extensible PCM", Riff({{"fmt ", extensible}, {"data", data}}), 48000, 40},
        {"a torn last frame is left out",
         Riff({{"fmt ", Pcm()}, {"data", Samples(3), 11}}, 36 + 11), 44100, 8},
        {"empty data chunk", Riff({{"fmt ", Pcm()}, {"data", {}}}), 44100, 0},
        {"odd data without its pad byte", unpadded, 44100, 40},
    };
    for (const Case& test : cases) {
        WaveReader reader;
        ASSERT_TRUE(OpenBytes(folder, test.file, reader)) << test.name << ": " << reader.Problem();
        EXPECT_TRUE(reader.IsCaptureFormat()) << test.name;
        EXPECT_EQ(reader.Format()->nSamplesPerSec, test.rate) << test.name;
        EXPECT_EQ(reader.DataBytes(), test.dataBytes) << test.name;
        Bytes read(64);
        const int32_t count = reader.Read(read.data(), uint32_t(read.size()));
        ASSERT_EQ(count, int32_t(test.dataBytes)) << test.name;
        EXPECT_TRUE(std::equal(read.begin(), read.begin() + count, data.begin())) << test.name;
        EXPECT_EQ(reader.Read(read.data(), uint32_t(read.size())), 0) << test.name;
        const bool unpaddedCase = test.file == unpadded;
        EXPECT_EQ(reader.Warning().find("the pad byte after the odd-length data chunk is missing"),
                  unpaddedCase ? 0u : std::string::npos)
            << test.name << ": " << reader.Warning();
    }
}

// A take a recorder never finished (killed, the power gone, the file cut) is read to the end of
// the file in whole frames, with a warning of what the header claimed and what was found.
TEST(SplitHeaderTest, AnUnfinishedTakeIsReadToTheEndOfTheFile) {
    const std::string folder = Scratch("split_header_unfinished");
    const Bytes unknownFrames(4, 0xFF);
    struct Case {
        const char* name;
        Bytes file;
        uint32_t dataBytes;
        const char* claim;  // part of the warning; empty: no warning
    } cases[] = {
        {"sizes 0, as a killed recorder leaves them",
         Riff({{"fmt ", Pcm()}, {"fact", unknownFrames}, {"data", Samples(8), 0}}, 0), 32,
         "the file was never finished (its data chunk claims 0 bytes)"},
        {"sizes 0xFFFFFFFF, as a streaming writer leaves them",
         Riff({{"fmt ", Pcm()}, {"data", Samples(8), 0xFFFFFFFFu}}, 0xFFFFFFFFu), 32,
         "never finished (its data chunk claims 4294967295 bytes)"},
        {"a data size past the end, a torn last frame",
         Concat(Riff({{"fmt ", Pcm()}, {"data", Samples(8), 1000}}), Bytes(3)), 32,
         "never finished (its data chunk claims 1000 bytes, more than the file holds): read the "
         "32 bytes of samples"},
        {"an empty data chunk in a finished file is no take",
         Riff({{"fmt ", Pcm()}, {"data", {}}, {"LIST", Bytes(8, 'i')}}), 0, ""},
        {"a header written at open, samples after it",
         Riff({{"fmt ", Pcm()}, {"data", Samples(8), 0}}, 36), 32,
         "(its data chunk claims 0 bytes)"},
        {"a header last brought up to date part-way",
         Riff({{"fmt ", Pcm()}, {"data", Samples(8), 12}}, 36 + 12), 32,
         "(its data chunk claims 12 bytes, and whole frames follow them): read the 32 bytes"},
        // A RIFF size that does not fit whole chunks: the chunks are read, with a warning.
        {"RIFF size past the end", Riff({{"fmt ", Pcm()}, {"data", Samples(8)}}, 400), 32,
         "RIFF size 400 runs past the end of the file (76 bytes); its chunks are whole: read the "
         "32 bytes of samples its data chunk names, 0.0 s"},
        {"RIFF size 0xFFFFFFFF", Riff({{"fmt ", Pcm()}, {"data", Samples(8)}}, 0xFFFFFFFFu), 32,
         "RIFF size 4294967295 runs past"},
        {"RIFF size 0 over a finished data chunk", Riff({{"fmt ", Pcm()}, {"data", Samples(8)}}, 0),
         32, "RIFF size 0: the file was never finished; its chunks are whole"},
        {"data size past the RIFF chunk, not the file",
         Concat(Riff({{"fmt ", Pcm()}, {"data", Samples(8), 33}}), Bytes(4)), 32,
         "RIFF size 68 ends inside its chunks; its chunks are whole"},
    };
    for (const Case& test : cases) {
        WaveReader reader;
        ASSERT_TRUE(OpenBytes(folder, test.file, reader)) << test.name << ": " << reader.Problem();
        EXPECT_EQ(reader.DataBytes(), test.dataBytes) << test.name;
        if (test.claim[0] == '\0') {
            EXPECT_EQ(reader.Warning(), "") << test.name;
        } else {
            EXPECT_NE(reader.Warning().find(test.claim), std::string::npos) << reader.Warning();
        }
        Bytes read(64);
        EXPECT_EQ(reader.Read(read.data(), uint32_t(read.size())), int32_t(test.dataBytes));
        EXPECT_TRUE(std::equal(read.begin(), read.begin() + test.dataBytes, Samples(8).begin()));
    }
}

TEST(SplitHeaderTest, TheToolSplitsAnUnfinishedTakeAndSaysHowMuchItFound) {
    const std::string folder = Scratch("split_header_take");
    const std::string output = Scratch("split_header_take_out");
    const std::string input = folder + "\\take.wav";
    splittest::Side side;
    side.Silence(2).Song(20).Silence(20);
    const Bytes samples = splittest::SampleBytes(side.Samples());
    ASSERT_TRUE(splittest::WriteBytes(
        input, Riff({{"fmt ", Pcm()}, {"fact", Bytes(4, 0xFF)}, {"data", samples, 0}}, 0)));
    // At the fixed level: a side of one song has no noise floor to warn about.
    const splittest::ToolRun run = splittest::RunTool("-q -s 4 -o " + splittest::Quote(output) +
                                                      " " + splittest::Quote(input));
    EXPECT_EQ(run.exitCode, DWORD(kSplitDone)) << run.err;
    EXPECT_EQ(run.err, "grooval-split: warning: " + input +
                           ": the file was never finished (its data chunk claims 0 bytes): read "
                           "the 987840 bytes of samples up to its end, 5.6 s\n");
    EXPECT_EQ(splittest::FilesIn(output), std::vector<std::string>{"tmp0001.wav"});
}

// Cut anywhere in its header, a file is refused; cut in its samples, it is an unfinished take.
TEST(SplitHeaderTest, EveryTruncationOfASoundFileIsRefusedOrReadAsFarAsItGoes) {
    const std::string folder = Scratch("split_header_truncated");
    const Bytes whole = Riff({{"fmt ", Pcm()}, {"LIST", Bytes(9, 'i')}, {"data", Samples(16)}});
    const size_t samplesAt = whole.size() - 64;
    {
        WaveReader complete;
        ASSERT_TRUE(OpenBytes(folder, whole, complete)) << complete.Problem();
    }
    for (size_t length = 0; length < whole.size(); ++length) {
        WaveReader reader;
        const bool read = OpenBytes(folder, Cut(whole, length), reader);
        EXPECT_EQ(read, length >= samplesAt) << "cut at " << length;
        if (read) {
            EXPECT_EQ(reader.DataBytes(), (length - samplesAt) / 4 * 4) << length;
        }
    }
}

TEST(SplitHeaderTest, ScrambledHeadersNeverLeadPastTheFile) {
    const std::string folder = Scratch("split_header_scrambled");
    const Bytes whole = Riff({{"fmt ", Pcm()}, {"data", Samples(32)}});
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    int accepted = 0;
    for (int round = 0; round < 300; ++round) {
        Bytes file = whole;
        const int changes = 1 + int(next() % 4);
        for (int i = 0; i < changes; ++i) {
            // Mostly the header; sizes get extreme values as often as random ones.
            const size_t at = next() % 48;
            file[at] = (next() & 1) ? uint8_t(next()) : uint8_t((next() & 1) ? 0xFF : 0x00);
        }
        WaveReader reader;
        if (!OpenBytes(folder, file, reader)) {
            EXPECT_FALSE(reader.Problem().empty());
            continue;
        }
        ++accepted;
        EXPECT_LE(uint64_t(reader.DataBytes()), reader.FileBytes());
        Bytes buffer(4096);
        uint64_t total = 0;
        for (int32_t count; (count = reader.Read(buffer.data(), uint32_t(buffer.size()))) > 0;) {
            total += uint64_t(count);
        }
        EXPECT_EQ(total, reader.DataBytes());
    }
    EXPECT_GT(accepted, 0);  // some scrambles only touch harmless fields
}

// A sparse file of `fileBytes` that starts with `header`: its length costs no disk.
void WriteHugeFile(const std::string& path, const Bytes& header, uint64_t fileBytes) {
    ASSERT_TRUE(splittest::WriteBytes(path, header));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(fileBytes);
    EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
}

// A file past 4 GB has wrapped RIFF sizes: it is read as far as they say, with a warning of
// what was read and what was not; an unfinished take that long is read as far as a data
// chunk can count.
TEST(SplitHeaderTest, AFileLongerThanItsRiffSizesCanCountIsReadWithAWarning) {
    const std::string folder = Scratch("split_header_huge");
    const std::string input = folder + "\\huge.wav";
    const uint64_t fileBytes = (uint64_t(1) << 32) + 4096;
    for (const uint32_t claimed : {0u, 0xFFFFFFFFu}) {
        ASSERT_NO_FATAL_FAILURE(WriteHugeFile(
            input, Riff({{"fmt ", Pcm()}, {"data", Samples(8), claimed}}, claimed), fileBytes));
        WaveReader reader;
        ASSERT_TRUE(reader.Open(input.c_str())) << reader.Problem();
        EXPECT_EQ(reader.DataBytes(), 0xFFFFFFFCu) << claimed;
        EXPECT_NE(reader.Warning().find("never finished (its data chunk claims " +
                                        std::to_string(claimed) +
                                        " bytes): read the 4294967292 bytes"),
                  std::string::npos)
            << reader.Warning();
    }
    const Bytes header = Riff({{"fmt ", Pcm()}, {"data", Samples(8)}}, uint32_t(fileBytes - 8));
    ASSERT_NO_FATAL_FAILURE(WriteHugeFile(input, header, fileBytes));

    SplitSettings settings;
    settings.autoSilence = false;  // a side of one song has no floor to say it lacks
    settings.tracks = 1;           // its 8 frames are a track, however short
    settings.folder = Scratch("split_header_huge_out");
    SplitReport report;
    EXPECT_EQ(RunSplit(settings, input, false, report), kSplitDone) << report.problem;
    DeleteFileA(input.c_str());
    EXPECT_EQ(report.warnings,
              std::vector<std::string>{
                  input + ": the file has 4294971392 bytes, more than its RIFF sizes can count: "
                          "read the 32 bytes of samples its data chunk names (0 s) and ignored the "
                          "4294971316 bytes after them"});
}

// Through the tool: a one-line message naming file and problem, exit 2, and nothing written.
TEST(SplitHeaderTest, TheToolRejectsBadInputBeforeWritingAnything) {
    const std::string folder = Scratch("split_header_tool");
    const std::string output = Scratch("split_header_tool_out");
    Bytes unconvertible = FormatBody(0x2222, 2, 44100, 4, 16);
    Put(unconvertible, 0, 2);
    const std::vector<Refused> cases = {
        RefusedHeader("text"),
        RefusedHeader("fmt size past the end"),
        RefusedHeader("no data chunk"),
        RefusedHeader("huge junk chunk"),
        RefusedHeader("zero rate"),
        {"a format no codec converts", Riff({{"fmt ", unconvertible}, {"data", Samples(5880)}}),
         "cannot convert format 0x2222"},
    };
    for (const Refused& test : cases) {
        const std::string input = folder + "\\bad.wav";
        ASSERT_TRUE(splittest::WriteBytes(input, test.file));
        const splittest::ToolRun run = splittest::RunTool("--cue -o " + splittest::Quote(output) +
                                                          " " + splittest::Quote(input));
        EXPECT_EQ(run.exitCode, DWORD(kSplitInputRejected)) << test.name << ": " << run.err;
        EXPECT_EQ(run.err.find("grooval-split: " + input + ": "), 0u)
            << test.name << ": " << run.err;
        EXPECT_NE(run.err.find(test.problem), std::string::npos) << test.name << ": " << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << test.name << ": one line";
        EXPECT_TRUE(splittest::FilesIn(output).empty()) << test.name;
    }
}

TEST(SplitHeaderTest, TheToolRejectsAFolderItCannotWriteTo) {
    const std::string folder = Scratch("split_header_folder");
    const std::string input = folder + "\\side.wav";
    ASSERT_TRUE(
        splittest::WriteBytes(input, Riff({{"fmt ", Pcm()}, {"data", Samples(5880 * 20)}})));
    const std::string notAFolder = folder + "\\file.txt";
    ASSERT_TRUE(splittest::WriteBytes(notAFolder, Text("x")));
    struct Case {
        std::string folder;
        const char* problem;
    } cases[] = {
        {notAFolder, "is not a folder"},
        {notAFolder + "\\album", "cannot be created (Windows error"},
    };
    for (const Case& test : cases) {
        const splittest::ToolRun run = splittest::RunTool("-o " + splittest::Quote(test.folder) +
                                                          " " + splittest::Quote(input));
        EXPECT_EQ(run.exitCode, DWORD(kSplitOutputFailed)) << run.err;
        EXPECT_EQ(run.err.rfind("grooval-split: " + test.folder + ": the output folder " +
                                    test.problem, 0),
                  0u)
            << run.err;
    }
    EXPECT_EQ(splittest::FilesIn(folder), (std::vector<std::string>{"file.txt", "side.wav"}));

    // A new album's folder, and the folders above it, are made, and the summary says so.
    const std::string album = folder + "\\new\\album";
    const auto removeAlbum = [&] {
        DeleteFileA((album + "\\tmp0001.wav").c_str());
        RemoveDirectoryA(album.c_str());
        RemoveDirectoryA((folder + "\\new").c_str());
    };
    removeAlbum();
    const splittest::ToolRun run = splittest::RunTool("-s 4 -o " + splittest::Quote(album) +
                                                      " " + splittest::Quote(input));
    EXPECT_EQ(run.exitCode, DWORD(kSplitDone)) << run.err;
    EXPECT_NE(run.out.find("1 track in " + album + " (a new folder)\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(splittest::FilesIn(album), std::vector<std::string>{"tmp0001.wav"});
    removeAlbum();
}

// A folder that refuses files (on the read-only disk of the split_read_only entry) is refused
// before the side is measured, whether it exists or would be made there.
TEST(SplitReadOnly, AFolderThatRefusesFilesIsRefusedBeforeMeasuring) {
    const char* drive = std::getenv("GROOVAL_READ_ONLY");
    if (!drive) GTEST_SKIP() << "needs the read-only disk of the split_read_only entry";
    const std::string folder = Scratch("split_read_only");
    const std::string input = folder + "\\side.wav";
    ASSERT_TRUE(
        splittest::WriteBytes(input, Riff({{"fmt ", Pcm()}, {"data", Samples(5880 * 20)}})));
    const struct {
        std::string folder;
        const char* problem;
    } cases[] = {
        {std::string(drive) + "\\", "the output folder is not writable ("},
        {std::string(drive) + "\\album", "the output folder cannot be created ("},
    };
    for (const auto& test : cases) {
        const splittest::ToolRun run = splittest::RunTool(
            "--preview " + splittest::Quote(folder + "\\side.svg") + " -o " +
            splittest::Quote(test.folder + (test.folder.back() == '\\' ? "." : "")) + " " +
            splittest::Quote(input));
        EXPECT_EQ(run.exitCode, DWORD(kSplitOutputFailed)) << run.err;
        EXPECT_EQ(run.err.rfind("grooval-split: " + test.folder + ": " + test.problem, 0), 0u)
            << run.err;
        // The disk's own refusal is named, not the name clash the probe steps over.
        EXPECT_EQ(run.err.find(WindowsErrorText(ERROR_FILE_EXISTS)), std::string::npos) << run.err;
        EXPECT_EQ(splittest::FilesIn(folder), std::vector<std::string>{"side.wav"});
    }
}

}  // namespace
