// SplitRun: one run of grooval-split, as named phases. The input is read, made the engine's
// samples (16-bit stereo at its own rate; split/input_chain.h), cut into blocks as long as the
// recorder's at any rate (SplitBlockFrames) and fed, armed from the first block, through the
// recorder's TrackEngine into the recorder's output chain or an encoder stage; at the end the
// engine's worker finishes the open track as the recorder's Stop does. The tracks hold the
// input's own frames where they can (split/track_samples.h), carried beside the blocks
// (split/source_frames.h).
//
// The phases, in order (Run):
//   Check    everything that can reject the run (the input's header and format, the prefix, the
//            output folder and format, what the tracks hold, the names' lengths, the titles
//            file, the preview's file), before any file exists; a rejected run leaves no file;
//            last, a missing output folder is created
//   Plan     with --silence auto, --tracks or --preview, a measuring pass reads the whole side
//            through the same input chain and measures every block as the engine will
//            (split/side_levels.h); the silence level is chosen from the side's noise floor
//            (split/silence_level.h) unless one is given; --tracks then plans the cuts
//            (split/track_plan.h) the engine takes in place of its gap rule
//   Start    the input chain in front of the block feeder; in front of the output the stage
//            that writes the input's own frames, the track log and, with a sleeve, the namer
//            (split/track_namer.h); --dry-run puts DryRunSink in place of the output; the
//            engine set as the recorder's window sets it, started
//   Split    the split pass; it and the measuring pass share one feed loop (Feed); a read
//            error here ends it as an interruption does, with the input failed part-way
//   Collect  the tracks the log saw, the clicks of each, the first failure of the worker
//   Finish   the cue sheet, the preview, the track count's check, the damage report
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/track_engine.h"
#include "output/format_record.h"
#include "split/block_feeder.h"
#include "split/cue_sheet.h"
#include "split/input_chain.h"
#include "split/options.h"
#include "split/preview_svg.h"
#include "split/progress.h"
#include "split/silence_level.h"
#include "split/sleeve.h"
#include "split/sleeve_tags.h"
#include "split/source_frames.h"
#include "split/status.h"
#include "split/track_plan.h"
#include "split/track_samples.h"

class TrackLogSink;

struct SplitReport {
    std::string problem;  // the status's line when the run did not end with kSplitDone
    std::vector<std::string> warnings;
    std::vector<CueTrack> tracks;  // kept track files, in order
    std::string cuePath;
    std::string folder;  // where the tracks go, a full path
    bool folderCreated = false;  // the run made it
    uint32_t rate = 0;  // the input's sample rate
    uint32_t trackRate = 0;  // the tracks'
    std::string samples;  // what the tracks hold (TrackSamplesText, the codec's format named)
    double inputSeconds = 0.0;
    int32_t blocks = 0;          // blocks fed to the engine
    int32_t buffersCreated = 0;  // the engine's pool at the end
    int32_t declick = 0;         // the declicker's level; 0: clicks were not repaired
    uint64_t clicksRepaired = 0;  // in the whole input, both channels
    uint64_t clicksLeft = 0;
    std::vector<CueTrack> discarded;  // tracks deleted as too short
    std::string previewPath;
    std::optional<SilenceLevel> silence;  // the level the side was cut at, once chosen
};

class SplitRun {
public:
    // `interrupted` is polled between reads: an interrupted run finishes the open track and
    // still writes the cue sheet of what it wrote, as a run whose input fails part-way does.
    SplitRun(const SplitSettings& settings, const std::string& input, bool writeCue,
             SplitReport& report, SplitProgress* progress,
             const std::atomic<bool>* interrupted, const WaveReadApi& readApi = WaveReadApi());
    ~SplitRun();
    SplitRun(const SplitRun&) = delete;
    SplitRun& operator=(const SplitRun&) = delete;

    // Every phase in order; the run ends at the first failure.
    SplitStatus Run();

private:
    // One pass over the input: the measuring pass and the split differ only in this.
    struct FeedPass {
        double progressFrom;  // the share of the progress bar the pass covers
        double progressSpan;
        const char* interruptedText;
        bool warns;  // the input's warnings are the run's (the measuring pass's are repeated)
        std::function<bool(int reads)> stopped;  // asked before each read: stop here
    };

    SplitStatus Check();
    SplitStatus CheckOutputFolder();
    SplitStatus MakeOutputFolder();
    SplitStatus MakeOutput();
    SplitStatus CheckNames();
    SplitStatus Plan();
    bool MeasuresFirst() const;
    SplitStatus MeasureSide();
    void ChooseSilenceLevel();
    SplitStatus Start();
    SplitStatus MakeOutputStages(std::unique_ptr<OutputSink>& first);
    SplitStatus StartEngine();
    SplitStatus Split();
    SplitStatus Feed(InputChain& input, const FeedPass& pass);
    SplitStatus Collect(const SplitStatus& fed);
    SplitStatus WorkerFailure();
    SplitStatus Finish(SplitStatus status);
    SplitStatus NothingKept();
    // `next` becomes `status` when that is done; a later failure is a warning.
    void KeepFirst(SplitStatus& status, const SplitStatus& next);
    SplitStatus DrawPreview();
    SplitStatus WriteCue();

    // Given for the whole run.
    const SplitSettings& settings_;
    const std::string& input_;
    const bool writeCue_;
    SplitReport& report_;
    SplitProgress* const progress_;
    const std::atomic<bool>* const interrupted_;
    const WaveReadApi readApi_;

    // Check: the engine's samples and blocks, the tracks' samples and where the files go; Plan:
    // the measured side, the silence level (read by the engine, the cuts and the preview in
    // place of the settings') and the cuts.
    uint32_t maxFormatSize_ = 0;
    FormatBuffer capture_;
    int32_t blockFrames_ = kCaptureBlockFrames;
    TrackSamples samples_;
    std::string folder_;
    bool makeFolder_ = false;  // the output folder does not exist yet
    SidePreview side_;
    SilenceLevel silence_;
    TrackPlan plan_;

    // The engine's worker uses these until it ends, so they are made before the engine: the
    // sleeve (loaded by Check), the sleeve's number of the track opening, where each block
    // came from, and the first failure of the stages on the worker.
    Sleeve sleeve_;
    volatile int32_t sleeveNumber_ = 0;
    int32_t trackTotal_ = 0;  // the side's tracks as the user gave them (--tracks, or titles)
    BlockPositions positions_;
    FirstFailure workerFailure_;
    TrackEngine engine_;
    // After the engine, as they read its track number or submit into it.
    const SleeveTrackTags tags_;          // asked only while a track opens
    std::unique_ptr<OutputSink> output_;  // made by Check, handed to the engine by Start
    std::unique_ptr<SourceFrames> source_;  // the input's own frames, when the tracks hold them
    InputChain inputChain_;               // opened by Check, built by Start: ends in the feeder
    BlockFeeder* feeder_ = nullptr;       // owned by the input chain
    TrackLogSink* log_ = nullptr;         // owned by the engine
    char sinkStatus_[kSinkMessageBytes] = {};
};

// A whole run; the result is a SplitExit value, and `report` says what was done (its
// `problem` the status's line).
int RunSplit(const SplitSettings& settings, const std::string& input, bool writeCue,
             SplitReport& report, SplitProgress* progress = nullptr,
             const std::atomic<bool>* interrupted = nullptr,
             const WaveReadApi& readApi = WaveReadApi());

// The run's last line: "3 tracks in C:\Music\Ella", the files when a track went on in a
// second file, a folder the run made, a dry run.
std::string SplitSummary(const SplitReport& report, bool dryRun);
