// The process-wide crash reporter: installed while static objects are initialised, before any
// window exists; its destructor restores the previous filter when the process ends.
//
// It depends on no other static object (the mixer log included), so the unspecified order of
// initialisation between files does not matter; it is in place before WinMain runs. This file
// must be linked as an object (see crash_reporter.h): nothing refers to it by name.
#include "diag/crash_reporter.h"

namespace {

class ProcessCrashReporter {
public:
    ProcessCrashReporter() { reporter_.Install(); }

private:
    CrashReporter reporter_;
};

ProcessCrashReporter processCrashReporter;

}  // namespace
