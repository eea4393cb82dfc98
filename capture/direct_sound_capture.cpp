// DirectSoundCapture: opening through DSOUND.DLL, the notification loop and the block reads.
#include "capture/direct_sound_capture.h"

#include <cstring>

#include "engine/track_engine.h"

namespace {

using CaptureEnumerateFunction = HRESULT(WINAPI*)(LPDSENUMCALLBACKA, LPVOID);

constexpr DWORD kBufferDescBytes = sizeof(DSCBUFFERDESC1);  // 20: no effects are asked for

// GetProcAddress answers a generic function type; the real one is known by name.
template <typename Function>
Function ProcAs(FARPROC proc) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

bool IsNullGuid(const GUID& guid) {
    static const GUID kNull = {};
    return std::memcmp(&guid, &kNull, sizeof guid) == 0;
}

}  // namespace

DirectSoundSupport ProbeDirectSound(const DirectSoundApi& api) {
    LibraryHandle library(api.loadLibrary(kDirectSoundLibrary));
    if (!library) return DirectSoundSupport::kNoLibrary;
    return api.getProcAddress(library.Get(), kDirectSoundCaptureEntry)
               ? DirectSoundSupport::kAvailable
               : DirectSoundSupport::kNoCaptureEntry;
}

HRESULT DirectSoundApi::LockBuffer(IDirectSoundCaptureBuffer* buffer, DWORD offset, DWORD bytes,
                                   void** part1, DWORD* bytes1, void** part2, DWORD* bytes2) {
    return buffer->Lock(offset, bytes, part1, bytes1, part2, bytes2, 0);
}

DirectSoundCapture::DirectSoundCapture(const char* deviceName, TrackEngine* engine, bool mode78,
                                       const DirectSoundApi& api)
    : CaptureDevice(deviceName, engine, mode78), api_(api) {}

DirectSoundCapture::~DirectSoundCapture() = default;

BOOL CALLBACK DirectSoundCapture::EnumerateDevice(LPGUID guid, LPCSTR description, LPCSTR,
                                                  LPVOID context) {
    auto* self = static_cast<DirectSoundCapture*>(context);
    // The system's default device comes without an identifier and is never taken by name.
    if (!guid || !description) return TRUE;
    if (std::strcmp(description, self->DeviceName()) != 0) return TRUE;
    self->deviceGuid_ = *guid;
    return FALSE;
}

int32_t DirectSoundCapture::Run() {
    const HRESULT initialised = CoInitialize(nullptr);
    lastResult = initialised;
    if (FAILED(initialised)) return 0;
    comStarted_ = true;

    library_.Reset(api_.loadLibrary(kDirectSoundLibrary));
    if (!library_) {
        lastResult = E_FAIL;
    } else {
        create_ = ProcAs<CreateFunction>(
            api_.getProcAddress(library_.Get(), kDirectSoundCaptureEntry));
        const auto enumerate = ProcAs<CaptureEnumerateFunction>(
            api_.getProcAddress(library_.Get(), "DirectSoundCaptureEnumerateA"));
        deviceGuid_ = {};
        if (enumerate) enumerate(&EnumerateDevice, this);
        lastResult = create_ ? S_OK : E_FAIL;
    }
    FillFormat(format_);
    if (SUCCEEDED(lastResult)) lastResult = OpenBuffer();
    if (FAILED(lastResult)) return 0;
    CaptureLoop();
    captureBuffer_.Get()->Stop();
    ReadBlocks();
    return 0;
}

HRESULT DirectSoundCapture::OpenBuffer() {
    notify_.Reset();
    captureBuffer_.Reset();
    capture_.Reset();
    const GUID* device = IsNullGuid(deviceGuid_) ? nullptr : &deviceGuid_;
    HRESULT result = create_(device, capture_.Receive(), nullptr);
    if (SUCCEEDED(result)) result = CreateBuffer();
    // Without a running buffer no notification would ever come: reported like an open failure.
    if (SUCCEEDED(result)) result = captureBuffer_.Get()->Start(DSCBSTART_LOOPING);
    return result;
}

void DirectSoundCapture::CaptureLoop() {
    const HANDLE events[3] = {notifyEvent_.Handle(), stopNotifyEvent_.Handle(), stopEvent.Handle()};
    // Several buffers' time without a block is no late thread: the buffer has stalled.
    const DWORD stallMs =
        DWORD(uint64_t(bufferSize_) * kStallBuffers * 1000 / format_.nAvgBytesPerSec);
    int reopened = 0;
    bool delivered = false;  // since the last time-out
    bool done = false;
    while (!done) {
        const DWORD woken = api_.msgWait(3, events, FALSE, stallMs, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_TIMEOUT) {
            const HRESULT read = ReadBlocks();
            if (FAILED(read)) {
                // Reported with the read's own code: the opening result here would be 0.
                lastResult = read;
                done = true;
            } else if (read == S_OK) {
                delivered = true;
                reopened = 0;
            } else if (woken == WAIT_TIMEOUT && !delivered) {
                done = !ReopenStalledBuffer(reopened);
            }
            if (woken == WAIT_TIMEOUT) delivered = false;
        } else if (woken == WAIT_OBJECT_0 + 1) {
            // The buffer stopped: only the stop event or WM_QUIT ends the loop.
        } else if (woken == WAIT_OBJECT_0 + 3) {
            done = DispatchMessages();
        } else {
            done = true;  // the stop event, or a wait that failed
        }
    }
}

