// CrashReporter: appends a plain-text report beside the program file whenever an exception
// escapes every handler of any thread, then hands the exception on to the filter installed
// before it.
//
// How the program gets it: the one process-wide reporter is an object in
// crash_reporter_install.cpp that installs itself while static objects are initialised and
// restores the previous filter when the process ends. Nothing references that object, so a
// linker pulling it from an archive would drop it. The target grooval_diag is therefore an
// OBJECT library: link it straight into the executable target,
//     target_link_libraries(grooval PRIVATE grooval_diag)
// and never only through another static library (its objects would land in that archive).
// grooval_diag_reporter holds the code alone, without the installer, for tests.
#pragma once

#include <windows.h>

#include "base/critical_section.h"

#if !defined(_M_IX86) && !defined(__i386__)
#error The crash report reads the x86 CONTEXT record.
#endif

// Where a code address lies in the loaded modules.
struct LogicalAddress {
    char modulePath[MAX_PATH];  // empty when not found
    DWORD section;              // numbered from 1; 0 when not found
    DWORD offset;               // from the section's start; 0 when not found
};

// Finds the module, section and offset of an address. The section's upper end is included.
// An address in no module (free memory included) or in no section gives false and 0, 0, "".
bool FindLogicalAddress(const void* address, LogicalAddress& where);

// The report path for a program path: the extension after the file name's last "." replaced
// with "RPT" when at least 3 characters follow it (counted in characters of the code page).
// Otherwise, or when the program itself ends in ".RPT", ".RPT" is appended to the whole path,
// so the program file is never the report. False (reportPath empty) when the result would not
// fit in MAX_PATH.
bool MakeReportPath(const char* programPath, char (&reportPath)[MAX_PATH], UINT codePage = CP_ACP);

// The loader calls of the stack-walk library: a seam so that tests can hide IMAGEHLP.DLL.
struct CrashReporterApi {
    HMODULE(WINAPI* loadLibrary)(LPCSTR fileName) = &LoadLibraryA;
    FARPROC(WINAPI* getProcAddress)(HMODULE module, LPCSTR name) = &GetProcAddress;
};

class CrashReporter {
public:
    explicit CrashReporter(const CrashReporterApi& api = CrashReporterApi());
    ~CrashReporter();  // uninstalls
    CrashReporter(const CrashReporter&) = delete;
    CrashReporter& operator=(const CrashReporter&) = delete;

    // Becomes the process's unhandled-exception filter and derives reportPath from the
    // program's own path. One reporter at a time: false when another one is installed.
    bool Install();
    // Restores previousFilter; harmless when not installed.
    void Uninstall();

    // Appends a report to reportPath (nothing when it is empty or cannot be opened), then
    // returns previousFilter's answer, or EXCEPTION_CONTINUE_SEARCH when there is none. Threads
    // that fail together write one report after the other. After a stack overflow both the
    // report and the call of previousFilter run on a thread of their own, since the failing
    // thread has no stack left for them.
    LONG Filter(EXCEPTION_POINTERS* pointers);

    char reportPath[MAX_PATH] = {};
    LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

private:
    // The IMAGEHLP.DLL entry points of the symbolic stack walk.
    struct StackWalkLibrary;

    // A filter call handed to a fresh thread.
    struct FreshStackJob;

    static LONG WINAPI TopLevelFilter(EXCEPTION_POINTERS* pointers);
    static DWORD WINAPI FreshStackThread(void* job);

    // `thread` is the failing thread, for the stack walk.
    LONG ReportAndChain(EXCEPTION_POINTERS* pointers, HANDLE thread);
    void WriteReport(HANDLE file, const EXCEPTION_POINTERS& pointers, HANDLE thread);
    void WriteSymbolicStack(HANDLE file, const StackWalkLibrary& library, CONTEXT& context,
                            HANDLE thread);
    void WriteFrameChainStack(HANDLE file, const CONTEXT& context);
    bool LoadStackWalkLibrary(StackWalkLibrary& library);
    const char* ExceptionName(DWORD code);
    void Write(HANDLE file, const char* format, ...);

    static CrashReporter* installed_;

    const CrashReporterApi api_;
    // Held while a report is written: the buffers below serve one report at a time.
    // Re-entrant, so a fault while writing a report cannot hang its own thread here.
    CriticalSection reportLock_;
    // Buffers live in the object, not on the stack of a thread that may have none left.
    char text_[1024];
    char name_[512];
    LogicalAddress where_;
};
