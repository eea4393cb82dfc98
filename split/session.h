// RunSplit: one run of grooval-split. The input file is read, converted to 16-bit stereo PCM
// when it is in another format, cut into capture blocks and fed, armed from the first block,
// through the recorder's TrackEngine into the recorder's output chain; at the end the engine's
// worker finishes the open track as the recorder's Stop does.
//
// Everything that can reject the run (the input's header and format, the output folder, the
// output format, the titles file) is checked before the engine starts, so a rejected run leaves
// no file.
//
// With --tracks or --preview a first pass reads the whole input through the same input chain
// and measures every block as the engine will (split/side_levels.h); --tracks then hands the
// engine the cuts of split/track_plan.h in place of its gap rule. A sleeve puts TrackNamer
// (split/track_namer.h) in front of the chain; --dry-run puts DryRunSink in place of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "split/cue_sheet.h"
#include "split/options.h"

enum SplitExit : int {
    kSplitDone = 0,
    kSplitUsage = 1,          // the command line is wrong (an unknown output format too)
    kSplitInputRejected = 2,  // the input cannot be split
    kSplitOutputFailed = 3,   // the track files or the cue sheet cannot be written
    kSplitInterrupted = 4,    // stopped by the user; the open track was finished
    kSplitFewerTracks = 5,    // --tracks asked for more tracks than the side has runs for
    kSplitInputDamaged = 6,   // parts of the input could not be decoded; the rest was split
};

class SplitProgress {
public:
    virtual ~SplitProgress() = default;
    // Once the input is known to hold `totalSeconds` of sound, before the first Update.
    virtual void Begin(double totalSeconds) = 0;
    // `fraction` (0 to 1) of the input has been read, `inputSeconds` of sound.
    virtual void Update(double fraction, double inputSeconds) = 0;
    virtual void Done() = 0;
};

struct SplitReport {
    std::string problem;  // one line when the run did not end with kSplitDone
    std::vector<std::string> warnings;
    std::vector<CueTrack> tracks;  // kept track files, in order
    std::string cuePath;
    uint32_t rate = 0;  // the input's sample rate
    double inputSeconds = 0.0;
    int32_t blocks = 0;          // blocks fed to the engine
    int32_t buffersCreated = 0;  // the engine's pool at the end
    int32_t declick = 0;         // the declicker's level; 0: clicks were not repaired
    uint64_t clicksRepaired = 0;  // in the whole input, both channels
    uint64_t clicksLeft = 0;
    std::vector<CueTrack> discarded;  // tracks deleted as too short
    std::string previewPath;
};

// Runs the split; the result is a SplitExit value. `interrupted` is polled between reads; an
// interrupted run finishes the open track and still writes the cue sheet of what it wrote.
int RunSplit(const SplitSettings& settings, const std::string& input, bool writeCue,
             SplitReport& report, SplitProgress* progress = nullptr,
             const std::atomic<bool>* interrupted = nullptr);
