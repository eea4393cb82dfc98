// Test helpers for output files: reading a written file back, walking its RIFF chunks,
// decoding compressed data through the codec manager, and a sink that records what a stage
// hands on.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstdint>
#include <string>
#include <vector>

#include "output/format_record.h"
#include "engine/output_sink.h"
#include "tests/support/test_sink.h"

namespace outtest {

std::vector<uint8_t> ReadFileBytes(const std::string& windowsPath);
bool FileExists(const std::string& windowsPath);
uint32_t U32(const std::vector<uint8_t>& bytes, size_t offset);
uint16_t U16(const std::vector<uint8_t>& bytes, size_t offset);

struct Chunk {
    std::string id;
    uint32_t size = 0;
    size_t offset = 0;  // of the chunk's data
};

// The chunks of a RIFF WAVE file in order; `valid` is false when the file is not one or a
// chunk runs past the end.
struct WaveLayout {
    bool valid = false;
    uint32_t riffSize = 0;
    std::vector<Chunk> chunks;
    const Chunk* Find(const std::string& id) const;
};
WaveLayout ParseWave(const std::vector<uint8_t>& bytes);

// A 16-bit stereo PCM record at `rate`, in a buffer with room for any record the codec manager
// gives.
FormatBuffer Pcm(DWORD rate = 44100);

// 16-bit stereo values as bytes: a sine, or a counting pattern that shows every misplaced byte.
std::vector<uint8_t> SineBytes(int rate, double frequency, int frames);
std::vector<uint8_t> PatternBytes(size_t count, uint32_t seed = 1);

// Decodes a compressed block of data to 16-bit PCM through the codec manager; false when the
// manager refuses.
bool DecodeToPcm(const WAVEFORMATEX* format, const std::vector<uint8_t>& data,
                 FormatBuffer* pcmFormat, std::vector<uint8_t>* pcm);

// The capture frames at `captureRate` that a finished file's data stands for, from its decoded
// length; -1 when it is no WAVE file or does not decode.
double DecodedCaptureFrames(const std::vector<uint8_t>& file, uint32_t captureRate);

// A record from the codec manager's suggestion for a tag, channel count and rate, from 16-bit
// stereo PCM at `sourceRate`; empty when the manager has none.
FormatBuffer Suggest(uint32_t sourceRate, WORD tag, WORD channels, DWORD rate);

// A stage behind the one under test: records every call and every byte it is given.
class RecordingSink : public TestSink {
public:
    explicit RecordingSink(std::vector<std::string>* log = nullptr, bool* destroyed = nullptr)
        : log_(log), destroyed_(destroyed) {}
    ~RecordingSink() override;
    int32_t Query() override { return Note("Query", 0); }
    int32_t Prepare(int32_t blockBytes) override;
    int32_t Unprepare() override { return Note("Unprepare", 0); }
    int32_t Write(const void* bytes, int32_t count) override;
    int32_t Finish(uint32_t frames) override;
    int32_t Open(const char*, uint32_t) override { return Note("Open", 0); }
    int32_t BeginStream() override { return Note("BeginStream", 0); }
    int32_t Close(uint32_t) override { return Note("Close", 0); }
    bool IsOpen() override { return open; }
    const char* GetExtension() override { return "rec"; }

    std::vector<uint8_t> received;
    std::vector<int32_t> writeSizes;
    int32_t finishResult = 0;
    uint32_t finishedFrames = 0xFFFFFFFF;
    bool open = false;

private:
    int32_t Note(const char* what, int32_t result);
    std::vector<std::string>* log_;
    bool* destroyed_;
};

}  // namespace outtest
