// WorkerThread: thread creation through _beginthreadex so the C runtime is set up per thread.
#include "base/worker_thread.h"

#include <process.h>

#include <new>

WorkerThread::~WorkerThread() = default;

bool WorkerThread::Start() {
    if (thread_) return false;
    const uintptr_t handle = _beginthreadex(nullptr, 0, &WorkerThread::ThreadMain, this, 0, nullptr);
    thread_.Reset(reinterpret_cast<HANDLE>(handle));
    return thread_.IsValid();
}

void WorkerThread::StopAndWait() {
    if (!thread_) return;
    stopEvent.Set();
    WaitForSingleObject(thread_.Get(), INFINITE);
}

bool WorkerThread::HasEnded() const {
    return thread_ && WaitForSingleObject(thread_.Get(), 0) == WAIT_OBJECT_0;
}

unsigned __stdcall WorkerThread::ThreadMain(void* self) {
    auto* worker = static_cast<WorkerThread*>(self);
    // An exception leaving the thread would end the process: it ends the thread instead, with
    // a code the owner reports as it reports any failure.
    try {
        worker->Run();
    } catch (const std::bad_alloc&) {
        worker->lastResult = E_OUTOFMEMORY;
    } catch (...) {
        worker->lastResult = E_UNEXPECTED;
    }
    try {
        return static_cast<unsigned>(worker->Cleanup());
    } catch (...) {
        if (worker->lastResult == 0) worker->lastResult = E_UNEXPECTED;
        return 1;
    }
}
