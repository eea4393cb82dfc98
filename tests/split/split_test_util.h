// Test helpers for grooval-split: synthesized sides made of blocks, raw WAV files, running the
// tool as a child process, and reading back what it wrote.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace splittest {

using Block = std::vector<int16_t>;  // one capture block of interleaved 16-bit stereo

// Blocks whose values differ from block to block, so a misplaced block shows.
Block LoudBlock(int index);   // a tone, level far above the default silence level
Block QuietBlock(int index);  // low noise, level 0: silent for any silence level
Block SoftBlock(int index);   // a soft tone, level 7: sound at the default silence level
Block Concatenate(const std::vector<Block>& blocks);

// A side described by passages of blocks, with the index of each passage's first block.
class Side {
public:
    Side& Song(int blocks);
    Side& Silence(int blocks);
    Side& Soft(int blocks);
    int BlockCount() const { return int(blocks_.size()); }
    const std::vector<Block>& Blocks() const { return blocks_; }
    std::vector<int16_t> Samples() const;

private:
    std::vector<Block> blocks_;
    int loud_ = 0;
    int quiet_ = 0;
};

// A side as a record gives it, frame for frame at 44100 Hz: `songs` songs of `songSeconds`,
// each fading in from -50 dBFS over 1 s, with a passage of 3 s at -40 dBFS in its middle and
// a fade out to -50 dBFS over 3 s, around -20 dBFS between (two tones with a tremolo); 3 s gaps
// between them, a lead-in of 1 s and a run-out of 2 s; surface noise of `noiseDbfs` RMS with
// crackle under everything, after `zeroSeconds` of digital silence (or of the sound card's
// hiss) and with the noises of `more`.
struct RecordedSide {
    std::vector<int16_t> samples;
    std::vector<std::pair<uint64_t, uint64_t>> songs;  // frames [first, end): above -50 dBFS
};
struct MoreNoise {
    double leadHissDbfs = 0.0;  // the sound card's hiss before the needle, RMS; 0: zeros
    double rumbleDbfs = 0.0;    // rumble of 13 and 17 Hz beating, RMS; 0: none
    double softDbfs = -40.0;    // the songs' soft passage
};
RecordedSide MakeRecordedSide(double noiseDbfs, int songs, double songSeconds = 10.0,
                              double zeroSeconds = 0.0, const MoreNoise& more = MoreNoise());

// Texts of the tests are UTF-8; the test process itself has the system's code page, so paths
// go to the system as UTF-16.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& text);

// A RIFF WAVE file of plain samples (PCM, or IEEE float with tag 3) with the given bytes as
// its data (Windows path).
bool WritePcmWav(const std::string& path, int rate, int channels, int bits,
                 const std::vector<uint8_t>& data, uint16_t tag = 1);
// A RIFF WAVE file of any format record (its bytes) and data.
bool WriteWav(const std::string& path, const std::vector<uint8_t>& format,
              const std::vector<uint8_t>& data);
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);
std::vector<uint8_t> SampleBytes(const std::vector<int16_t>& samples);

// The names of the files in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder);

// The sample bytes of a track file's data chunk; empty when it has none.
std::vector<uint8_t> TrackData(const std::string& path);

// Runs grooval-split with `arguments` (already quoted as needed) and waits for it.
struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;  // lines end in "\n" alone
    std::string err;
};
ToolRun RunTool(const std::string& arguments, DWORD timeoutMs = 120000);
std::string Quote(const std::string& text);

// A fresh scratch folder of the bench, as a Windows path.
std::string Scratch(const std::string& name);

}  // namespace splittest
