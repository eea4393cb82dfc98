// CaptureDevice: the shared parts of both back-ends, and the choice between them.
#include "capture/capture_device.h"

#include <new>

#include "capture/direct_sound_capture.h"
#include "capture/wave_in_capture.h"
#include "engine/track_engine.h"

CaptureDevice::CaptureDevice(const char* deviceName, TrackEngine* engine, bool mode78)
    : engine_(engine), mode78_(mode78) {
    if (deviceName) lstrcpynA(deviceName_, deviceName, kDeviceNameBytes);
}

void CaptureDevice::FillFormat(WAVEFORMATEX& format) const {
    format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = kCaptureChannels;
    format.nSamplesPerSec = DWORD(Rate());
    format.nAvgBytesPerSec = DWORD(Rate()) * kCaptureFrameBytes;
    format.nBlockAlign = kCaptureFrameBytes;
    format.wBitsPerSample = kCaptureBitsPerSample;
    format.cbSize = 0;
}

void CaptureDevice::Deliver(const void* data, uint32_t bytes) {
    SampleBuffer* buffer = engine_->GetFreeBuffer();
    if (!buffer) return;
    if (!buffer->Fill(int32_t(bytes / 2), data)) {
        engine_->ReturnBuffer(buffer);
        return;
    }
    engine_->SubmitBuffer(buffer);
}

std::unique_ptr<CaptureDevice> CreateCaptureDevice(bool useDirectSound, const char* deviceName,
                                                   TrackEngine* engine, bool mode78) {
    if (useDirectSound) {
        return std::unique_ptr<CaptureDevice>(
            new (std::nothrow) DirectSoundCapture(deviceName, engine, mode78));
    }
    return std::unique_ptr<CaptureDevice>(
        new (std::nothrow) WaveInCapture(deviceName, engine, mode78));
}
