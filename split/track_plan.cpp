// PlanTrackCuts: the N - 1 longest silent runs between sounds, turned into engine cuts.
#include "split/track_plan.h"

#include <algorithm>

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

// The plan at one level, of the runs of at least `shortest` blocks.
TrackPlan PlanAt(const std::vector<BlockLevels>& levels, int32_t threshold, int32_t tracks,
                 int32_t trailingBlocks, int32_t shortest) {
    TrackPlan plan;
    plan.threshold = threshold;
    std::vector<SilentRun> between;
    SilentRun run;
    bool soundHeard = false;
    const int32_t count = int32_t(levels.size());
    for (int32_t block = 0; block < count; ++block) {
        if (!IsSoundBlock(levels[size_t(block)].left, levels[size_t(block)].right, threshold)) {
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
    for (const SilentRun& cut : between) plan.cuts.push_back(CutIn(cut, trailingBlocks, false));
    if (run.length > 0) {
        const int32_t end = CutIn(run, trailingBlocks, true);
        if (end < count) plan.cuts.push_back(end);
    }
    plan.tracks = int32_t(between.size()) + 1;
    return plan;
}

}  // namespace

TrackPlan PlanTrackCuts(const std::vector<BlockLevels>& levels, int32_t threshold,
                        int32_t tracks, int32_t trailingBlocks) {
    const TrackPlan plan = PlanAt(levels, threshold, tracks, trailingBlocks, 1);
    for (int32_t raised = threshold + 1; plan.tracks > 0 && plan.tracks < tracks &&
                                         raised <= kLevelSliderMax;
         ++raised) {
        const TrackPlan quietest = PlanAt(levels, raised, tracks, trailingBlocks, kLongRunBlocks);
        if (quietest.tracks == tracks) return quietest;
    }
    return plan;
}
