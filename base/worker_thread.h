// WorkerThread: the thread base class of the track engine and both capture back-ends.
// The owner starts it, sets stopEvent to ask it to end, and waits for it without time-out.
// An exception that leaves Run ends the thread with lastResult E_OUTOFMEMORY or E_UNEXPECTED.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/thread_event.h"
#include "base/unique_handle.h"

class WorkerThread {
public:
    WorkerThread() = default;
    virtual ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Creates the thread through the C runtime; it runs Run, then Cleanup, and exits with
    // Cleanup's result. Returns false when the thread could not be created.
    bool Start();

    // Sets stopEvent and waits for the thread to end (no time-out). Harmless when not started.
    void StopAndWait();

    HANDLE ThreadHandle() const { return thread_.Get(); }
    bool HasEnded() const;

    ThreadEvent stopEvent;
    volatile LONG stopping = 0;     // owner-requested stop of a capture: not a failure
    volatile LONG lastResult = 0;   // last platform result of a capture back-end

protected:
    virtual int32_t Cleanup() { return 0; }
    virtual int32_t Run() { return 1; }

private:
    static unsigned __stdcall ThreadMain(void* self);
    KernelHandle thread_;
};
