// Test rig for the capture back-ends: a real, armed TrackEngine whose sink records every byte it
// is asked to write, self-checking test signals, and the checks that find a lost, repeated or
// reordered block in what reached the engine.
//
// Signals are played at 44100 Hz into the turntable. At 44100 Hz the capture is bit-exact, so
// the signal is a frame counter and the check is exact. At 25442 Hz PulseAudio resamples, so
// the signal is a slow linear ramp: a lost or repeated block shows as a jump of ~1700 between
// neighbouring frames and changes the ramp's length by a whole block.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/capture_device.h"
#include "base/critical_section.h"
#include "engine/stream_format.h"
#include "base/thread_event.h"
#include "engine/track_engine.h"
#include "tests/support/bench_audio.h"
#include "tests/support/engine_feed.h"
#include "tests/support/test_sink.h"

namespace capture_test {

constexpr int kPlayRate = 44100;          // the turntable's own rate
constexpr int kLeadFrames = 4410;         // digital silence before each signal
constexpr int32_t kCounterBase = 30000;   // counter frame: left = c % base + 1, right = c / base + 1
constexpr int kRampTop = 30000;           // the ramp rises from 0 to this, then drops to silence
constexpr DWORD kWaitMs = 30000;          // generous bound for anything the bench must deliver

// What the engine wrote, kept by the test so it outlives the engine.
struct Recording {
    CriticalSection lock;
    std::vector<int16_t> samples;     // every written value, in order
    std::vector<int32_t> writeBytes;  // the size of each Write
    int opens = 0;
    int finishes = 0;
    ThreadEvent finished;  // set by each Finish
};

// An output sink that records instead of writing files.
class RecordingSink : public TestSink {
public:
    explicit RecordingSink(Recording* recording) : recording_(recording) {}
    int32_t Write(const void* bytes, int32_t count) override;
    int32_t Finish(uint32_t frames) override;
    int32_t Open(const char* fileName, uint32_t minBytes) override;

private:
    Recording* recording_;
};

// An armed engine feeding a RecordingSink; a track ends after gapBlocks + 1 silent blocks.
class CaptureRig {
public:
    explicit CaptureRig(int32_t gapBlocks = 3);
    ~CaptureRig();

    // True once the engine has processed at least `count` blocks.
    bool WaitProcessed(int32_t count, DWORD timeoutMs = kWaitMs);
    // True once the signal has opened a track in the engine.
    bool WaitTrackOpen(DWORD timeoutMs = kWaitMs);
    // True once the engine has finished a track (the signal and its gap have arrived).
    bool WaitTrackEnd(DWORD timeoutMs = kWaitMs);
    // Ends the engine's worker: an open track is completed with every block it holds.
    void StopEngine();

    Recording recording;
    TrackEngine engine{bench::kNoKeyboard};

private:
    // Wakes on each drained block until `done` holds; false when the time ran out.
    bool WaitDrained(const std::function<bool()>& done, DWORD timeoutMs);
};

// Signals: kLeadFrames of silence, then `frames` frames, then the file ends.
std::vector<int16_t> CounterSignal(int frames);
std::vector<int16_t> RampSignal(int frames);
// Writes a signal into the bench's scratch folder for capture tests; returns the Unix path.
std::string WriteSignal(const std::string& name, const std::vector<int16_t>& samples);

// Each check returns an empty text when the signal arrived whole and in order, else what is
// wrong and where.
// The counter 1..frames, preceded and followed only by silence.
std::string CheckCounter(const std::vector<int16_t>& samples, int frames);
// A counter starting at 1 that may stop anywhere (a capture stopped early); nothing but
// silence after its end. `last` receives the last counter value seen.
std::string CheckCounterPrefix(const std::vector<int16_t>& samples, int32_t* last);
// A ramp of `frames` frames played at 44100 Hz and captured at `rate`.
std::string CheckRamp(const std::vector<int16_t>& samples, int frames, int rate);

// Starts `capture`, plays `wav` once blocks flow, waits until the engine has ended the track
// that the signal opened, then stops the capture quietly and the engine. Failures go to gtest.
void CaptureSignal(CaptureDevice& capture, CaptureRig& rig, const std::string& wav);

// Starts `capture`, plays `wav` through `playback` once blocks flow, and waits until the signal
// has opened a track. Failures go to gtest.
void PlayIntoOpenTrack(CaptureDevice& capture, CaptureRig& rig, const std::string& wav,
                       bench::Playback& playback);

// Starts `capture` whose driver is set to fail, and expects its thread to end by itself with
// `code`, a code the main window can show. Failures go to gtest.
void ExpectEndsByItself(CaptureDevice& capture, LONG code);

// True when the thread ends within the time, by itself or after a stop.
bool WaitEnded(WorkerThread& thread, DWORD timeoutMs = kWaitMs);

// The error text the main window would show for a capture that ended by itself.
std::string WindowErrorCode(LONG lastResult);

}  // namespace capture_test
