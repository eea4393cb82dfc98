// WaveInCapture: the capture back-end over the multimedia waveIn functions.
//
// How it works: the driver cycles through 14 headers of one block each. Its callback does only
// constant work: it links a completed header behind the tail of doneList (under doneLock) and
// sets doneEvent. The capture thread wakes on doneEvent, empties doneList, copies each header's
// samples into an engine buffer and gives the header back to the driver. So no waveIn function
// is ever called from the callback, and the driver keeps ~1.9 s of buffers while the thread is
// late. Once `closing` is set the callback ignores everything: the partial block that
// waveInStop returns, and every header that waveInReset hands back, are not delivered.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <memory>

#include "capture/capture_device.h"
#include "base/critical_section.h"
#include "base/thread_event.h"

constexpr int kWaveInHeaders = 14;  // ~1.9 s of input at 44100 Hz before the driver runs dry

// The waveIn functions the back-end calls. Tests replace some where Wine cannot produce a case
// (a driver that fails in the middle of a capture).
struct WaveInApi {
    MMRESULT(WINAPI* open)(LPHWAVEIN, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD) =
        &waveInOpen;
    MMRESULT(WINAPI* prepareHeader)(HWAVEIN, LPWAVEHDR, UINT) = &waveInPrepareHeader;
    MMRESULT(WINAPI* unprepareHeader)(HWAVEIN, LPWAVEHDR, UINT) = &waveInUnprepareHeader;
    MMRESULT(WINAPI* addBuffer)(HWAVEIN, LPWAVEHDR, UINT) = &waveInAddBuffer;
    MMRESULT(WINAPI* start)(HWAVEIN) = &waveInStart;
    MMRESULT(WINAPI* stop)(HWAVEIN) = &waveInStop;
    MMRESULT(WINAPI* reset)(HWAVEIN) = &waveInReset;
    MMRESULT(WINAPI* close)(HWAVEIN) = &waveInClose;
};

class WaveInCapture : public CaptureDevice {
public:
    // The waveIn back-end always records from the system's preferred device (WAVE_MAPPER):
    // the device name is kept but not used.
    WaveInCapture(const char* deviceName, TrackEngine* engine, bool mode78,
                  const WaveInApi& api = WaveInApi());
    ~WaveInCapture() override;

    // Completed headers waiting for the capture thread (for tests).
    int32_t QueuedHeaders();

protected:
    int32_t Run() override;

private:
    const WaveInApi api_;  // the capture thread calls the system through it
    static void CALLBACK DriverCallback(HWAVEIN device, UINT message, DWORD_PTR instance,
                                        DWORD_PTR param1, DWORD_PTR param2);
    void OnDriverMessage(UINT message, WAVEHDR* header);
    WAVEHDR* TakeDone();
    void Recycle();
    void StopSequence(bool started);

    WAVEFORMATEX format_ = {};
    HWAVEIN handle_ = nullptr;
    WAVEHDR headers_[kWaveInHeaders] = {};
    std::unique_ptr<char[]> data_[kWaveInHeaders];  // each header's block, while the thread runs

    WAVEHDR doneAnchor_ = {};  // sentinel: doneList starts at its lpNext
    WAVEHDR* doneTail_;        // the sentinel while doneList is empty
    CriticalSection doneLock_;
    ThreadEvent doneEvent_;
    volatile LONG closing_ = 0;  // set when the capture loop ends; the callback then ignores all
};
