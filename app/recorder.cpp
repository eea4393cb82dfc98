// Recorder: the engine, the capture back-end and the chain hand-over behind the main window.
#include "app/recorder.h"

#include "engine/stream_format.h"
#include "output/output_chain.h"

namespace {

// An open file's header follows every block written: a killed recorder's take then lacks
// only the engine's delay queue and mmio's buffer. It costs one small write and three seeks a
// block, no measurable time.
constexpr uint32_t kHeaderUpdateBytes = kCaptureBlockBytes;

// The failed call's own code, or E_FAIL when it left none.
int32_t LastErrorResult() {
    const DWORD error = GetLastError();
    return error != 0 ? int32_t(HRESULT_FROM_WIN32(error)) : int32_t(E_FAIL);
}

}  // namespace

Recorder::Recorder(uint32_t maxFormatSize, const RecorderApi& api)
    : api_(api), maxFormatSize_(maxFormatSize),
      captureFormat_(maxFormatSize + kFormatHeaderBytes) {
    if (!captureFormat_.Empty()) {
        MakePcmFormat(captureFormat_.Get(), static_cast<uint32_t>(StreamRate));
    }
}

Recorder::~Recorder() { Shutdown(); }

void Recorder::StartMonitoring(WAVEFORMATEX* outputFormat, bool formatUsable, bool liveMode,
                               const CaptureChoice& capture) {
    engine_ = std::make_unique<TrackEngine>(api_.engine);
    engine_->liveMode = liveMode ? 1 : 0;
    engine_->headerUpdateBytes = kHeaderUpdateBytes;
    engine_->SetSink(RecordingChain(outputFormat, formatUsable).release());
    StartCapture(capture);  // the worker first
}

bool Recorder::ToggleRecording(const std::string& nameTemplate) {
    if (!engine_) return false;
    const bool failed = captureFailed_;
    const bool wasIdle = failed || engine_->IsStandby() != 0;
    // The template first: once armed, the worker may open a track with the very next block.
    engine_->SetNameFormat(nameTemplate.c_str());
    engine_->SetStandby(wasIdle ? 0 : 1);
    recording_ = failed || engine_->IsStandby() == 0;
    if (failed) RestartCapture(choice_);
    return recording_;
}

std::unique_ptr<OutputSink> Recorder::RecordingChain(WAVEFORMATEX* format, bool usable) {
    return CreateRecordingChain(captureFormat_.Get(), format, maxFormatSize_, kCaptureBlockBytes,
                                usable);
}

std::unique_ptr<OutputSink> Recorder::TestChain(WAVEFORMATEX* format) {
    std::unique_ptr<OutputSink> sink =
        CreateOutputChain(captureFormat_.Get(), format, maxFormatSize_);
    if (!sink || sink->Query() != 0 || sink->Prepare(kCaptureBlockBytes) != 0) return nullptr;
    return sink;
}

bool Recorder::HandOverChain(std::unique_ptr<OutputSink> sink) {
    StopCapture();
    if (!engine_ || !sink) return true;
    const OutputSink* handed = sink.get();
    engine_->ReplaceSink(sink.release());
    // Late only when the worker is stuck; it still takes the chain before its next block.
    return engine_->AwaitSinkTaken(handed, api_.handOverLimit);
}

void Recorder::RestartCapture(const CaptureChoice& capture) {
    StopCapture();
    StartCapture(capture);
}

bool Recorder::CapturesWith(const CaptureChoice& capture) const {
    return capture_ && capture.directSound == choice_.directSound &&
           capture.deviceName == choice_.deviceName && capture.mode78 == choice_.mode78;
}

bool Recorder::TakeCaptureFailure(int32_t& code) {
    if (captureFailed_) return false;
    if (startFailure_ != 0) {
        code = startFailure_;
        startFailure_ = 0;
    } else if (capture_ && capture_->HasEnded()) {
        code = capture_->lastResult;
    } else {
        return false;
    }
    captureFailed_ = true;
    return true;
}

bool Recorder::TrackEnded() { return !engine_ || engine_->IsTrackEnded(); }

void Recorder::SetLiveMode(bool on) {
    if (engine_) engine_->liveMode = on ? 1 : 0;
}

void Recorder::Shutdown() {
    StopCapture();
    if (!engine_) return;
    engine_->StopAndWait();
    engine_.reset();
}

void Recorder::StartCapture(const CaptureChoice& capture) {
    choice_ = capture;
    captureFailed_ = false;
    startFailure_ = 0;
    // Blocks fed to an engine without its worker would queue for ever.
    if (!engine_ || !EngineRunning()) return;
    capture_ = api_.createCapture(capture.directSound, capture.deviceName.c_str(), engine_.get(),
                                  capture.mode78);
    if (!capture_) {
        startFailure_ = int32_t(E_OUTOFMEMORY);
        return;
    }
    SetLastError(ERROR_SUCCESS);
    if (!capture_->Start()) startFailure_ = LastErrorResult();
}

bool Recorder::EngineRunning() {
    if (engine_->ThreadHandle()) return true;
    SetLastError(ERROR_SUCCESS);
    if (engine_->Start()) return true;
    startFailure_ = LastErrorResult();
    return false;
}

void Recorder::StopCapture() {
    if (!capture_) return;
    // Never destroyed while its thread runs: the thread uses the object to its last line.
    capture_->StopAndWait();
    capture_.reset();
}
