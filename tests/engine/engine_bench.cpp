// Engine throughput: one hour of synthetic 44100 Hz stereo (music-like bursts with gaps) fed
// through the real worker into a writer that discards, at most a few blocks ahead of it.
// Prints blocks per second, the real-time factor and the peak pool size, fed block by block
// as a capture thread feeds, and in batches as grooval-split feeds.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/stream_format.h"
#include "engine/track_engine.h"
#include "tests/support/engine_feed.h"
#include "tests/support/test_sink.h"

namespace {

constexpr int32_t kHourBlocks = 3600 * kCaptureRate / kCaptureBlockFrames;  // 27000
constexpr int32_t kAhead = 4;          // blocks the feed may run ahead of the worker
constexpr int32_t kSplitBatch = 16;    // blocks per hand-over in grooval-split
constexpr int kMusicBlocks = 32;       // distinct sound blocks, cycled
constexpr int kQuietBlocks = 4;        // distinct near-silent blocks
constexpr double kPi = 3.14159265358979323846;

class DiscardSink : public TestSink {
public:
    int32_t Write(const void*, int32_t count) override {
        bytes += uint64_t(count);
        return 0;
    }
    int32_t Finish(uint32_t frames) override {
        ++tracks;
        return TestSink::Finish(frames);
    }

    uint64_t bytes = 0;
    int32_t tracks = 0;
};

uint32_t seed = 12345;
uint32_t Random() {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
}

std::vector<int16_t> MusicBlock(int index) {
    std::vector<int16_t> block(kCaptureBlockValues);
    const double amplitude = 3000.0 + 500.0 * index;
    const double f1 = 110.0 * (1 + index % 7), f2 = 330.0 + 37.0 * index;
    for (int32_t frame = 0; frame < kCaptureBlockFrames; ++frame) {
        const double t = frame / double(kCaptureRate);
        const double envelope = 0.6 + 0.4 * std::sin(2 * kPi * 3.0 * t);
        const double noise = (int32_t(Random() % 2001) - 1000) * 0.5;
        const double l = amplitude * envelope * std::sin(2 * kPi * f1 * t) + noise;
        const double r = amplitude * envelope * std::sin(2 * kPi * f2 * t) + noise;
        block[2 * frame] = int16_t(l);
        block[2 * frame + 1] = int16_t(r);
    }
    return block;
}

std::vector<int16_t> QuietBlock() {
    std::vector<int16_t> block(kCaptureBlockValues);
    for (int16_t& value : block) value = int16_t(int32_t(Random() % 81) - 40);  // level about 1
    return block;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& freq) {
    return double(to.QuadPart - from.QuadPart) / double(freq.QuadPart);
}

// One hour through a fresh engine, handed over `batch` blocks at a time; prints its figures.
bool RunHour(const char* pattern, const std::vector<const std::vector<int16_t>*>& hour,
             int32_t batch) {
    auto engine = std::make_unique<TrackEngine>(bench::kNoKeyboard);
    auto* sink = new DiscardSink;  // owned by the engine from StartArmed on
    sink->Prepare(kCaptureBlockBytes);
    engine->blockBytes = kCaptureBlockBytes;
    engine->gapBlocks = 14;
    engine->discardBlocks = 14;
    if (!bench::StartArmed(*engine, sink, pattern)) {
        std::printf("engine thread not started\n");
        return false;
    }

    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    int32_t at = 0;
    const bench::FeedFault fault = bench::FeedBlocks(
        *engine, kHourBlocks, kAhead + batch - 1, 10000,
        [&](int32_t i) -> const auto& { return *hour[size_t(i)]; }, &at, batch);
    if (fault != bench::FeedFault::kNone) {
        std::printf("%s at block %d\n", bench::FeedFaultText(fault), at);
        return false;
    }
    while (engine->ProcessedBlocks() < kHourBlocks) {
        WaitForSingleObject(engine->DrainedEvent(), 10000);
    }
    QueryPerformanceCounter(&end);
    engine->stopEvent.Set();
    WaitForSingleObject(engine->ThreadHandle(), INFINITE);

    const double seconds = Seconds(start, end, freq);
    const double audioSeconds = double(kHourBlocks) * kCaptureBlockFrames / kCaptureRate;
    const TrackEngine::PoolCounts pool = engine->Pool();
    std::printf("fed %d block%s at a time\n", int(batch), batch == 1 ? "" : "s");
    std::printf("  blocks: %d in %.3f s\n", kHourBlocks, seconds);
    std::printf("  blocks per second: %.0f\n", kHourBlocks / seconds);
    std::printf("  peak pooled buffers: %d (gapBlocks %d)\n", pool.created, int(engine->gapBlocks));
    std::printf("  tracks: %d, MB written: %.1f\n", sink->tracks, double(sink->bytes) / 1e6);
    std::printf("  x real time: %.0f\n", audioSeconds / seconds);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // One core unless "all" is given: the target is throughput on a single core.
    const bool oneCore = !(argc > 1 && std::strcmp(argv[1], "all") == 0);
    if (oneCore) SetProcessAffinityMask(GetCurrentProcess(), 1);
    std::vector<std::vector<int16_t>> music, quiet;
    for (int i = 0; i < kMusicBlocks; ++i) music.push_back(MusicBlock(i));
    for (int i = 0; i < kQuietBlocks; ++i) quiet.push_back(QuietBlock());

    // The hour: tracks of 3 to 5 minutes with short quiet passages inside, 3-second gaps.
    std::vector<const std::vector<int16_t>*> hour;
    hour.reserve(kHourBlocks);
    while (int32_t(hour.size()) < kHourBlocks) {
        const int32_t trackBlocks = int32_t(1350 + Random() % 900);
        for (int32_t i = 0; i < trackBlocks; ++i) {
            const bool pause = i % 200 >= 195;  // under the gap length: does not split
            hour.push_back(pause ? &quiet[size_t(i) % kQuietBlocks] : &music[size_t(i) % kMusicBlocks]);
        }
        for (int32_t i = 0; i < 22; ++i) hour.push_back(&quiet[size_t(i) % kQuietBlocks]);
    }
    hour.resize(kHourBlocks);

    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char pattern[kTrackNameBytes];
    std::snprintf(pattern, sizeof pattern, "%sgrooval-bench-absent\\bench %%04d.%%s", temp);

    // Fed block by block as a capture thread does, then in batches as grooval-split does.
    std::printf("cores: %s\n", oneCore ? "1" : "all");
    for (const int32_t batch : {1, kSplitBatch}) {
        if (!RunHour(pattern, hour, batch)) return 1;
    }
    return 0;
}
