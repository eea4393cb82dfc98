// ThreadEvent: an owned auto-reset event, created unsignalled.
#pragma once

#include <windows.h>

class ThreadEvent {
public:
    ThreadEvent() : handle_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~ThreadEvent() {
        if (handle_) CloseHandle(handle_);
    }
    ThreadEvent(const ThreadEvent&) = delete;
    ThreadEvent& operator=(const ThreadEvent&) = delete;

    void Set() { SetEvent(handle_); }
    HANDLE Handle() const { return handle_; }

private:
    HANDLE handle_;
};
