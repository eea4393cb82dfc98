// SplitInterrupt: console events as a Stop.
#include "split/interrupt.h"

bool SplitInterrupt::OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            requested_.store(true);
            return true;
        case CTRL_CLOSE_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            requested_.store(true);
            WaitForSingleObject(finished_.Handle(), INFINITE);
            return true;
        default:
            return false;
    }
}
