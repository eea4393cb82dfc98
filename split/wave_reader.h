// WaveReader: opens an existing RIFF WAVE file for grooval-split, checks its header without
// trusting any of its sizes, and reads the sample bytes of its data chunk.
//
// How it works: the RIFF header is read, then the chunks after it are walked by their 32-bit
// sizes (each padded to an even length) in 64-bit arithmetic, until the "fmt " and "data"
// chunks are both found. Every size is checked against the end of the file before it is used,
// so a lying header is refused instead of read past its end; a RIFF size that does not fit
// whole chunks is only warned about. The exception is the take a recorder left unfinished
// (killed, or the power gone): a data chunk whose size is 0xFFFFFFFF or past the end of the
// file, or one followed by more whole frames that are no chunk (a header written at open, or
// last brought up to date part-way), is read to the end of the file, in whole blocks, with a
// warning. A
// WAVE_FORMAT_EXTENSIBLE record of PCM or float samples is reduced to the plain record the
// codec manager understands.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstdint>
#include <string>

#include "base/unique_handle.h"
#include "output/format_record.h"

// Chunks walked before "fmt " and "data" are both found; more means a hostile file.
constexpr int kWaveMaxChunks = 10000;
// The largest "fmt " chunk read: a WAVEFORMATEX with the most extra bytes cbSize can name.
constexpr uint32_t kWaveMaxFormatBytes = kFormatHeaderBytes + 0xFFFF;
constexpr uint32_t kUnfinishedDataBytes = 0xFFFFFFFF;  // what streaming writers leave

// The reads of the samples: a seam for a drive that goes away part-way, which Wine cannot
// make.
struct WaveReadApi {
    BOOL(WINAPI* readFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) = &ReadFile;
};

class WaveReader {
public:
    explicit WaveReader(const WaveReadApi& api = WaveReadApi()) : api_(api) {}
    WaveReader(const WaveReader&) = delete;
    WaveReader& operator=(const WaveReader&) = delete;

    // Opens the file and checks its header. False with Problem() naming what is wrong.
    bool Open(const char* path);

    // The sample format as the codec manager takes it (an extensible record reduced).
    const WAVEFORMATEX* Format() const { return format_.Get(); }
    // The speakers an extensible record named; 0 when it named none, or the record was plain.
    uint32_t ChannelMask() const { return channelMask_; }
    // The data chunk's length in whole blocks of the format (nBlockAlign).
    uint32_t DataBytes() const { return dataBytes_; }
    uint64_t FileBytes() const { return fileBytes_; }
    // 16-bit stereo PCM: the engine takes the samples as they are.
    bool IsCaptureFormat() const;
    // The length of the data chunk in seconds, by the format's byte rate; 0 when unknown.
    double DurationSeconds() const;

    // Reads the next bytes of the data chunk; the count read, 0 at its end, -1 on a read error
    // (Problem() then says which).
    int32_t Read(void* buffer, uint32_t count);

    const std::string& Problem() const { return problem_; }
    // After a successful Open: what the user should know about the file though it is read
    // (an unfinished take, a file too long for its RIFF sizes); empty when nothing.
    const std::string& Warning() const { return warning_; }

private:
    // Where the walk over the chunks ended, and how it found the samples.
    struct ChunkWalk {
        uint64_t walked = 0;   // the end of the chunks walked
        uint64_t dataEnd = 0;  // as the data chunk's size puts it
        bool salvaged = false;
    };
    // Open's phases; each fails with its problem told.
    bool OpenFile(const char* path);
    bool ReadRiffHeader(uint32_t& riffSize);
    bool WalkChunks(ChunkWalk& walk);
    bool Fail(const std::string& problem);
    bool ReadAt(uint64_t offset, void* buffer, uint32_t count);
    bool TakeFormat(uint64_t offset, uint32_t size);
    // A data chunk at `body` claiming `size` bytes that a writer never finished; `align` the
    // format's block, 0 when not known yet.
    bool IsUnfinished(uint32_t size, uint64_t body, uint32_t align);
    bool ChunkAt(uint64_t offset);
    void TellWhatWasRead(uint32_t riffSize, uint64_t walked, uint64_t dataEnd, bool salvaged);
    // Takes the samples from `body` to the end of the file.
    void Salvage(uint32_t size, uint64_t body);

    const WaveReadApi api_;
    FileHandle file_;
    uint64_t fileBytes_ = 0;
    FormatBuffer format_;
    uint32_t channelMask_ = 0;
    uint64_t dataOffset_ = 0;
    uint32_t dataBytes_ = 0;
    uint32_t dataRead_ = 0;
    std::string problem_;
    std::string warning_;
};

// "PCM 16-bit stereo 44100 Hz", "format 0x0011, 2 channels, 44100 Hz": for messages.
std::string FormatSummary(const WAVEFORMATEX* format);
