// EstimateNoiseFloor: the quietest steady window between sounds; RumbleFilter.
#include "dsp/noise_floor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

struct Window {
    size_t first;
    float level;
};

float MiddleLevel(std::vector<float> levels) {
    if (levels.empty()) return 0.0f;
    std::nth_element(levels.begin(), levels.begin() + long(levels.size() / 2), levels.end());
    return levels[levels.size() / 2];
}

// The middle level of the blocks [first, end) louder than `above`: the music, not the gap.
float MusicLevel(const std::vector<float>& blockDb, size_t first, size_t end, float above) {
    std::vector<float> music;
    for (size_t i = first; i < end; ++i) {
        if (blockDb[i] > above) music.push_back(blockDb[i]);
    }
    return MiddleLevel(std::move(music));
}

// The floor's level in `blockDb`, and how far below the music around it that lies.
NoiseFloor Described(NoiseFloor floor, const std::vector<float>& blockDb) {
    const size_t end = floor.first + kFloorWindowBlocks;
    floor.db = MiddleLevel(std::vector<float>(blockDb.begin() + long(floor.first),
                                              blockDb.begin() + long(end)));
    const size_t before = floor.first > kFloorMusicBlocks ? floor.first - kFloorMusicBlocks : 0;
    const size_t after = std::min(blockDb.size(), end + kFloorMusicBlocks);
    const float above = floor.db + kFloorSteadyDb;
    floor.belowMusicDb = std::min(MusicLevel(blockDb, before, floor.first, above),
                                  MusicLevel(blockDb, end, after, above)) - floor.db;
    return floor;
}

// Whether windows about as quiet as `level` lie in two gaps with sound between them.
bool InTwoGaps(const std::vector<Window>& between, float level, const std::vector<float>& db) {
    const Window* last = nullptr;
    for (const Window& window : between) {
        if (window.level > level + kFloorSteadyDb) continue;
        if (last && last->first + kFloorWindowBlocks < window.first &&
            *std::max_element(db.begin() + long(last->first + kFloorWindowBlocks),
                              db.begin() + long(window.first)) >= level + kFloorBelowSoundDb) {
            return true;
        }
        last = &window;
    }
    return false;
}

}  // namespace

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
    std::vector<Window> between;  // the steady windows of noise between sounds
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
        if (level >= kDigitalSilenceDb) between.push_back(Window{start, level});
        NoiseFloor& found = level < kDigitalSilenceDb ? digital : noise;
        if (!found.found || level < found.db) found = NoiseFloor{true, level, start, 0.0f};
    }
    if (noise.found && noise.db > quietest + kFloorAboveQuietestDb &&
        !InTwoGaps(between, noise.db, blockDb)) {
        noise.found = false;
    }
    if (noise.found) return Described(noise, blockDb);
    return digital.found ? Described(digital, blockDb) : digital;
}

NoiseFloor NoiseFloorIn(const NoiseFloor& floor, const std::vector<float>& blockDb) {
    if (!floor.found || floor.first + kFloorWindowBlocks > blockDb.size()) return floor;
    return Described(floor, blockDb);
}

RumbleFilter::RumbleFilter(double rate) {
    // Two biquads of the Butterworth's Q values, bilinear and prewarped to kRumbleHz.
    const double q[2] = {0.54119610, 1.30656296};
    const double k = std::tan(3.14159265358979323846 * kRumbleHz / rate);
    for (int s = 0; s < 2; ++s) {
        const double norm = 1.0 / (1.0 + k / q[s] + k * k);
        stages_[s].b0 = norm;
        stages_[s].a1 = 2.0 * (k * k - 1.0) * norm;
        stages_[s].a2 = (1.0 - k / q[s] + k * k) * norm;
    }
}

double RumbleFilter::Stage::Run(int c, double x) {
    const double y = b0 * (x - 2.0 * x1[c] + x2[c]) - a1 * y1[c] - a2 * y2[c];
    x2[c] = x1[c];
    x1[c] = x;
    y2[c] = y1[c];
    y1[c] = y;
    return y;
}

void RumbleFilter::Run(const int16_t* values, int32_t frames, float* out) {
    for (int32_t i = 0; i < frames * 2; ++i) {
        out[i] = float(stages_[1].Run(i & 1, stages_[0].Run(i & 1, values[i])));
    }
}
