// The sample format every captured block has, and the process-wide values the output side
// assumes for it.
#pragma once

#include <cstdint>

constexpr int kCaptureChannels = 2;
constexpr int kCaptureBitsPerSample = 16;
constexpr int kCaptureFrameBytes = 4;                  // 16-bit stereo
constexpr int32_t kCaptureBlockFrames = 5880;
constexpr int32_t kCaptureBlockBytes = kCaptureBlockFrames * kCaptureFrameBytes;  // 23520
constexpr int32_t kCaptureBlockValues = kCaptureBlockBytes / 2;                   // 11760
constexpr int32_t kCaptureRate = 44100;
constexpr int32_t kCaptureRate78 = 25442;  // a 78 played at 45 rpm comes out at true speed
// Blocks are shown as seconds with whole numbers of blocks per second (7.5 and 4.33 really).
constexpr int32_t kBlocksPerSecond = 7;
constexpr int32_t kBlocksPerSecond78 = 4;

constexpr int kSeparatorBytes = 5;  // a locale separator: at most 4 characters and the end

// The sample rate the output side assumes for captured samples: 44100 unless the command line
// sets another. Set once at start-up.
extern int32_t StreamRate;
// The locale's time separator for the interface language, fetched with the settings.
extern char TimeSeparator[kSeparatorBytes];
