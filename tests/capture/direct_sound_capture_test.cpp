// DirectSound capture against Wine's dsound and the turntable: blocks arrive whole and in order at
// both rates, the device name picks a device by its exact description, a late thread reads
// several blocks at once and a wrap end first, a stop keeps what was captured, and every
// failure ends the thread with a code the window can show.
//
// The seams used: the function lookup (to see which device identifier reaches
// DirectSoundCaptureCreate8, and to hide the library or a function), the wait (to make the
// thread late by swallowing block notifications) and the buffer lock (to fail a read).
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "capture/direct_sound_capture.h"
#include "tests/capture/capture_rig.h"
#include "tests/support/bench_audio.h"

namespace {

using namespace capture_test;

constexpr int kCounterFrames = 3 * kPlayRate;
constexpr int kRampFrames = 4 * kPlayRate;
constexpr DWORD kBlock = kCaptureBlockBytes;

// ---- The plan the seam functions follow; one test at a time ----

struct Read {
    DWORD offset;
    DWORD bytes1;
    DWORD bytes2;
};

struct DirectSoundPlan {
    DirectSoundCapture* capture = nullptr;
    bool noLibrary = false;
    bool noCreate = false;
    bool noEnumerate = false;
    // DirectSoundCaptureCreate8 as called through the lookup.
    int creates = 0;
    bool createdWithGuid = false;
    GUID createdGuid = {};
    bool devicesDiffer = false;  // a later call asked for another device than the first
    // Reads (the capture thread's buffer locks); the failAt-th lock answers failCode.
    std::vector<Read> reads;       // read by the test only after the thread has ended
    volatile LONG readCount = 0;   // the same count, for the test while the thread runs
    int failAt = 0;
    HRESULT failCode = S_OK;
    // Late thread: 1 = read three blocks at once from the start of the buffer, then a region
    // that wraps from block 5; 0 = normal waits.
    volatile LONG lateReads = 0;
    int latePhase = 0;
    // Stop: swallow two block notifications, then stop as if the stop event had woken the loop.
    volatile LONG stopLate = 0;
    DWORD offsetAtStop = 0;
    size_t readsAtStop = 0;
    DWORD threadId = 0;
    // A buffer that never starts, as Wine sometimes gives one: the next waits with a time-out
    // answer it at once, before any block can have been captured.
    int stalledWaits = 0;
};
DirectSoundPlan plan;
HRESULT(WINAPI* realCreate)(LPCGUID, LPDIRECTSOUNDCAPTURE8*, LPUNKNOWN) = nullptr;

HRESULT WINAPI RecordingCreate(LPCGUID guid, LPDIRECTSOUNDCAPTURE8* capture, LPUNKNOWN outer) {
    const GUID asked = guid ? *guid : GUID{};
    if (plan.creates > 0 && ((guid != nullptr) != plan.createdWithGuid ||
                             std::memcmp(&asked, &plan.createdGuid, sizeof asked) != 0)) {
        plan.devicesDiffer = true;
    }
    ++plan.creates;
    plan.createdWithGuid = guid != nullptr;
    plan.createdGuid = asked;
    return realCreate(guid, capture, outer);
}

HMODULE WINAPI PlannedLoadLibrary(LPCSTR name) {
    if (plan.noLibrary) return nullptr;
    return LoadLibraryA(name);
}

FARPROC WINAPI PlannedGetProcAddress(HMODULE module, LPCSTR name) {
    if (std::strcmp(name, "DirectSoundCaptureCreate8") == 0) {
        if (plan.noCreate) return nullptr;
        realCreate = reinterpret_cast<decltype(realCreate)>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&RecordingCreate));
    }
    if (std::strcmp(name, "DirectSoundCaptureEnumerateA") == 0 && plan.noEnumerate) return nullptr;
    return GetProcAddress(module, name);
}

HRESULT PlannedLock(IDirectSoundCaptureBuffer* buffer, DWORD offset, DWORD bytes, void** part1,
                    DWORD* bytes1, void** part2, DWORD* bytes2) {
    InterlockedIncrement(&plan.readCount);
    if (int(plan.reads.size()) + 1 == plan.failAt) {
        plan.reads.push_back(Read{offset, 0, 0});
        return plan.failCode;
    }
    const HRESULT result = DirectSoundApi::LockBuffer(buffer, offset, bytes, part1, bytes1, part2, bytes2);
    plan.reads.push_back(Read{offset, *bytes1, *part2 ? *bytes2 : 0});
    return result;
}

