// Capture test rig: recording sink, armed engine, signals and their checks (see capture_rig.h).
#include "tests/capture/capture_rig.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/bench_audio.h"
#include "tests/support/engine_feed.h"

namespace capture_test {

int32_t RecordingSink::Write(const void* bytes, int32_t count) {
    auto lock = recording_->lock.Lock();
    const auto* values = static_cast<const int16_t*>(bytes);
    recording_->samples.insert(recording_->samples.end(), values, values + count / 2);
    recording_->writeBytes.push_back(count);
    return 0;
}

int32_t RecordingSink::Finish(uint32_t) {
    open_ = false;
    {
        auto lock = recording_->lock.Lock();
        ++recording_->finishes;
    }
    recording_->finished.Set();
    return 0;
}

int32_t RecordingSink::Open(const char*, uint32_t) {
    open_ = true;
    auto lock = recording_->lock.Lock();
    ++recording_->opens;
    return 0;
}

CaptureRig::CaptureRig(int32_t gapBlocks) {
    auto sink = std::make_unique<RecordingSink>(&recording);
    sink->Prepare(kCaptureBlockBytes);  // as the window prepares a new chain
    engine.gapBlocks = gapBlocks;
    engine.discardBlocks = 0;
    const std::string folder = bench::WindowsPath(bench::ScratchDir("capture-tracks"));
    EXPECT_TRUE(bench::StartArmed(engine, sink.release(), folder + "\\take %04d.%s"));
}

CaptureRig::~CaptureRig() { StopEngine(); }

bool CaptureRig::WaitDrained(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        WaitForSingleObject(engine.DrainedEvent(), 100);
    }
    return true;
}

bool CaptureRig::WaitProcessed(int32_t count, DWORD timeoutMs) {
    return WaitDrained([&] { return engine.ProcessedBlocks() >= count; }, timeoutMs);
}

bool CaptureRig::WaitTrackOpen(DWORD timeoutMs) {
    return WaitDrained([&] { return engine.IsTrackOpen(); }, timeoutMs);
}

bool CaptureRig::WaitTrackEnd(DWORD timeoutMs) {
    return WaitForSingleObject(recording.finished.Handle(), timeoutMs) == WAIT_OBJECT_0;
}

void CaptureRig::StopEngine() { engine.StopAndWait(); }

namespace {

std::vector<int16_t> Silence(int frames) { return std::vector<int16_t>(size_t(frames) * 2, 0); }

// Frame c (from 1) of the counter signal.
void CounterFrame(int32_t c, int16_t* frame) {
    frame[0] = int16_t(c % kCounterBase + 1);
    frame[1] = int16_t(c / kCounterBase + 1);
}

// The counter value of a frame, 0 for silence, -1 for a frame no counter can produce.
int32_t DecodeCounter(int16_t left, int16_t right) {
    if (left == 0 && right == 0) return 0;
    if (left < 1 || left > kCounterBase || right < 1) return -1;
    return int32_t(right - 1) * kCounterBase + (left - 1);
}

}  // namespace

std::vector<int16_t> CounterSignal(int frames) {
    std::vector<int16_t> samples = Silence(kLeadFrames + frames);
    for (int i = 0; i < frames; ++i) CounterFrame(i + 1, &samples[size_t(kLeadFrames + i) * 2]);
    return samples;
}

std::vector<int16_t> RampSignal(int frames) {
    std::vector<int16_t> samples = Silence(kLeadFrames + frames);
    for (int i = 0; i < frames; ++i) {
        const int16_t v = int16_t(std::lround(double(kRampTop) * i / frames));
        samples[size_t(kLeadFrames + i) * 2] = v;
        samples[size_t(kLeadFrames + i) * 2 + 1] = int16_t(-v);
    }
    return samples;
}

std::string WriteSignal(const std::string& name, const std::vector<int16_t>& samples) {
    const std::string path = bench::ScratchDir("capture-signals-" + name) + "/" + name + ".wav";
    return bench::WriteStereoWav(path, kPlayRate, samples) ? path : std::string();
}

std::string CheckCounterPrefix(const std::vector<int16_t>& samples, int32_t* last) {
    const size_t frames = samples.size() / 2;
    size_t i = 0;
    while (i < frames && DecodeCounter(samples[2 * i], samples[2 * i + 1]) == 0) ++i;
    if (i == frames) return "no counter arrived";
    const size_t first = i;
    int32_t expected = 1;
    std::ostringstream fault;
    for (; i < frames; ++i) {
        const int32_t c = DecodeCounter(samples[2 * i], samples[2 * i + 1]);
        if (c == 0) break;
        if (c != expected) {
            fault << "frame " << i << " holds counter " << c << " where " << expected
                  << " was due (" << (c > expected ? "lost " : "repeated ")
                  << std::abs(c - expected) << " frames, " << std::abs(c - expected) / 5880.0
                  << " blocks)";
            return fault.str();
        }
        ++expected;
    }
    *last = expected - 1;
    for (; i < frames; ++i) {
        if (samples[2 * i] != 0 || samples[2 * i + 1] != 0) {
            fault << "frame " << i << " is not silent after the counter ended at " << *last
                  << " (counter began at frame " << first << ")";
            return fault.str();
        }
    }
    return std::string();
}

