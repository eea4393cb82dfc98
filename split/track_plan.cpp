// PlanTrackCuts: the N - 1 longest silent runs between sounds, turned into engine cuts.
#include "split/track_plan.h"

#include <algorithm>
#include <vector>

#include "engine/track_rules.h"

namespace {

struct SilentRun {
    int32_t start = 0;   // its first block
    int32_t length = 0;  // in blocks
};

int32_t CutIn(const SilentRun& run, int32_t trailingBlocks, bool endsTheSide) {
    // The run's last block is the next track's pre-roll, unless nothing follows it.
    const int32_t room = endsTheSide ? run.length : run.length - 1;
    return run.start + std::min(trailingBlocks, room);
}

// Which blocks are silent at `threshold`. A stretch of sound shorter than `bridge` blocks
// between two silent ones is silent too: a beat of rumble or a click does not split a gap.
std::vector<bool> SilentBlocks(const std::vector<BlockLevels>& levels, int32_t threshold,
                               int32_t bridge) {
    std::vector<bool> silent(levels.size());
    for (size_t i = 0; i < levels.size(); ++i) {
        silent[i] = !IsSoundBlock(levels[i].left, levels[i].right, threshold);
    }
    size_t lastSilent = levels.size();  // none yet
    for (size_t i = 0; i < levels.size(); ++i) {
        if (!silent[i]) continue;
        if (lastSilent < i && i - lastSilent - 1 < size_t(bridge)) {
            std::fill(silent.begin() + long(lastSilent + 1), silent.begin() + long(i), true);
        }
        lastSilent = i;
    }
    return silent;
}

int32_t LoudestIn(const std::vector<BlockLevels>& levels, const SilentRun& run) {
    int32_t loudest = 0;
    for (int32_t i = run.start; i < run.start + run.length; ++i) {
        loudest = std::max({loudest, int32_t(levels[size_t(i)].left),
                            int32_t(levels[size_t(i)].right)});
    }
    return loudest;
}

// The plan at one level; of the long runs only, short sounds bridged, when `longRuns`. Its
// threshold leaves every block of the runs it cuts in silent.
TrackPlan PlanAt(const std::vector<BlockLevels>& levels, int32_t threshold, int32_t tracks,
                 int32_t trailingBlocks, bool longRuns) {
    TrackPlan plan;
    plan.threshold = threshold;
    const int32_t shortest = longRuns ? kLongRunBlocks : 1;
    const std::vector<bool> silent = SilentBlocks(levels, threshold, longRuns ? kBridgedBlocks : 0);
    std::vector<SilentRun> between;
    SilentRun run;
    bool soundHeard = false;
    const int32_t count = int32_t(levels.size());
    for (int32_t block = 0; block < count; ++block) {
        if (silent[size_t(block)]) {
            if (run.length++ == 0) run.start = block;
            continue;
        }
        if (run.length >= shortest && soundHeard) between.push_back(run);
        run = SilentRun();
        soundHeard = true;
    }
    if (!soundHeard) return plan;

    std::stable_sort(between.begin(), between.end(), [](const SilentRun& a, const SilentRun& b) {
        return a.length > b.length;
    });
    const size_t wanted = tracks > 1 ? size_t(tracks - 1) : 0;
    if (between.size() > wanted) between.resize(wanted);
    std::sort(between.begin(), between.end(),
              [](const SilentRun& a, const SilentRun& b) { return a.start < b.start; });
    for (const SilentRun& cut : between) {
        plan.cuts.push_back(CutIn(cut, trailingBlocks, false));
        plan.threshold = std::max(plan.threshold, LoudestIn(levels, cut));
    }
    if (run.length > 0) {
        const int32_t end = CutIn(run, trailingBlocks, true);
        if (end < count) plan.cuts.push_back(end);
        plan.threshold = std::max(plan.threshold, LoudestIn(levels, run));
    }
    plan.tracks = int32_t(between.size()) + 1;
    return plan;
}

}  // namespace

TrackPlan PlanTrackCuts(const std::vector<BlockLevels>& levels, int32_t threshold,
                        int32_t tracks, int32_t trailingBlocks) {
    const TrackPlan plan = PlanAt(levels, threshold, tracks, trailingBlocks, false);
    for (int32_t raised = threshold + 1; plan.tracks > 0 && plan.tracks < tracks &&
                                         raised <= kLevelSliderMax;
         ++raised) {
        const TrackPlan quietest = PlanAt(levels, raised, tracks, trailingBlocks, true);
        if (quietest.tracks == tracks) return quietest;
    }
    return plan;
}
