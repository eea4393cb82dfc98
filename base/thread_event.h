// ThreadEvent: an owned auto-reset event, created unsignalled.
#pragma once

#include <windows.h>

#include "base/unique_handle.h"

class ThreadEvent {
public:
    ThreadEvent() : handle_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ThreadEvent(const ThreadEvent&) = delete;
    ThreadEvent& operator=(const ThreadEvent&) = delete;

    void Set() { SetEvent(handle_.Get()); }
    void Reset() { ResetEvent(handle_.Get()); }
    HANDLE Handle() const { return handle_.Get(); }

private:
    KernelHandle handle_;
};
