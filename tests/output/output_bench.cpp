// Output throughput: one hour of captured 16-bit stereo fed through the real engine worker and
// a real output chain into one track file. Prints the time, MB/s of captured data and the
// real-time factor. Usage: output_bench FOLDER [pcm|ima] [HEADER_BLOCKS]: with HEADER_BLOCKS
// the file's header is brought up to date every that many blocks, as the recorder does every
// second. run_output_bench.sh compares it with a plain copy of the written file.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/stream_format.h"
#include "engine/track_engine.h"
#include "output/format_record.h"
#include "output/output_chain.h"
#include "tests/support/engine_feed.h"

namespace {

constexpr int32_t kHourBlocks = 3600 * kCaptureRate / kCaptureBlockFrames;  // 27000
constexpr int32_t kAhead = 4;       // blocks the feed may run ahead of the worker
constexpr int kDistinctBlocks = 32;  // sound blocks, cycled
constexpr double kPi = 3.14159265358979323846;

std::vector<int16_t> SoundBlock(int index) {
    std::vector<int16_t> block(kCaptureBlockValues);
    for (int32_t frame = 0; frame < kCaptureBlockFrames; ++frame) {
        const double t = (frame + index * kCaptureBlockFrames) / double(kCaptureRate);
        block[size_t(frame) * 2] = int16_t(9000 * std::sin(2 * kPi * (220 + 13 * index) * t));
        block[size_t(frame) * 2 + 1] = int16_t(7000 * std::sin(2 * kPi * 330 * t) + (frame % 17));
    }
    return block;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: output_bench FOLDER [pcm|ima] [HEADER_BLOCKS]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const bool ima = argc > 2 && std::strcmp(argv[2], "ima") == 0;
    const int headerBlocks = argc > 3 ? std::atoi(argv[3]) : 0;

    const uint32_t maxSize = ReadMaxFormatSize();
    FormatBuffer capture(maxSize + kFormatHeaderBytes);
    MakePcmFormat(capture.Get(), kCaptureRate);
    FormatBuffer chosen(maxSize + kFormatHeaderBytes);
    MakePcmFormat(chosen.Get(), kCaptureRate);
    if (ima) {
        chosen.Get()->wFormatTag = 0x0011;  // IMA ADPCM, as Wine's codec suggests it
        chosen.Get()->wBitsPerSample = 4;
    }
    std::unique_ptr<OutputSink> chain = CreateOutputChain(capture.Get(), chosen.Get(), maxSize);
    if (!chain || chain->Prepare(kCaptureBlockBytes) != 0) {
        std::printf("no chain for the format\n");
        return 1;
    }

    std::vector<std::vector<int16_t>> blocks;
    for (int i = 0; i < kDistinctBlocks; ++i) blocks.push_back(SoundBlock(i));

    auto engine = std::make_unique<TrackEngine>(bench::kNoKeyboard);
    engine->blockBytes = kCaptureBlockBytes;
    engine->discardBlocks = 0;
    engine->headerUpdateBytes = uint32_t(headerBlocks) * kCaptureBlockBytes;
    const std::string pattern = folder + "\\bench " + (ima ? "ima" : "pcm") + " %04d.%s";
    if (!bench::StartArmed(*engine, chain.release(), pattern)) {
        std::printf("engine thread not started\n");
        return 1;
    }

    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    int32_t at = 0;
    const bench::FeedFault fault = bench::FeedBlocks(
        *engine, kHourBlocks, kAhead, 20000,
        [&](int32_t i) -> const auto& { return blocks[size_t(i) % kDistinctBlocks]; }, &at);
    if (fault != bench::FeedFault::kNone) {
        std::printf("%s at block %d\n", bench::FeedFaultText(fault), at);
        return 1;
    }
    // The worker's end finishes the track: the file is complete when the thread has ended.
    engine->StopAndWait();
    QueryPerformanceCounter(&end);

    char text[kSinkMessageBytes] = "";
    engine->SinkStatus(text);
    const double seconds = double(end.QuadPart - start.QuadPart) / double(freq.QuadPart);
    const double capturedMb = double(kHourBlocks) * kCaptureBlockBytes / 1e6;
    const double audioSeconds = double(kHourBlocks) * kCaptureBlockFrames / kCaptureRate;
    std::printf("format: %s, header every %d blocks\n", ima ? "IMA ADPCM" : "PCM", headerBlocks);
    std::printf("captured MB: %.1f in %.2f s\n", capturedMb, seconds);
    std::printf("MB/s: %.1f\n", capturedMb / seconds);
    std::printf("x real time: %.0f\n", audioSeconds / seconds);
    std::printf("status text: '%s'\n", text);
    return 0;
}
