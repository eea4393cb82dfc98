// Recorder: the one owner of the track engine, the capture back-end and the hand-over of output
// chains. The main window asks it to monitor, arm, disarm and restart, and polls it; it never
// touches a thread or a chain itself.
//
// How it works: the engine lives from StartMonitoring to Shutdown, capture back-ends come and
// go under it. A back-end is destroyed only after its thread has ended. A new chain is handed
// over while no capture runs, and capture starts again only once the worker has taken it (or
// the time limit passed), so the old chain is gone before another is built or fed. A capture
// thread that ends by itself, one that cannot start (no back-end, no thread, or no engine
// worker to take its blocks) latches the failure until the next restart of capture.
//
// While a track is open its file's header follows it block by block, so a recorder that is
// killed leaves a take every player opens, short by the engine's delay queue at most.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "capture/capture_device.h"
#include "engine/output_sink.h"
#include "engine/track_engine.h"
#include "output/format_record.h"

constexpr DWORD kSinkHandOverLimit = 2000;  // ms for the worker to take a new chain

// Which back-end records from which card, and at which rate.
struct CaptureChoice {
    bool directSound = false;
    std::string deviceName;
    bool mode78 = false;
};

// How back-ends are made, and the engine's seam. Tests replace them where Wine cannot produce
// the case (a card that fails once and then works, a worker held at a given moment).
struct RecorderApi {
    std::unique_ptr<CaptureDevice> (*createCapture)(bool useDirectSound, const char* deviceName,
                                                    TrackEngine* engine, bool mode78) =
        &CreateCaptureDevice;
    TrackEngineApi engine;
    DWORD handOverLimit = kSinkHandOverLimit;
};

class Recorder {
public:
    // `maxFormatSize` bounds the format records of the chains it builds.
    Recorder(uint32_t maxFormatSize, const RecorderApi& api = RecorderApi());
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Creates the engine with RecordingChain(outputFormat, formatUsable), starts its worker and
    // capture.
    void StartMonitoring(WAVEFORMATEX* outputFormat, bool formatUsable, bool liveMode,
                         const CaptureChoice& capture);

    // The record button: arms with `nameTemplate` handed over first, or disarms (the worker ends
    // the track). After a capture failure it restarts capture and stays armed. Returns whether
    // recording now.
    bool ToggleRecording(const std::string& nameTemplate);
    bool Recording() const { return recording_; }

    // The chain a recording runs on, prepared: `format`'s (which the codec manager may complete
    // in place), or PCM saying so when that cannot be built or `usable` is false.
    std::unique_ptr<OutputSink> RecordingChain(WAVEFORMATEX* format, bool usable);
    // The chain for `format` when it can be built and its Query and Prepare succeed; null
    // otherwise.
    std::unique_ptr<OutputSink> TestChain(WAVEFORMATEX* format);
    // Stops capture and hands the engine `sink` (when there is one); capture stays stopped until
    // RestartCapture. False when the worker did not take it in time: it takes it later, and
    // whatever replaces it meanwhile replaces it.
    bool HandOverChain(std::unique_ptr<OutputSink> sink);
    // Stops capture and starts it again with `capture`; clears a capture failure.
    void RestartCapture(const CaptureChoice& capture);
    // True while capture runs (or has failed) as `capture` chooses.
    bool CapturesWith(const CaptureChoice& capture) const;

    // The timer's poll: true exactly once when the capture thread has ended by itself or could
    // not start, with its result in `code`; from then on CaptureFailed answers true until a
    // restart.
    bool TakeCaptureFailure(int32_t& code);
    // True once a Stop has been served: the naming of tracks may change.
    bool TrackEnded();
    bool CaptureFailed() const { return captureFailed_; }

    void SetLiveMode(bool on);
    // Capture first, so no block arrives at an engine that is going away; the worker then
    // completes the open track before it ends.
    void Shutdown();

    // What the window displays and the sliders write; null before StartMonitoring and after
    // Shutdown.
    TrackEngine* Engine() { return engine_.get(); }
    CaptureDevice* Capture() { return capture_.get(); }

private:
    void StartCapture(const CaptureChoice& capture);
    void StopCapture();
    // The engine's worker, started (again) if it is not running; false with startFailure_.
    bool EngineRunning();

    const RecorderApi api_;
    const uint32_t maxFormatSize_;
    FormatBuffer captureFormat_;
    std::unique_ptr<TrackEngine> engine_;
    std::unique_ptr<CaptureDevice> capture_;
    CaptureChoice choice_;  // what capture_ was made with
    bool recording_ = false;
    bool captureFailed_ = false;
    int32_t startFailure_ = 0;  // why capture did not start, until the timer reports it
};