// Swallows `count` block notifications: the capture goes on while the thread does not read.
void SwallowNotifications(HANDLE notifyEvent, int count) {
    for (int i = 0; i < count; ++i) WaitForSingleObject(notifyEvent, kWaitMs);
}

DWORD WINAPI PlannedWait(DWORD count, const HANDLE* handles, BOOL all, DWORD timeout, DWORD mask) {
    plan.threadId = GetCurrentThreadId();
    if (plan.stalledWaits > 0 && timeout != INFINITE) {
        --plan.stalledWaits;
        return WAIT_TIMEOUT;
    }
    DirectSoundCapture* capture = plan.capture;
    if (plan.lateReads) {
        const DWORD block = capture->NextOffset() / capture->NotifySize();
        if (plan.latePhase == 0 && block == 0) {
            SwallowNotifications(handles[0], 2);  // the read at the third one takes 0, 1, 2
            plan.latePhase = 1;
        } else if (plan.latePhase == 1 && block == 5) {
            SwallowNotifications(handles[0], 3);  // at the fourth: 5, 6 and 0 at least
            plan.latePhase = 2;
            plan.lateReads = 0;
        }
    }
    if (plan.stopLate) {
        plan.stopLate = 0;
        SwallowNotifications(handles[0], 2);
        plan.offsetAtStop = capture->NextOffset();
        plan.readsAtStop = plan.reads.size();
        capture->stopEvent.Set();
        return WAIT_OBJECT_0 + 2;
    }
    return MsgWaitForMultipleObjects(count, handles, all, timeout, mask);
}

DirectSoundApi PlannedApi() {
    DirectSoundApi api;
    api.loadLibrary = &PlannedLoadLibrary;
    api.getProcAddress = &PlannedGetProcAddress;
    api.msgWait = &PlannedWait;
    api.lockBuffer = &PlannedLock;
    return api;
}

void InstallPlan(DirectSoundCapture& capture) { plan.capture = &capture; }

// ---- Delivery at both rates ----

class DirectSoundDelivery : public ::testing::TestWithParam<bool> {};

TEST_P(DirectSoundDelivery, EveryBlockArrivesWholeAndInOrder) {
    const bool mode78 = GetParam();
    CaptureRig rig;
    DirectSoundCapture capture("", &rig.engine, mode78);
    const int frames = mode78 ? kRampFrames : kCounterFrames;
    const std::string wav = mode78 ? WriteSignal("ds-ramp", RampSignal(frames))
                                   : WriteSignal("ds-counter", CounterSignal(frames));
    ASSERT_NO_FATAL_FAILURE(CaptureSignal(capture, rig, wav));

    EXPECT_EQ(rig.engine.blockBytes, kCaptureBlockBytes);
    EXPECT_EQ(rig.recording.opens, 1) << "the signal was split into several tracks";
    for (int32_t bytes : rig.recording.writeBytes) EXPECT_EQ(bytes % kCaptureBlockBytes, 0);
    if (mode78) {
        EXPECT_EQ(CheckRamp(rig.recording.samples, frames, kCaptureRate78), "");
    } else {
        EXPECT_EQ(CheckCounter(rig.recording.samples, frames), "");
    }
}

INSTANTIATE_TEST_SUITE_P(BothRates, DirectSoundDelivery, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Rate25442" : "Rate44100");
                         });

// ---- The device name ----

struct Entry {
    bool hasGuid;
    GUID guid;
    std::string description;
};

BOOL CALLBACK CollectEntry(LPGUID guid, LPCSTR description, LPCSTR, LPVOID context) {
    auto* entries = static_cast<std::vector<Entry>*>(context);
    entries->push_back(Entry{guid != nullptr, guid ? *guid : GUID{}, description});
    return TRUE;
}

std::vector<Entry> CaptureDevices() {
    std::vector<Entry> entries;
    EXPECT_EQ(DirectSoundCaptureEnumerateA(&CollectEntry, &entries), DS_OK);
    return entries;
}

