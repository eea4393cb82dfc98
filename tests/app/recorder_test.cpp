// The Recorder without a window: capture that cannot start is a capture failure, and the first
// file of a take carries the name template handed with Start, however fast the worker is.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/recorder.h"
#include "engine/stream_format.h"
#include "engine/track_rules.h"
#include "output/format_record.h"
#include "tests/support/bench_audio.h"

namespace {

constexpr DWORD kBound = 10000;  // generous: a fault shows as a failure, not a hang

// A back-end that delivers nothing: the test feeds the engine itself.
class IdleCapture : public CaptureDevice {
public:
    explicit IdleCapture(TrackEngine* engine) : CaptureDevice("idle", engine, false) {}

protected:
    int32_t Run() override {
        WaitForSingleObject(stopEvent.Handle(), INFINITE);
        return 0;
    }
};

int capturesMade = 0;
std::unique_ptr<CaptureDevice> Idle(bool, const char*, TrackEngine* engine, bool) {
    ++capturesMade;
    return std::make_unique<IdleCapture>(engine);
}
std::unique_ptr<CaptureDevice> NoBackEnd(bool, const char*, TrackEngine*, bool) {
    ++capturesMade;
    return nullptr;
}
// Started here already, so the recorder's own start fails as a thread that cannot be made.
std::unique_ptr<CaptureDevice> NotStartable(bool, const char*, TrackEngine* engine, bool) {
    auto capture = Idle(false, nullptr, engine, false);
    capture->Start();
    return capture;
}

void StartPcm(Recorder& recorder) {
    FormatBuffer pcm(ReadMaxFormatSize() + kFormatHeaderBytes);
    MakePcmFormat(pcm.Get(), kCaptureRate);
    recorder.StartMonitoring(pcm.Get(), true, false, CaptureChoice{});
}

TEST(RecorderCapture, ABackEndThatCannotStartIsACaptureFailure) {
    struct Case {
        const char* what;
        decltype(RecorderApi::createCapture) make;
        int32_t code;
    } cases[] = {
        {"no back-end", &NoBackEnd, int32_t(E_OUTOFMEMORY)},
        {"its thread does not start", &NotStartable, int32_t(E_FAIL)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecorderApi api;
        api.createCapture = c.make;
        capturesMade = 0;
        Recorder recorder(ReadMaxFormatSize(), api);
        StartPcm(recorder);
        int32_t code = 0;
        EXPECT_TRUE(recorder.TakeCaptureFailure(code));
        EXPECT_EQ(code, c.code);
        EXPECT_TRUE(recorder.CaptureFailed());
        EXPECT_FALSE(recorder.TakeCaptureFailure(code)) << "reported once";
        // The record button ("&Monitor") tries again; the new failure is reported again.
        EXPECT_TRUE(recorder.ToggleRecording("x%04d.%s"));
        EXPECT_EQ(capturesMade, 2);
        EXPECT_TRUE(recorder.TakeCaptureFailure(code));
    }
}

// The moment the engine is armed, the worker takes a loud block and opens a track.
void TakeALoudBlock(TrackEngine& engine) {
    const int32_t before = engine.ProcessedBlocks();
    const std::vector<int16_t> loud(kCaptureBlockValues, 12000);
    SampleBuffer* buffer = engine.GetFreeBuffer();
    ASSERT_NE(buffer, nullptr);
    ASSERT_TRUE(buffer->Fill(kCaptureBlockValues, loud.data()));
    engine.SubmitBuffer(buffer);
    while (engine.ProcessedBlocks() == before) {
        ASSERT_EQ(WaitForSingleObject(engine.DrainedEvent(), kBound), WAIT_OBJECT_0);
    }
}

TEST(RecorderNaming, TheFirstFileOfATakeCarriesTheTemplateHandedWithStart) {
    const std::string before = bench::WindowsPath(bench::ScratchDir("recorder_before"));
    const std::string chosen = bench::WindowsPath(bench::ScratchDir("recorder_chosen"));
    RecorderApi api;
    api.createCapture = &Idle;
    api.engine.shiftHeld = &ShiftNeverHeld;
    api.engine.armed = &TakeALoudBlock;
    Recorder recorder(ReadMaxFormatSize(), api);
    StartPcm(recorder);
    recorder.Engine()->SetNameFormat(TrackNameTemplate(before, "old").c_str());
    ASSERT_TRUE(recorder.ToggleRecording(TrackNameTemplate(chosen, "new")));
    EXPECT_TRUE(recorder.Engine()->IsTrackOpen());
    EXPECT_FALSE(recorder.ToggleRecording(TrackNameTemplate(chosen, "new")));
    recorder.Shutdown();
    EXPECT_NE(GetFileAttributesA((chosen + "\\new0001.wav").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((before + "\\old0001.wav").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
