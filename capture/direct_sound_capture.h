// DirectSoundCapture: the capture back-end over DirectSound capture, loaded at run time.
//
// How it works: one looping capture buffer of seven blocks, with a notification at the last
// byte of each block and one when the buffer stops. On every block notification the thread
// takes every whole block between nextOffset and the read position at once: a late thread
// catches up in one read. A region that runs past the end of the buffer comes in two parts,
// the end of the buffer first; each part goes to the engine as one block, so a part can hold
// several capture blocks. The thread is a COM apartment and dispatches window messages while
// it waits; WM_QUIT ends the capture like the stop event. A buffer that delivers nothing for
// kStallBuffers buffers' time is made anew (Wine sometimes never starts one), and the capture
// ends as a failure when that does not help either.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <cstdint>

#include "capture/capture_device.h"
#include "base/thread_event.h"
#include "base/unique_handle.h"

constexpr int kDirectSoundBlocks = 7;  // ~0.93 s of input at 44100 Hz absorbs a late thread
constexpr int kDirectSoundPositions = kDirectSoundBlocks + 1;  // one per block, one at stop
constexpr int kFormatBytesRead = 18;  // GetFormat: a WAVEFORMATEX without extra bytes
// A buffer that delivers no block for this many buffers' time has stalled; it is made anew,
// up to kMaxReopens times in a row before the capture ends with kCaptureStalled.
constexpr int kStallBuffers = 3;
constexpr int kMaxReopens = 3;
constexpr HRESULT kCaptureStalled = HRESULT(0x800705B4);  // HRESULT_FROM_WIN32(ERROR_TIMEOUT)
constexpr char kDirectSoundLibrary[] = "DSOUND.DLL";
constexpr char kDirectSoundCaptureEntry[] = "DirectSoundCaptureCreate8";

// Where DirectSound and the waits come from. Tests replace entries where Wine cannot produce a
// case: a missing library or function, a thread that is late, a read that fails.
struct DirectSoundApi {
    HMODULE(WINAPI* loadLibrary)(LPCSTR) = &LoadLibraryA;
    FARPROC(WINAPI* getProcAddress)(HMODULE, LPCSTR) = &GetProcAddress;
    DWORD(WINAPI* msgWait)(DWORD, const HANDLE*, BOOL, DWORD, DWORD) = &MsgWaitForMultipleObjects;
    HRESULT (*lockBuffer)(IDirectSoundCaptureBuffer* buffer, DWORD offset, DWORD bytes,
                          void** part1, DWORD* bytes1, void** part2, DWORD* bytes2) = &LockBuffer;

    static HRESULT LockBuffer(IDirectSoundCaptureBuffer* buffer, DWORD offset, DWORD bytes,
                              void** part1, DWORD* bytes1, void** part2, DWORD* bytes2);
};

template <typename T>
void ReleaseComObject(T* object) {
    object->Release();
}
template <typename T>
using ComRef = UniqueHandle<T*, &ReleaseComObject<T>>;

// What loading DSOUND.DLL and looking up its capture entry say, through the same calls the
// capture makes; the one probe the settings and the Options dialog ask.
enum class DirectSoundSupport { kNoLibrary, kNoCaptureEntry, kAvailable };
DirectSoundSupport ProbeDirectSound(const DirectSoundApi& api = DirectSoundApi());

class DirectSoundCapture : public CaptureDevice {
public:
    // The device name picks the capture device whose description equals it exactly; any other
    // name means the system's default capture device.
    DirectSoundCapture(const char* deviceName, TrackEngine* engine, bool mode78,
                       const DirectSoundApi& api = DirectSoundApi());
    ~DirectSoundCapture() override;

    // State of the running capture, for tests (read them on the capture thread or after it).
    const GUID& DeviceGuid() const { return deviceGuid_; }
    uint32_t NotifySize() const { return notifySize_; }
    uint32_t BufferSize() const { return bufferSize_; }
    uint32_t NextOffset() const { return nextOffset_; }
    HANDLE NotifyEvent() const { return notifyEvent_.Handle(); }

protected:
    int32_t Run() override;
    int32_t Cleanup() override;

private:
    const DirectSoundApi api_;  // the capture thread calls the system through it
    static BOOL CALLBACK EnumerateDevice(LPGUID guid, LPCSTR description, LPCSTR module,
                                         LPVOID context);
    HRESULT OpenBuffer();
    void CaptureLoop();
    bool ReopenStalledBuffer(int& reopened);
    static bool DispatchMessages();
    HRESULT CreateBuffer();
    HRESULT SetUpNotifications();
    HRESULT ReadBlocks();

    GUID deviceGuid_ = {};
    ThreadEvent notifyEvent_;
    ThreadEvent stopNotifyEvent_;
    LibraryHandle library_;
    using CreateFunction = HRESULT(WINAPI*)(LPCGUID, LPDIRECTSOUNDCAPTURE8*, LPUNKNOWN);
    CreateFunction create_ = nullptr;
    ComRef<IDirectSoundCapture8> capture_;
    ComRef<IDirectSoundCaptureBuffer> captureBuffer_;
    ComRef<IDirectSoundNotify> notify_;
    bool comStarted_ = false;
    WAVEFORMATEX format_ = {};
    DSBPOSITIONNOTIFY positions_[kDirectSoundPositions] = {};
    uint32_t notifySize_ = 0;
    uint32_t bufferSize_ = 0;
    uint32_t nextOffset_ = 0;
};