struct NameCase {
    const char* what;
    const char* deviceName;
    const char* matches;  // the description of the entry that must be chosen; null: the default
    bool withSignal;      // also check that the signal arrives through the chosen device
    int stalledWaits = 0;  // the first buffer never starts: it is made anew
};

class DirectSoundDeviceName : public ::testing::TestWithParam<NameCase> {};

// The capture was made on one device. Wine sometimes leaves a buffer unstarted, and the capture
// then makes it anew (ABufferThatNeverStartsIsMadeAnew): more than one call, the same device.
void ExpectOneDevice() {
    EXPECT_GE(plan.creates, 1);
    EXPECT_FALSE(plan.devicesDiffer);
}

TEST_P(DirectSoundDeviceName, PicksTheDeviceWithExactlyThatDescription) {
    const NameCase param = GetParam();
    plan = DirectSoundPlan();
    plan.stalledWaits = param.stalledWaits;
    const std::vector<Entry> entries = CaptureDevices();
    GUID expected = {};
    if (param.matches) {
        bool found = false;
        for (const Entry& entry : entries) {
            if (entry.hasGuid && entry.description == param.matches) {
                expected = entry.guid;
                found = true;
            }
        }
        ASSERT_TRUE(found) << "the bench has no capture device \"" << param.matches << "\"";
    }

    CaptureRig rig;
    DirectSoundCapture capture(param.deviceName, &rig.engine, false, PlannedApi());
    InstallPlan(capture);
    if (param.withSignal) {
        ASSERT_NO_FATAL_FAILURE(
            CaptureSignal(capture, rig, WriteSignal("ds-name", CounterSignal(kPlayRate))));
        EXPECT_EQ(CheckCounter(rig.recording.samples, kPlayRate), "");
    } else {
        ASSERT_TRUE(capture.Start());
        EXPECT_TRUE(rig.WaitProcessed(1)) << "no block arrived; lastResult " << capture.lastResult;
        capture.stopping = 1;
        capture.StopAndWait();
    }
    EXPECT_EQ(capture.lastResult, 0);
    ExpectOneDevice();
    if (param.stalledWaits > 0) EXPECT_GE(plan.creates, 2);
    EXPECT_EQ(std::memcmp(&capture.DeviceGuid(), &expected, sizeof expected), 0);
    EXPECT_EQ(plan.createdWithGuid, param.matches != nullptr);
    if (param.matches) {
        EXPECT_EQ(std::memcmp(&plan.createdGuid, &expected, sizeof expected), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, DirectSoundDeviceName,
    ::testing::Values(
        NameCase{"exact", "Monitor of Null Output", "Monitor of Null Output", true},
        NameCase{"nothing_matches", "No Such Sound Card", nullptr, true},
        NameCase{"other_exact", "PulseAudio", "PulseAudio", false},
        NameCase{"exact_made_anew", "Monitor of Null Output", "Monitor of Null Output", false, 1},
        NameCase{"other_case", "monitor of null output", nullptr, false},
        NameCase{"prefix", "Monitor of Null", nullptr, false},
        NameCase{"longer", "Monitor of Null Output ", nullptr, false},
        // The default device's entry has no identifier: its name never selects anything.
        NameCase{"default_entry", "Primary Sound Driver", nullptr, false},
        NameCase{"empty", "", nullptr, false}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.what); });

TEST(DirectSoundCapture, WithoutTheEnumerationFunctionCapturesFromTheDefaultDevice) {
    plan = DirectSoundPlan();
    plan.noEnumerate = true;
    CaptureRig rig;
    DirectSoundCapture capture("Monitor of Null Output", &rig.engine, false, PlannedApi());
    InstallPlan(capture);
    ASSERT_TRUE(capture.Start());
    EXPECT_TRUE(rig.WaitProcessed(1)) << "no block arrived; lastResult " << capture.lastResult;
    capture.StopAndWait();
    EXPECT_EQ(capture.lastResult, 0);
    ExpectOneDevice();
    EXPECT_FALSE(plan.createdWithGuid);
}

TEST(DirectSoundCapture, ABufferThatNeverStartsIsMadeAnew) {
    plan = DirectSoundPlan();
    plan.stalledWaits = 1;
    CaptureRig rig;
    DirectSoundCapture capture("", &rig.engine, false, PlannedApi());
    InstallPlan(capture);
    ASSERT_TRUE(capture.Start());
    EXPECT_TRUE(rig.WaitProcessed(1)) << "no block arrived; lastResult " << capture.lastResult;
    capture.StopAndWait();
    EXPECT_EQ(capture.lastResult, 0);
    EXPECT_GE(plan.creates, 2);  // more when Wine itself left one unstarted too
}

// ---- A late thread ----

TEST(DirectSoundCapture, LateThreadReadsSeveralBlocksAsOnePartAndAWrapEndFirst) {
    plan = DirectSoundPlan();
    CaptureRig rig;
    DirectSoundCapture capture("", &rig.engine, false, PlannedApi());
    InstallPlan(capture);
    const int frames = 4 * kPlayRate;
    const std::string wav = WriteSignal("ds-late", CounterSignal(frames));
    bench::Playback playback;
    ASSERT_NO_FATAL_FAILURE(PlayIntoOpenTrack(capture, rig, wav, playback));
    InterlockedExchange(&plan.lateReads, 1);
    EXPECT_TRUE(playback.Wait(kWaitMs));
    EXPECT_TRUE(rig.WaitTrackEnd());
    capture.stopping = 1;
    capture.StopAndWait();
    rig.StopEngine();
    ASSERT_EQ(plan.latePhase, 2) << "the late reads did not happen while the signal played";

    // The capture thread's reads: one from the start of the buffer of two or more blocks in one
    // part, and one from block 5 that wraps: the two end blocks first, then the start.
    bool onePart = false;
    bool wrapped = false;
    for (const Read& read : plan.reads) {
        if (read.offset == 0 && read.bytes1 >= 2 * kBlock && read.bytes2 == 0) onePart = true;
        if (read.offset == 5 * kBlock && read.bytes1 == 2 * kBlock && read.bytes2 >= kBlock) {
            wrapped = true;
        }
    }
    EXPECT_TRUE(onePart) << "no read of several blocks in one part";
    EXPECT_TRUE(wrapped) << "no wrapped read";

    // The engine got each part as one block, in order, and nothing was lost or repeated.
    const std::vector<int32_t>& writes = rig.recording.writeBytes;
    bool severalInOne = false;
    bool wrapInTwo = false;
    for (size_t i = 0; i < writes.size(); ++i) {
        if (writes[i] >= int32_t(2 * kBlock)) severalInOne = true;
        if (i + 1 < writes.size() && writes[i] == int32_t(2 * kBlock) &&
            writes[i + 1] >= int32_t(kBlock)) {
            wrapInTwo = true;
        }
    }
    EXPECT_TRUE(severalInOne);
    EXPECT_TRUE(wrapInTwo);
    EXPECT_EQ(CheckCounter(rig.recording.samples, frames), "");
}

// ---- Stopping ----

TEST(DirectSoundCapture, StopDeliversTheBlocksAlreadyCaptured) {
    plan = DirectSoundPlan();
    CaptureRig rig;
    DirectSoundCapture capture("", &rig.engine, false, PlannedApi());
    InstallPlan(capture);
    const std::string wav = WriteSignal("ds-stop", CounterSignal(kCounterFrames));
    bench::Playback playback;
    ASSERT_NO_FATAL_FAILURE(PlayIntoOpenTrack(capture, rig, wav, playback));
    // Two blocks are captured but not read when the stop comes.
    InterlockedExchange(&plan.stopLate, 1);
    ASSERT_TRUE(WaitEnded(capture));
    EXPECT_EQ(capture.lastResult, 0);
    rig.StopEngine();

    // Exactly one read after the stop, from where the reading had got to, of at least the two
    // blocks; it reached the engine as the last one or two blocks.
    ASSERT_EQ(plan.reads.size(), plan.readsAtStop + 1);
    const Read last = plan.reads.back();
    EXPECT_EQ(last.offset, plan.offsetAtStop);
    EXPECT_GE(last.bytes1 + last.bytes2, 2 * kBlock);
    const std::vector<int32_t>& writes = rig.recording.writeBytes;
    ASSERT_GE(writes.size(), 2u);
    const DWORD tail = last.bytes2 ? DWORD(writes[writes.size() - 2] + writes.back())
                                   : DWORD(writes.back());
    EXPECT_EQ(tail, last.bytes1 + last.bytes2);
    int32_t lastCounter = 0;
    EXPECT_EQ(CheckCounterPrefix(rig.recording.samples, &lastCounter), "");
    EXPECT_GT(lastCounter, 0);
}

TEST(DirectSoundCapture, StoppingFirstEndsQuietlyAndDeliversNothingMore) {
    plan = DirectSoundPlan();
    CaptureRig rig;
    DirectSoundCapture capture("", &rig.engine, false, PlannedApi());
    InstallPlan(capture);
    const std::string wav = WriteSignal("ds-quiet", CounterSignal(kPlayRate));
    ASSERT_TRUE(capture.Start());
    ASSERT_TRUE(rig.WaitProcessed(2));
    capture.stopping = 1;
    const int32_t processed = rig.engine.ProcessedBlocks();
    const LONG reads = plan.readCount;

    ASSERT_TRUE(bench::PlayAndWait(wav, kWaitMs));
    EXPECT_FALSE(rig.WaitProcessed(processed + 2, 2000)) << "blocks still arrive";
    EXPECT_FALSE(capture.HasEnded());
    capture.StopAndWait();
    EXPECT_EQ(capture.lastResult, 0);
    rig.StopEngine();
    EXPECT_LE(rig.engine.ProcessedBlocks(), processed + 1);
    EXPECT_EQ(rig.recording.opens, 0) << "the signal played after stopping arrived";
    // The reads went on, so the buffer kept being drained.
    EXPECT_GT(plan.readCount, reads + 3);
}

TEST(DirectSoundCapture, QuitMessageEndsTheCaptureLikeAStop) {
    plan = DirectSoundPlan();
    CaptureRig rig;
    DirectSoundCapture capture("", &rig.engine, false, PlannedApi());
    InstallPlan(capture);
    ASSERT_TRUE(capture.Start());
    ASSERT_TRUE(rig.WaitProcessed(1));
    ASSERT_NE(plan.threadId, 0u);
    ASSERT_TRUE(PostThreadMessageA(plan.threadId, WM_QUIT, 0, 0));
    EXPECT_TRUE(WaitEnded(capture)) << "WM_QUIT did not end the capture";
    EXPECT_EQ(capture.lastResult, 0);
}

// ---- Failures ----

struct FailureCase {
    const char* what;
    bool noLibrary;
    bool noCreate;
    int failingRead;
    int stalledWaits;
    int creates;  // DirectSoundCaptureCreate8 calls
    HRESULT code;
};

class DirectSoundFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DirectSoundFailure, ThreadEndsByItselfWithACodeTheWindowCanShow) {
    const FailureCase param = GetParam();
    plan = DirectSoundPlan();
    plan.noLibrary = param.noLibrary;
    plan.noCreate = param.noCreate;
    plan.failAt = param.failingRead;
    plan.failCode = param.code;
    plan.stalledWaits = param.stalledWaits;
    CaptureRig rig;
    DirectSoundCapture capture("", &rig.engine, false, PlannedApi());
    InstallPlan(capture);
    ASSERT_NO_FATAL_FAILURE(ExpectEndsByItself(capture, LONG(param.code)));
    rig.StopEngine();
    EXPECT_EQ(plan.creates, param.creates);
    if (param.failingRead) {
        // Every read before the failing one delivered its blocks.
        EXPECT_GE(rig.engine.ProcessedBlocks(), param.failingRead - 1);
    } else {
        EXPECT_EQ(rig.engine.ProcessedBlocks(), 0);
        if (param.creates == 0) {
            EXPECT_EQ(rig.engine.blockBytes, 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Causes, DirectSoundFailure,
    ::testing::Values(
        FailureCase{"no_library", true, false, 0, 0, 0, E_FAIL},
        FailureCase{"no_create_function", false, true, 0, 0, 0, E_FAIL},
        FailureCase{"third_read_fails", false, false, 3, 0, 1, DSERR_INVALIDCALL},
        FailureCase{"never_starts", false, false, 0, 1000, 1 + kMaxReopens, kCaptureStalled}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.what); });

}  // namespace
