// SplitInterrupt: the console events that stop a split as the recorder's Stop stops a
// recording: the open track is finished and the cue sheet written.
//
// Ctrl+C and Ctrl+Break only ask, and the handler returns at once. Closing the console window
// (or shutting down) ends the process as soon as the handler returns, so there the handler
// asks and then waits until the split is done; the system allows a few seconds. A log-off may
// be another user's and is left to the system.
#pragma once

#include <windows.h>

#include <atomic>

#include "base/thread_event.h"

class SplitInterrupt {
public:
    // Polled by the split.
    const std::atomic<bool>& Requested() const { return requested_; }
    // The console control handler's work, on the thread the system calls it on: true when the
    // event was handled here.
    bool OnConsoleEvent(DWORD event);
    // The split has written all it will write.
    void Finished() { finished_.Set(); }

private:
    std::atomic<bool> requested_{false};
    ThreadEvent finished_;
};
