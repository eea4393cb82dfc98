// Recorder: the engine, the capture back-end and the chain hand-over behind the main window.
#include "app/recorder.h"

#include "engine/stream_format.h"
#include "output/output_chain.h"

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
    engine_ = std::make_unique<TrackEngine>();
    engine_->liveMode = liveMode ? 1 : 0;
    engine_->SetSink(RecordingChain(outputFormat, formatUsable).release());
    engine_->Start();
    StartCapture(capture);
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

void Recorder::HandOverChain(std::unique_ptr<OutputSink> sink) {
    StopCapture();
    if (!engine_ || !sink) return;
    const OutputSink* handed = sink.get();
    engine_->ReplaceSink(sink.release());
    // Late only when the worker is stuck; it still takes the chain before its next block.
    engine_->AwaitSinkTaken(handed, kSinkHandOverLimit);
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
    if (captureFailed_ || !capture_ || !capture_->HasEnded()) return false;
    captureFailed_ = true;
    code = capture_->lastResult;
    return true;
}

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
    if (!engine_) return;
    capture_ = api_.createCapture(capture.directSound, capture.deviceName.c_str(), engine_.get(),
                                  capture.mode78);
    if (capture_) capture_->Start();
}

void Recorder::StopCapture() {
    if (!capture_) return;
    // Never destroyed while its thread runs: the thread uses the object to its last line.
    capture_->StopAndWait();
    capture_.reset();
}
