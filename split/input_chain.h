// InputChain: the input file read and made the engine's samples, 16-bit stereo at the input's
// own rate, in front of a last stage: the block feeder of the split, or the level meter of the
// measuring pass. The stages, in order: the reader; the tap that keeps the input's own frames
// when the tracks are to hold them (split/source_frames.h); the codec conversion or the sample
// narrowing (split/sample_converter.h) when the input is not 16-bit stereo PCM; the click
// repair (split/declick_stage.h) when asked for, so the engine measures and the files hold the
// repaired samples; the last stage. Plain samples are read 16 blocks at a time.
//
// A converted input is read one source block at a time, so a passage the codec drops is known
// by its place: with WatchDecoding the chain counts the frames each read gives, and the last
// stage counts the missing ones as passed, so the stream's positions stay those of the input.
//
// Requires: Open, then Build, then WatchDecoding, then Step until it ends.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/output_sink.h"
#include "split/declick_stage.h"
#include "split/status.h"
#include "split/wave_reader.h"

class BlockCutter;
class DecodeCheck;
class FrameCount;
class SourceFrames;

class InputChain {
public:
    explicit InputChain(const WaveReadApi& api = WaveReadApi());
    ~InputChain();
    InputChain(const InputChain&) = delete;
    InputChain& operator=(const InputChain&) = delete;

    // Opens the input and checks its header: input rejected when it cannot be split.
    SplitStatus Open(const std::string& input);
    const WaveReader& Reader() const { return reader_; }

    // Makes and prepares the stages in front of `last` for the engine's format `capture` and
    // its blocks of `blockFrames`; `declickLevel` 0 repairs no clicks; `source`, when given,
    // receives the input's own frames (a plain input only).
    SplitStatus Build(const WAVEFORMATEX* capture, uint32_t maxFormatSize, int declickLevel,
                      int32_t blockFrames, std::unique_ptr<OutputSink> last,
                      SourceFrames* source = nullptr);
    // Watches a converted input for passages the codec drops; `last` is the last stage.
    SplitStatus WatchDecoding(BlockCutter& last);

    // One read through the chain; at the end of the data the chain is finished and `ended`
    // set. A read error is the input failed part-way; a dropped passage is a warning in
    // `warnings`.
    SplitStatus Step(bool& ended, std::vector<std::string>& warnings);
    // The share of the input read so far, 0 to 1.
    double ReadFraction() const;

    // The click repair, when the chain has one.
    const DeclickStage* Declick() const { return declick_; }
    // Passages the codec dropped so far (with WatchDecoding).
    int Damaged() const;

private:
    SplitStatus BuildConversion(const WAVEFORMATEX* capture, uint32_t maxFormatSize,
                                int32_t blockFrames, std::unique_ptr<OutputSink> next);

    std::string input_;
    WaveReader reader_;
    std::unique_ptr<OutputSink> stages_;
    DeclickStage* declick_ = nullptr;
    FrameCount* decoded_ = nullptr;  // counts the converted frames (a converted input only)
    uint32_t readBytes_ = 0;         // one read
    uint64_t framesPerRead_ = 0;     // what one whole read gives
    std::unique_ptr<uint8_t[]> buffer_;
    std::unique_ptr<DecodeCheck> decoding_;
    uint64_t bytesRead_ = 0;
};