// Wine's capture on PulseAudio sometimes never starts a buffer: its position stays at 0, and
// stopping and starting it again does not help, making it anew does. After kMaxReopens in a
// row without a block the capture ends as a failure the window reports.
bool DirectSoundCapture::ReopenStalledBuffer(int& reopened) {
    if (++reopened > kMaxReopens) {
        lastResult = kCaptureStalled;
        return false;
    }
    const HRESULT result = OpenBuffer();
    if (FAILED(result)) lastResult = result;
    return SUCCEEDED(result);
}

// True when WM_QUIT came: the loop ends once the queue is empty.
bool DirectSoundCapture::DispatchMessages() {
    bool quit = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) quit = true;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return quit;
}

int32_t DirectSoundCapture::Cleanup() {
    notify_.Reset();
    captureBuffer_.Reset();
    capture_.Reset();
    library_.Reset();
    if (comStarted_) CoUninitialize();
    comStarted_ = false;
    return 0;
}

HRESULT DirectSoundCapture::CreateBuffer() {
    notify_.Reset();
    captureBuffer_.Reset();
    notifySize_ = kCaptureBlockBytes - kCaptureBlockBytes % format_.nBlockAlign;
    bufferSize_ = kDirectSoundBlocks * notifySize_;
    engine_->blockBytes = int32_t(notifySize_);

    DSCBUFFERDESC desc = {};
    desc.dwSize = kBufferDescBytes;
    desc.dwFlags = 0;
    desc.dwBufferBytes = bufferSize_;
    desc.dwReserved = 0;
    desc.lpwfxFormat = &format_;
    const HRESULT created = capture_.Get()->CreateCaptureBuffer(&desc, captureBuffer_.Receive(), nullptr);
    if (FAILED(created)) return created;
    nextOffset_ = 0;
    return SetUpNotifications();
}

HRESULT DirectSoundCapture::SetUpNotifications() {
    if (!captureBuffer_) return E_FAIL;
    const HRESULT queried = captureBuffer_.Get()->QueryInterface(
        IID_IDirectSoundNotify, reinterpret_cast<void**>(notify_.Receive()));
    if (FAILED(queried)) return queried;
    for (int i = 0; i < kDirectSoundBlocks; ++i) {
        positions_[i].dwOffset = notifySize_ * DWORD(i) + notifySize_ - 1;  // last byte of block i
        positions_[i].hEventNotify = notifyEvent_.Handle();
    }
    positions_[kDirectSoundBlocks].dwOffset = DSBPN_OFFSETSTOP;
    positions_[kDirectSoundBlocks].hEventNotify = stopNotifyEvent_.Handle();
    const HRESULT set = notify_.Get()->SetNotificationPositions(kDirectSoundPositions, positions_);
    if (FAILED(set)) return set;
    WAVEFORMATEX actual = {};
    DWORD written = 0;
    if (SUCCEEDED(captureBuffer_.Get()->GetFormat(&actual, kFormatBytesRead, &written))) format_ = actual;
    return S_OK;
}

// Takes every whole block between nextOffset and the read position. S_FALSE: nothing to take.
HRESULT DirectSoundCapture::ReadBlocks() {
    if (!captureBuffer_) return S_FALSE;
    DWORD capturePosition = 0;
    DWORD readPosition = 0;
    const HRESULT got = captureBuffer_.Get()->GetCurrentPosition(&capturePosition, &readPosition);
    if (FAILED(got)) return got;
    int64_t available = int64_t(readPosition) - int64_t(nextOffset_);
    if (available < 0) available += bufferSize_;
    available -= available % notifySize_;
    if (available == 0) return S_FALSE;

    void* part1 = nullptr;
    DWORD bytes1 = 0;
    void* part2 = nullptr;
    DWORD bytes2 = 0;
    const HRESULT locked = api_.lockBuffer(captureBuffer_.Get(), nextOffset_, DWORD(available),
                                          &part1, &bytes1, &part2, &bytes2);
    if (FAILED(locked)) return locked;
    if (!stopping) Deliver(part1, bytes1);
    nextOffset_ = (nextOffset_ + bytes1) % bufferSize_;
    if (part2 && bytes2) {
        if (!stopping) Deliver(part2, bytes2);
        nextOffset_ = (nextOffset_ + bytes2) % bufferSize_;
    }
    captureBuffer_.Get()->Unlock(part1, bytes1, part2, bytes2);
    return S_OK;
}
