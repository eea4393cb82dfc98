// EstimateNoiseFloor: the quietest steady window between sounds.
#include "dsp/noise_floor.h"

#include <algorithm>
#include <array>

NoiseFloor EstimateNoiseFloor(const std::vector<float>& blockDb) {
    const size_t count = blockDb.size();
    if (count < kFloorWindowBlocks) return NoiseFloor();
    // The loudest block before each place (louderBefore[i]: of blocks 0 to i - 1) and from it on.
    std::vector<float> louderBefore(count + 1, kDigitalSilenceDb * 2);
    std::vector<float> louderFrom(count + 1, kDigitalSilenceDb * 2);
    for (size_t i = 0; i < count; ++i) {
        louderBefore[i + 1] = std::max(louderBefore[i], blockDb[i]);
        louderFrom[count - 1 - i] = std::max(louderFrom[count - i], blockDb[count - 1 - i]);
    }
    NoiseFloor noise, digital;
    float quietest = 0.0f;  // of the steady windows of noise anywhere
    std::array<float, kFloorWindowBlocks> window;
    for (size_t start = 0; start + kFloorWindowBlocks <= count; ++start) {
        const size_t end = start + kFloorWindowBlocks;
        std::copy(blockDb.begin() + long(start), blockDb.begin() + long(end), window.begin());
        std::sort(window.begin(), window.end());
        const float level = window[kFloorWindowBlocks / 2];
        const float spread = window[kFloorWindowBlocks - 1 - kFloorIgnoredBlocks] - window[0];
        if (spread > kFloorSteadyDb) continue;
        if (level >= kDigitalSilenceDb) quietest = std::min(quietest, level);
        if (louderBefore[start] < level + kFloorBelowSoundDb) continue;
        if (louderFrom[end] < level + kFloorBelowSoundDb) continue;
        NoiseFloor& found = level < kDigitalSilenceDb ? digital : noise;
        if (!found.found || level < found.db) found = NoiseFloor{true, level};
    }
    if (noise.found && noise.db > quietest + kFloorAboveQuietestDb) noise.found = false;
    return noise.found ? noise : digital;
}
