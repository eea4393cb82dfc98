// WaveInCapture: opening, the capture loop with its recycling of headers, and the stop sequence.
#include "capture/wave_in_capture.h"

#include <new>

#include "engine/track_engine.h"

WaveInCapture::WaveInCapture(const char* deviceName, TrackEngine* engine, bool mode78,
                             const WaveInApi& api)
    : CaptureDevice(deviceName, engine, mode78), api_(api), doneTail_(&doneAnchor_) {
    FillFormat(format_);
    // Wine's winmm builds its device list at the first call that needs it, without a lock. A
    // first waveInOpen on the capture thread racing a first mixer call of the window crashes
    // winmm's device thread now and then, and waveInOpen then answers success with no handle
    // (every later call: MMSYSERR_INVALHANDLE). Asked here, on the owner's thread before the
    // capture thread exists, the list is built before anyone can race.
    waveInGetNumDevs();
}

WaveInCapture::~WaveInCapture() = default;

int32_t WaveInCapture::QueuedHeaders() {
    auto lock = doneLock_.Lock();
    int32_t count = 0;
    for (WAVEHDR* header = doneAnchor_.lpNext; header; header = header->lpNext) ++count;
    return count;
}

void CALLBACK WaveInCapture::DriverCallback(HWAVEIN, UINT message, DWORD_PTR instance,
                                            DWORD_PTR param1, DWORD_PTR) {
    reinterpret_cast<WaveInCapture*>(instance)->OnDriverMessage(
        message, reinterpret_cast<WAVEHDR*>(param1));
}

// Runs on the driver's thread: no waveIn call here, only the link and the wake-up.
void WaveInCapture::OnDriverMessage(UINT message, WAVEHDR* header) {
    if (closing_) return;
    if (message != WIM_DATA || !header) return;
    if (stopping) return;  // the stop sequence unprepares it
    {
        auto lock = doneLock_.Lock();
        header->lpNext = nullptr;
        doneTail_->lpNext = header;
        doneTail_ = header;
    }
    doneEvent_.Set();
}

WAVEHDR* WaveInCapture::TakeDone() {
    auto lock = doneLock_.Lock();
    WAVEHDR* header = doneAnchor_.lpNext;
    if (!header) return nullptr;
    doneAnchor_.lpNext = header->lpNext;
    if (!doneAnchor_.lpNext) doneTail_ = &doneAnchor_;
    header->lpNext = nullptr;
    return header;
}

void WaveInCapture::Recycle() {
    while (WAVEHDR* header = TakeDone()) {
        api_.unprepareHeader(handle_, header, sizeof(WAVEHDR));
        // A quiet stop hands nothing more to the engine, queued headers included. An empty
        // header is no block: the engine would count it as silence toward the gap.
        if (!stopping && header->dwBytesRecorded > 0) {
            Deliver(header->lpData, header->dwBytesRecorded);
        }
        header->dwBytesRecorded = 0;
        api_.prepareHeader(handle_, header, sizeof(WAVEHDR));  // a failure shows in the add
        const MMRESULT added = api_.addBuffer(handle_, header, sizeof(WAVEHDR));
        // The first failure is the one reported: a later success must not hide it.
        if (added != MMSYSERR_NOERROR && lastResult == MMSYSERR_NOERROR) lastResult = LONG(added);
    }
}

int32_t WaveInCapture::Run() {
    HWAVEIN opened = nullptr;
    lastResult = LONG(api_.open(&opened, WAVE_MAPPER, &format_,
                               reinterpret_cast<DWORD_PTR>(&DriverCallback),
                               reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION));
    if (lastResult != MMSYSERR_NOERROR) return 0;
    handle_ = opened;

    for (int i = 0; i < kWaveInHeaders && lastResult == MMSYSERR_NOERROR; ++i) {
        WAVEHDR& header = headers_[i];
        data_[i].reset(new (std::nothrow) char[kCaptureBlockBytes]);
        if (!data_[i]) {
            lastResult = MMSYSERR_NOMEM;
            break;
        }
        header.lpData = data_[i].get();
        header.dwBufferLength = kCaptureBlockBytes;
        lastResult = LONG(api_.prepareHeader(handle_, &header, sizeof(WAVEHDR)));
        if (lastResult == MMSYSERR_NOERROR) {
            lastResult = LONG(api_.addBuffer(handle_, &header, sizeof(WAVEHDR)));
        }
    }
    if (lastResult != MMSYSERR_NOERROR) {
        StopSequence(false);
        return 0;
    }
    lastResult = LONG(api_.start(handle_));
    if (lastResult != MMSYSERR_NOERROR) {
        StopSequence(false);
        return 0;
    }
    engine_->blockBytes = kCaptureBlockBytes;

    // stopEvent first: once it is set no block is recycled inside the loop; the recycle after
    // waveInStop delivers what had completed by then.
    const HANDLE events[2] = {stopEvent.Handle(), doneEvent_.Handle()};
    while (!closing_ && lastResult == MMSYSERR_NOERROR) {
        const DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0 + 1) {
            Recycle();
        } else {
            closing_ = 1;
        }
    }
    StopSequence(true);
    return 0;
}

void WaveInCapture::StopSequence(bool started) {
    // Also after a failed add: the partial block and the headers handed back are not delivered.
    closing_ = 1;
    if (started) {
        api_.stop(handle_);
        Recycle();
    }
    api_.reset(handle_);
    for (int i = 0; i < kWaveInHeaders; ++i) {
        if (!data_[i]) continue;
        if (headers_[i].dwFlags & WHDR_PREPARED) {
            api_.unprepareHeader(handle_, &headers_[i], sizeof(WAVEHDR));
        }
        data_[i].reset();
        headers_[i].lpData = nullptr;
    }
    api_.close(handle_);
    handle_ = nullptr;
}
