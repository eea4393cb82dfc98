// A GoogleTest exe that dies after a passing test, run by two ctest entries that are expected
// to fail: one faults (the prefix has no debugger to swallow it), one ends the process with
// exit code 0 before GoogleTest's summary (only the run script's summary check sees that).
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

// Empty on purpose: the first test of the exe passes, as most of a real suite would.
TEST(DiesAfterPass, Passes) {}

TEST(DiesAfterPass, Faults) {
    // On a thread of its own, so no handler of the test framework's thread sees the fault.
    std::thread([] {
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    }).join();
}

TEST(DiesAfterPass, ExitsWithZero) { ExitProcess(0); }
