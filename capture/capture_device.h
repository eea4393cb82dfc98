// CaptureDevice: what both capture back-ends share: the device name, the engine they feed, the
// "78" flag, and the delivery of one captured block to the engine.
//
// Owner protocol (the main window): construct, Start; on every timer tick test HasEnded, and
// when the thread has ended with stopping still 0, report lastResult. To stop: optionally set
// stopping, then StopAndWait, then destroy.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <memory>

#include "engine/stream_format.h"
#include "base/worker_thread.h"

class TrackEngine;

constexpr int kDeviceNameBytes = 260;  // the window's sound card name and its terminator

class CaptureDevice : public WorkerThread {
public:
    // `deviceName` may be null (no name). `mode78` selects 25442 Hz instead of 44100 Hz.
    CaptureDevice(const char* deviceName, TrackEngine* engine, bool mode78);

    const char* DeviceName() const { return deviceName_; }
    bool Mode78() const { return mode78_; }
    int32_t Rate() const { return mode78_ ? kCaptureRate78 : kCaptureRate; }

protected:
    // The capture format: PCM, 2 channels, 16 bits, Rate().
    void FillFormat(WAVEFORMATEX& format) const;
    // Hands `bytes` bytes of samples to the engine as one block. A block the engine has no
    // memory for is dropped.
    void Deliver(const void* data, uint32_t bytes);

    TrackEngine* const engine_;

private:
    char deviceName_[kDeviceNameBytes] = {};
    const bool mode78_;
};

// The back-end the DirectSound setting chooses; null when out of memory.
std::unique_ptr<CaptureDevice> CreateCaptureDevice(bool useDirectSound, const char* deviceName,
                                                   TrackEngine* engine, bool mode78);
