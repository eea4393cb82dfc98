// waveIn capture against Wine's waveIn and the turntable: blocks arrive whole and in order at
// both rates, a quiet stop delivers nothing more, a stop keeps the blocks already completed,
// and a failing driver call ends the thread with its own code and releases every header.
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "capture/wave_in_capture.h"
#include "tests/capture/capture_rig.h"
#include "tests/support/bench_audio.h"

namespace {

using namespace capture_test;

constexpr int kCounterFrames = 3 * kPlayRate;  // 3 s
constexpr int kRampFrames = 4 * kPlayRate;     // 4 s

struct RateCase {
    bool mode78;
    const char* deviceName;  // waveIn ignores it: any name records from the preferred device
};

class WaveInDelivery : public ::testing::TestWithParam<RateCase> {};

TEST_P(WaveInDelivery, EveryBlockArrivesWholeAndInOrder) {
    const RateCase param = GetParam();
    CaptureRig rig;
    WaveInCapture capture(param.deviceName, &rig.engine, param.mode78);
    const int frames = param.mode78 ? kRampFrames : kCounterFrames;
    const std::string wav = param.mode78 ? WriteSignal("wavein-ramp", RampSignal(frames))
                                         : WriteSignal("wavein-counter", CounterSignal(frames));
    ASSERT_NO_FATAL_FAILURE(CaptureSignal(capture, rig, wav));

    EXPECT_EQ(rig.engine.blockBytes, kCaptureBlockBytes);
    EXPECT_EQ(rig.recording.opens, 1) << "the signal was split into several tracks";
    for (int32_t bytes : rig.recording.writeBytes) ASSERT_EQ(bytes, kCaptureBlockBytes);
    if (param.mode78) {
        EXPECT_EQ(CheckRamp(rig.recording.samples, frames, kCaptureRate78), "");
    } else {
        EXPECT_EQ(CheckCounter(rig.recording.samples, frames), "");
    }
}

INSTANTIATE_TEST_SUITE_P(BothRates, WaveInDelivery,
                         ::testing::Values(RateCase{false, "Monitor of Null Output"},
                                           RateCase{true, "no such sound card"}));

TEST(WaveInCapture, StoppingFirstEndsQuietlyAndDeliversNothingMore) {
    CaptureRig rig;
    WaveInCapture capture("", &rig.engine, false);
    const std::string wav = WriteSignal("wavein-quiet", CounterSignal(kPlayRate));
    ASSERT_TRUE(capture.Start());
    ASSERT_TRUE(rig.WaitProcessed(2));
    capture.stopping = 1;
    const int32_t processed = rig.engine.ProcessedBlocks();

    // The signal is played after stopping was set: none of it may reach the engine. A block
    // being delivered at the moment stopping was set may still arrive.
    ASSERT_TRUE(bench::PlayAndWait(wav, kWaitMs));
    EXPECT_FALSE(rig.WaitProcessed(processed + 2, 2000)) << "blocks still arrive";
    EXPECT_FALSE(capture.HasEnded());

    capture.StopAndWait();
    EXPECT_EQ(capture.lastResult, 0);
    rig.StopEngine();
    EXPECT_LE(rig.engine.ProcessedBlocks(), processed + 1);
    EXPECT_EQ(rig.recording.opens, 0) << "the signal played after stopping arrived";
}

// ---- Seams: a late capture thread, and driver calls that fail ----

// One test at a time installs its plan; the wrappers run on the capture thread (and, for the
// counters, on whatever thread the driver uses).
struct DriverPlan {
    WaveInCapture* capture = nullptr;
    // Failure injection: the failAt-th call (from 1) of `failing` answers `code`.
    enum Call { kNone, kOpen, kPrepare, kAdd, kStart } failing = kNone;
    int failAt = 0;
    MMRESULT code = MMSYSERR_NOERROR;
    // With a failing add: that add waits until another header is done, so the same recycle
    // adds it too, and every later add answers laterCode.
    MMRESULT laterCode = MMSYSERR_NOERROR;
    int calls[5] = {};
    // Late thread: after the stallAfter-th add, the thread waits until `stallQueued` headers
    // are queued, then the stop event is set.
    volatile LONG stallAfter = 0;  // set by the test thread while the capture runs
    int stallQueued = 0;
    bool stalled = false;
    int queuedAtStop = -1;
    int addsAtStop = 0;
    // A driver that hands back empty headers: the next `emptyHeaders` completed headers come
    // back with no bytes recorded, the one after them with only kShortHeaderBytes.
    volatile LONG emptyHeaders = 0;
    volatile LONG shortHeader = 0;
    // Bookkeeping of the real calls.
    std::set<WAVEHDR*> prepared;
    int closes = 0;
    int starts = 0;
};
DriverPlan plan;

bool Fails(DriverPlan::Call call) {
    ++plan.calls[call];
    return plan.failing == call && plan.calls[call] == plan.failAt;
}

MMRESULT WINAPI PlannedOpen(LPHWAVEIN device, UINT id, LPCWAVEFORMATEX format, DWORD_PTR callback,
                            DWORD_PTR instance, DWORD flags) {
    if (Fails(DriverPlan::kOpen)) return plan.code;
    return waveInOpen(device, id, format, callback, instance, flags);
}

MMRESULT WINAPI PlannedPrepare(HWAVEIN device, LPWAVEHDR header, UINT size) {
    if (Fails(DriverPlan::kPrepare)) return plan.code;
    const MMRESULT result = waveInPrepareHeader(device, header, size);
    if (result == MMSYSERR_NOERROR) plan.prepared.insert(header);
    return result;
}

constexpr DWORD kShortHeaderBytes = 1000;

MMRESULT WINAPI PlannedUnprepare(HWAVEIN device, LPWAVEHDR header, UINT size) {
    const MMRESULT result = waveInUnprepareHeader(device, header, size);
    if (result == MMSYSERR_NOERROR) plan.prepared.erase(header);
    if (plan.emptyHeaders > 0) {
        header->dwBytesRecorded = 0;
        if (InterlockedDecrement(&plan.emptyHeaders) == 0) plan.shortHeader = 1;
    } else if (InterlockedExchange(&plan.shortHeader, 0) != 0) {
        header->dwBytesRecorded = kShortHeaderBytes;
    }
    return result;
}

MMRESULT WINAPI PlannedAdd(HWAVEIN device, LPWAVEHDR header, UINT size) {
    if (Fails(DriverPlan::kAdd)) {
        const DWORD start = GetTickCount();
        while (plan.laterCode != MMSYSERR_NOERROR && plan.capture->QueuedHeaders() < 1 &&
               GetTickCount() - start < kWaitMs) {
            Sleep(10);  // polling the done list while the driver fills the next header
        }
        return plan.code;
    }
    if (plan.laterCode != MMSYSERR_NOERROR && plan.failing == DriverPlan::kAdd &&
        plan.calls[DriverPlan::kAdd] > plan.failAt) {
        return plan.laterCode;
    }
    if (plan.stallAfter && !plan.stalled && plan.calls[DriverPlan::kAdd] >= plan.stallAfter) {
        plan.stalled = true;
        const DWORD start = GetTickCount();
        while (plan.capture->QueuedHeaders() < plan.stallQueued && GetTickCount() - start < kWaitMs) {
            Sleep(10);  // polling the done list while the driver fills headers
        }
        plan.queuedAtStop = plan.capture->QueuedHeaders();
        plan.addsAtStop = plan.calls[DriverPlan::kAdd];
        plan.capture->stopEvent.Set();
    }
    return waveInAddBuffer(device, header, size);
}

MMRESULT WINAPI PlannedStart(HWAVEIN device) {
    ++plan.starts;
    if (Fails(DriverPlan::kStart)) return plan.code;
    return waveInStart(device);
}

MMRESULT WINAPI PlannedClose(HWAVEIN device) {
    ++plan.closes;
    return waveInClose(device);
}

WaveInApi PlannedApi() {
    WaveInApi api;
    api.open = &PlannedOpen;
    api.prepareHeader = &PlannedPrepare;
    api.unprepareHeader = &PlannedUnprepare;
    api.addBuffer = &PlannedAdd;
    api.start = &PlannedStart;
    api.close = &PlannedClose;
    return api;
}

void InstallPlan(WaveInCapture& capture) { plan.capture = &capture; }

TEST(WaveInCapture, StopDeliversTheBlocksAlreadyCompleted) {
    plan = DriverPlan();
    CaptureRig rig;
    WaveInCapture capture("", &rig.engine, false, PlannedApi());
    InstallPlan(capture);
    const std::string wav = WriteSignal("wavein-stop", CounterSignal(kCounterFrames));
    bench::Playback playback;
    ASSERT_NO_FATAL_FAILURE(PlayIntoOpenTrack(capture, rig, wav, playback));

    // The thread stalls in its next recycle until three more headers wait in the done list,
    // and the stop is asked for while they wait.
    plan.stallQueued = 3;
    InterlockedExchange(&plan.stallAfter, plan.calls[DriverPlan::kAdd] + 1);
    ASSERT_TRUE(WaitEnded(capture)) << "the stop was never asked for";
    ASSERT_GE(plan.queuedAtStop, 3);
    EXPECT_EQ(capture.lastResult, 0);
    rig.StopEngine();

    // Every header recycled before the stop, plus every one queued at the stop, was delivered;
    // at most the few that completed while the thread caught up come on top.
    const int deliveredBeforeStop = plan.addsAtStop - kWaveInHeaders;
    const int32_t delivered = rig.engine.ProcessedBlocks();
    EXPECT_GE(delivered, deliveredBeforeStop + plan.queuedAtStop);
    EXPECT_LE(delivered, deliveredBeforeStop + plan.queuedAtStop + 2);
    // The partial block that the stop returns is not delivered.
    for (int32_t bytes : rig.recording.writeBytes) ASSERT_EQ(bytes, kCaptureBlockBytes);
    int32_t last = 0;
    EXPECT_EQ(CheckCounterPrefix(rig.recording.samples, &last), "");
    EXPECT_GT(last, 0);
    EXPECT_TRUE(plan.prepared.empty()) << plan.prepared.size() << " headers left prepared";
    EXPECT_EQ(plan.closes, 1);
}

TEST(WaveInCapture, EmptyHeadersAreNoBlocksAndShortOnesArriveWithTheirLength) {
    plan = DriverPlan();
    CaptureRig rig;  // four silent blocks end a track
    WaveInCapture capture("", &rig.engine, false, PlannedApi());
    InstallPlan(capture);
    const std::string wav = WriteSignal("wavein-empty", CounterSignal(kCounterFrames));
    bench::Playback playback;
    ASSERT_NO_FATAL_FAILURE(PlayIntoOpenTrack(capture, rig, wav, playback));

    // Inside the signal the driver returns four empty headers, then a short one.
    InterlockedExchange(&plan.emptyHeaders, 4);
    EXPECT_TRUE(playback.Wait(kWaitMs));
    ASSERT_TRUE(rig.WaitTrackEnd());
    capture.stopping = 1;
    capture.StopAndWait();
    rig.StopEngine();
    EXPECT_EQ(plan.emptyHeaders, 0);
    EXPECT_EQ(rig.recording.opens, 1) << "empty headers counted as silence and split the track";
    std::vector<int32_t> sizes;
    for (int32_t bytes : rig.recording.writeBytes) {
        if (bytes != kCaptureBlockBytes) sizes.push_back(bytes);
    }
    EXPECT_EQ(sizes, std::vector<int32_t>{int32_t(kShortHeaderBytes)});
}

struct FailureCase {
    const char* what;
    DriverPlan::Call call;
    int failAt;
    MMRESULT code;
    bool started;  // the failure comes after waveInStart
    MMRESULT laterCode = MMSYSERR_NOERROR;  // of the adds after a failing one
};

class WaveInFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(WaveInFailure, ThreadEndsByItselfWithTheCodeAndReleasesEverything) {
    const FailureCase param = GetParam();
    plan = DriverPlan();
    plan.failing = param.call;
    plan.failAt = param.failAt;
    plan.code = param.code;
    plan.laterCode = param.laterCode;
    CaptureRig rig;
    WaveInCapture capture("", &rig.engine, false, PlannedApi());
    InstallPlan(capture);
    ASSERT_NO_FATAL_FAILURE(ExpectEndsByItself(capture, LONG(param.code)));
    EXPECT_EQ(plan.starts, param.started || param.call == DriverPlan::kStart ? 1 : 0);
    EXPECT_EQ(rig.engine.blockBytes, param.started ? kCaptureBlockBytes : 0);
    EXPECT_TRUE(plan.prepared.empty()) << plan.prepared.size() << " headers left prepared";
    EXPECT_EQ(plan.closes, param.call == DriverPlan::kOpen ? 0 : 1);
    rig.StopEngine();
    if (param.started) {
        // The blocks recycled before the failure arrived, and only whole ones.
        EXPECT_GE(rig.engine.ProcessedBlocks(), param.failAt - kWaveInHeaders);
        for (int32_t bytes : rig.recording.writeBytes) EXPECT_EQ(bytes, kCaptureBlockBytes);
    } else {
        EXPECT_EQ(rig.engine.ProcessedBlocks(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    DriverCalls, WaveInFailure,
    ::testing::Values(
        // Another program holds the device.
        FailureCase{"open", DriverPlan::kOpen, 1, MMSYSERR_ALLOCATED, false},
        FailureCase{"fifth prepare", DriverPlan::kPrepare, 5, MMSYSERR_NOMEM, false},
        FailureCase{"last first add", DriverPlan::kAdd, kWaveInHeaders, MMSYSERR_INVALPARAM, false},
        FailureCase{"start", DriverPlan::kStart, 1, MMSYSERR_ERROR, false},
        // The sixth recycle: the capture had been running for ~0.8 s.
        FailureCase{"add while capturing", DriverPlan::kAdd, kWaveInHeaders + 6, MMSYSERR_NOMEM,
                    true},
        // The first failure is the one reported, not a later one of the same recycle.
        FailureCase{"two adds failing", DriverPlan::kAdd, kWaveInHeaders + 6, MMSYSERR_NOMEM,
                    true, MMSYSERR_INVALPARAM}),
    [](const ::testing::TestParamInfo<FailureCase>& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            if (c == ' ') c = '_';
        }
        return name;
    });

}  // namespace