std::string CheckCounter(const std::vector<int16_t>& samples, int frames) {
    int32_t last = 0;
    const std::string fault = CheckCounterPrefix(samples, &last);
    if (!fault.empty()) return fault;
    if (last != frames) {
        std::ostringstream text;
        text << "the counter ended at " << last << " instead of " << frames;
        return text.str();
    }
    return std::string();
}

std::string CheckRamp(const std::vector<int16_t>& samples, int frames, int rate) {
    // Judged between two levels well inside the ramp, away from the resampler's ringing at its
    // end; a neighbour step above kMaxStep is a discontinuity (noise stays within ±5).
    constexpr int kLow = 1000;
    constexpr int kHigh = kRampTop - 1000;
    constexpr int kMaxStep = 40;
    constexpr int kMaxChannelMismatch = 8;
    const size_t count = samples.size() / 2;
    size_t begin = 0;
    while (begin < count && samples[2 * begin] < kLow) ++begin;
    size_t end = begin;
    while (end < count && samples[2 * end] < kHigh) ++end;
    std::ostringstream fault;
    if (begin == count || end == count) {
        fault << "no whole ramp arrived (" << count << " frames)";
        return fault.str();
    }
    for (size_t i = begin; i < end; ++i) {
        const int step = samples[2 * (i + 1)] - samples[2 * i];
        if (std::abs(step) > kMaxStep) {
            fault << "the ramp jumps by " << step << " at frame " << i << " ("
                  << (step > 0 ? "a lost" : "a repeated or reordered") << " block)";
            return fault.str();
        }
        if (std::abs(samples[2 * i] + samples[2 * i + 1]) > kMaxChannelMismatch) {
            fault << "the right channel is not the left one inverted at frame " << i;
            return fault.str();
        }
    }
    const double expected = double(kHigh - kLow) / kRampTop * frames * rate / kPlayRate;
    const double measured = double(end - begin);
    if (std::fabs(measured - expected) > 5 + expected * 0.001) {
        fault << "the ramp lasts " << measured << " frames instead of " << expected
              << " (a block is 5880)";
        return fault.str();
    }
    return std::string();
}

void CaptureSignal(CaptureDevice& capture, CaptureRig& rig, const std::string& wav) {
    ASSERT_FALSE(wav.empty()) << "the test signal could not be written";
    ASSERT_TRUE(capture.Start());
    ASSERT_TRUE(rig.WaitProcessed(1)) << "no block arrived; lastResult " << capture.lastResult;
    bench::Playback playback;
    ASSERT_TRUE(playback.Start(wav));
    EXPECT_TRUE(playback.Wait(kWaitMs)) << "paplay failed or did not finish";
    EXPECT_TRUE(rig.WaitTrackEnd()) << "the signal never ended a track";
    EXPECT_FALSE(capture.HasEnded()) << "the capture ended by itself: " << capture.lastResult;
    capture.stopping = 1;
    capture.StopAndWait();
    EXPECT_EQ(capture.lastResult, 0);
    rig.StopEngine();
}

void PlayIntoOpenTrack(CaptureDevice& capture, CaptureRig& rig, const std::string& wav,
                       bench::Playback& playback) {
    ASSERT_TRUE(capture.Start());
    ASSERT_TRUE(rig.WaitProcessed(1));
    ASSERT_TRUE(playback.Start(wav));
    ASSERT_TRUE(rig.WaitTrackOpen()) << "the signal never arrived";
}

void ExpectEndsByItself(CaptureDevice& capture, LONG code) {
    ASSERT_TRUE(capture.Start());
    ASSERT_TRUE(WaitEnded(capture)) << "the thread did not end by itself";
    EXPECT_EQ(capture.stopping, 0);
    EXPECT_EQ(capture.lastResult, code);
    EXPECT_NE(WindowErrorCode(capture.lastResult), "00000000");
}

bool WaitEnded(WorkerThread& thread, DWORD timeoutMs) {
    return thread.ThreadHandle() &&
           WaitForSingleObject(thread.ThreadHandle(), timeoutMs) == WAIT_OBJECT_0;
}

std::string WindowErrorCode(LONG lastResult) {
    char text[16];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(lastResult));
    return text;
}

}  // namespace capture_test
