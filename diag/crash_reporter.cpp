// The crash reporter's filter: the report, the logical-address search and both stack walks.
//
// How it works: the filter runs on the failing thread, possibly with a damaged stack or heap,
// so it allocates nothing, keeps its buffers in the object, and checks every address before it
// reads through it (the module headers, the frame chain). A stack overflow leaves the thread
// only a page or so: then a new thread writes the report and calls the previous filter while
// the failing one waits for it. IMAGEHLP.DLL is loaded only when a
// report is written and never freed; without it the frame-pointer chain is followed instead.
#include "diag/crash_reporter.h"

#include <imagehlp.h>

#include <cstdarg>
#include <cstring>

#include "base/unique_handle.h"

namespace {

const char kReportExtension[] = "RPT";
constexpr int kMinExtensionChars = 3;  // shorter extensions are not replaced
constexpr DWORD kMaxSymbolName = 512;
// IMAGEHLP_SYMBOL ends in a one-character name; the name's room follows it in the same buffer.
constexpr DWORD kSymbolBufferBytes = sizeof(IMAGEHLP_SYMBOL) + kMaxSymbolName;
constexpr DWORD kFrameBytes = 8;  // saved frame pointer and return address
// StackWalk can repeat frames forever on a damaged stack; a report must end.
constexpr int kMaxSymbolicFrames = 1000;

static_assert(sizeof(STACKFRAME) == 164, "the 32-bit STACKFRAME");
static_assert(kSymbolBufferBytes == 536, "the symbol buffer of the report");

const char kSeparator[] = "//=====================================================\n";

struct ExceptionNameEntry {
    DWORD code;
    const char* name;
};

const ExceptionNameEntry kExceptionNames[] = {
    {0xC0000005, "ACCESS_VIOLATION"},
    {0x80000002, "DATATYPE_MISALIGNMENT"},
    {0x80000003, "BREAKPOINT"},
    {0x80000004, "SINGLE_STEP"},
    {0xC000008C, "ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008D, "FLT_DENORMAL_OPERAND"},
    {0xC000008E, "FLT_DIVIDE_BY_ZERO"},
    {0xC000008F, "FLT_INEXACT_RESULT"},
    {0xC0000090, "FLT_INVALID_OPERATION"},
    {0xC0000091, "FLT_OVERFLOW"},
    {0xC0000092, "FLT_STACK_CHECK"},
    {0xC0000093, "FLT_UNDERFLOW"},
    {0xC0000094, "INT_DIVIDE_BY_ZERO"},
    {0xC0000095, "INT_OVERFLOW"},
    {0xC0000096, "PRIV_INSTRUCTION"},
    {0xC0000006, "IN_PAGE_ERROR"},
    {0xC000001D, "ILLEGAL_INSTRUCTION"},
    {0xC0000025, "NONCONTINUABLE_EXCEPTION"},
    {0xC00000FD, "STACK_OVERFLOW"},
    {0xC0000026, "INVALID_DISPOSITION"},
    {0x80000001, "GUARD_PAGE"},
    {0xC0000008, "INVALID_HANDLE"},
};

bool IsPathSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

// GetProcAddress answers with a generic function pointer; the real signature is known here.
template <typename Function>
Function ProcAs(FARPROC proc) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace

bool FindLogicalAddress(const void* address, LogicalAddress& where) {
    where.modulePath[0] = '\0';
    where.section = 0;
    where.offset = 0;

    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(address, &region, sizeof(region)) == 0) return false;
    // Free memory reports a null allocation base, and a null module means the program itself.
    if (region.State == MEM_FREE || region.AllocationBase == nullptr) return false;
    const auto* base = static_cast<const BYTE*>(region.AllocationBase);

    char path[MAX_PATH];
    const DWORD pathLength = GetModuleFileNameA(reinterpret_cast<HMODULE>(region.AllocationBase),
                                                path, MAX_PATH);
    if (pathLength == 0 || pathLength >= MAX_PATH) return false;

    // The headers of a module in memory, read only after each part is known to be readable.
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (IsBadReadPtr(dos, sizeof(*dos)) || dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    if (dos->e_lfanew <= 0 || IsBadReadPtr(nt, sizeof(*nt)) || nt->Signature != IMAGE_NT_SIGNATURE) {
        return false;
    }
    const auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
        reinterpret_cast<const BYTE*>(&nt->OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader);
    const WORD count = nt->FileHeader.NumberOfSections;
    if (IsBadReadPtr(sections, count * sizeof(IMAGE_SECTION_HEADER))) return false;

    const DWORD rva = static_cast<DWORD>(static_cast<const BYTE*>(address) - base);
    for (WORD i = 0; i < count; ++i) {
        const DWORD start = sections[i].VirtualAddress;
        const DWORD rawSize = sections[i].SizeOfRawData;
        const DWORD virtualSize = sections[i].Misc.VirtualSize;
        const DWORD length = rawSize > virtualSize ? rawSize : virtualSize;
        if (rva >= start && rva - start <= length) {
            lstrcpynA(where.modulePath, path, MAX_PATH);
            where.section = i + 1u;
            where.offset = rva - start;
            return true;
        }
    }
    return false;
}

bool MakeReportPath(const char* programPath, char (&reportPath)[MAX_PATH], UINT codePage) {
    reportPath[0] = '\0';
    const size_t length = std::strlen(programPath);
    if (length >= MAX_PATH) return false;
    std::memcpy(reportPath, programPath, length + 1);

    // Only a "." in the file name counts: one in a folder name would move the report elsewhere.
    char* lastDot = nullptr;
    for (char* p = reportPath; *p; p = CharNextExA(static_cast<WORD>(codePage), p, 0)) {
        if (IsPathSeparator(*p)) {
            lastDot = nullptr;
        } else if (*p == '.') {
            lastDot = p;
        }
    }
    if (lastDot) {
        int following = 0;
        for (const char* p = CharNextExA(static_cast<WORD>(codePage), lastDot, 0);
             *p && following < kMinExtensionChars;
             p = CharNextExA(static_cast<WORD>(codePage), p, 0)) {
            ++following;
        }
        // A program already named *.RPT would be its own report: fall through to appending.
        if (following >= kMinExtensionChars && lstrcmpiA(lastDot + 1, kReportExtension) != 0) {
            std::memcpy(lastDot + 1, kReportExtension, sizeof(kReportExtension));
            return true;
        }
    }

    // No usable extension: a path that differs from the program's in its own last characters.
    if (length + 1 + sizeof(kReportExtension) > MAX_PATH) {
        reportPath[0] = '\0';
        return false;
    }
    reportPath[length] = '.';
    std::memcpy(reportPath + length + 1, kReportExtension, sizeof(kReportExtension));
    return true;
}

namespace {

DWORD AsNumber(const void* address) {
    return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(address));
}

}  // namespace

CrashReporter* CrashReporter::installed_ = nullptr;

struct CrashReporter::StackWalkLibrary {
    decltype(&SymInitialize) symInitialize = nullptr;
    decltype(&SymCleanup) symCleanup = nullptr;
    decltype(&StackWalk) stackWalk = nullptr;
    PFUNCTION_TABLE_ACCESS_ROUTINE symFunctionTableAccess = nullptr;
    PGET_MODULE_BASE_ROUTINE symGetModuleBase = nullptr;
    decltype(&SymGetSymFromAddr) symGetSymFromAddr = nullptr;
};

struct CrashReporter::FreshStackJob {
    CrashReporter* reporter;
    EXCEPTION_POINTERS* pointers;
    HANDLE thread;  // the failing thread
    LONG answer;
};

CrashReporter::CrashReporter(const CrashReporterApi& api) : api_(api) {}

CrashReporter::~CrashReporter() { Uninstall(); }

bool CrashReporter::Install() {
    if (installed_) return false;
    installed_ = this;
    previousFilter = SetUnhandledExceptionFilter(&CrashReporter::TopLevelFilter);

    char programPath[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, programPath, MAX_PATH);
    // A truncated path names some other file: then no report at all.
    if (length == 0 || length >= MAX_PATH) {
        reportPath[0] = '\0';
    } else {
        MakeReportPath(programPath, reportPath);
    }
    return true;
}

void CrashReporter::Uninstall() {
    if (installed_ != this) return;
    SetUnhandledExceptionFilter(previousFilter);
    installed_ = nullptr;
}

LONG WINAPI CrashReporter::TopLevelFilter(EXCEPTION_POINTERS* pointers) {
    CrashReporter* reporter = installed_;
    return reporter ? reporter->Filter(pointers) : EXCEPTION_CONTINUE_SEARCH;
}

LONG CrashReporter::Filter(EXCEPTION_POINTERS* pointers) {
    if (pointers && pointers->ExceptionRecord &&
        pointers->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
        // Only the few calls below run on what is left of this thread's stack.
        KernelHandle faultingThread;
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                        faultingThread.Receive(), 0, FALSE, DUPLICATE_SAME_ACCESS);
        FreshStackJob job = {this, pointers, faultingThread.Get(), EXCEPTION_CONTINUE_SEARCH};
        const KernelHandle helper(CreateThread(nullptr, 0, &FreshStackThread, &job, 0, nullptr));
        if (helper && WaitForSingleObject(helper.Get(), INFINITE) == WAIT_OBJECT_0) {
            return job.answer;
        }
    }
    return ReportAndChain(pointers, GetCurrentThread());
}

DWORD WINAPI CrashReporter::FreshStackThread(void* parameter) {
    auto* job = static_cast<FreshStackJob*>(parameter);
    job->answer = job->reporter->ReportAndChain(job->pointers,
                                                job->thread ? job->thread : GetCurrentThread());
    return 0;
}

LONG CrashReporter::ReportAndChain(EXCEPTION_POINTERS* pointers, HANDLE thread) {
    const bool complete = pointers && pointers->ExceptionRecord && pointers->ContextRecord;
    if (complete && reportPath[0] != '\0') {
        auto oneReportAtATime = reportLock_.Lock();
        // Each report has its own handle: a second thread waits above rather than failing to
        // open the file the first one holds without sharing.
        const FileHandle file(CreateFileA(reportPath, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                          FILE_FLAG_WRITE_THROUGH, nullptr));
        if (file) {
            SetFilePointer(file.Get(), 0, nullptr, FILE_END);
            WriteReport(file.Get(), *pointers, thread);
        }
    }
    if (previousFilter) return previousFilter(pointers);
    return EXCEPTION_CONTINUE_SEARCH;
}

void CrashReporter::Write(HANDLE file, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = wvsprintfA(text_, format, args);
    va_end(args);
    if (length <= 0) return;
    DWORD written = 0;
    WriteFile(file, text_, static_cast<DWORD>(length), &written, nullptr);
}

const char* CrashReporter::ExceptionName(DWORD code) {
    for (const ExceptionNameEntry& entry : kExceptionNames) {
        if (entry.code == code) return entry.name;
    }
    name_[0] = '\0';
    if (FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                       GetModuleHandleA("NTDLL.DLL"), code, 0, name_, sizeof(name_),
                       nullptr) == 0) {
        name_[0] = '\0';
    }
    // System texts end in a line break; every line of the report ends in one line feed only.
    size_t length = std::strlen(name_);
    while (length > 0 && (name_[length - 1] == '\r' || name_[length - 1] == '\n' ||
                          name_[length - 1] == ' ')) {
        name_[--length] = '\0';
    }
    return name_;
}

void CrashReporter::WriteReport(HANDLE file, const EXCEPTION_POINTERS& pointers, HANDLE thread) {
    const EXCEPTION_RECORD& record = *pointers.ExceptionRecord;
    CONTEXT& context = *pointers.ContextRecord;

    Write(file, kSeparator);
    Write(file, "Exception code: %08X %s\n", record.ExceptionCode,
          ExceptionName(record.ExceptionCode));
    FindLogicalAddress(record.ExceptionAddress, where_);
    Write(file, "Fault address:  %08X %02X:%08X %s\n", AsNumber(record.ExceptionAddress),
          where_.section, where_.offset, where_.modulePath);

    Write(file, "\nRegisters:\n");
    Write(file, "EAX:%08X\nEBX:%08X\nECX:%08X\nEDX:%08X\nESI:%08X\nEDI:%08X\n", context.Eax,
          context.Ebx, context.Ecx, context.Edx, context.Esi, context.Edi);
    // Selectors are 16 bits; the upper half of their CONTEXT fields is not always cleared.
    Write(file, "CS:EIP:%04X:%08X\n", LOWORD(context.SegCs), context.Eip);
    Write(file, "SS:ESP:%04X:%08X  EBP:%08X\n", LOWORD(context.SegSs), context.Esp, context.Ebp);
    Write(file, "DS:%04X  ES:%04X  FS:%04X  GS:%04X\n", LOWORD(context.SegDs),
          LOWORD(context.SegEs), LOWORD(context.SegFs), LOWORD(context.SegGs));
    Write(file, "Flags:%08X\n", context.EFlags);

    StackWalkLibrary library;
    if (LoadStackWalkLibrary(library)) {
        MessageBeep(0xFFFFFFFF);
        WriteSymbolicStack(file, library, context, thread);
        library.symCleanup(GetCurrentProcess());
        Write(file, "\n");
    } else {
        OutputDebugStringA("IMAGEHLP.DLL or its exported procs not found");
        WriteFrameChainStack(file, context);
    }
}

bool CrashReporter::LoadStackWalkLibrary(StackWalkLibrary& library) {
    // Not freed: the process is failing, and a later report would load it again.
    HMODULE module = api_.loadLibrary("IMAGEHLP.DLL");
    if (!module) return false;
    library.symInitialize =
        ProcAs<decltype(library.symInitialize)>(api_.getProcAddress(module, "SymInitialize"));
    library.symCleanup =
        ProcAs<decltype(library.symCleanup)>(api_.getProcAddress(module, "SymCleanup"));
    library.stackWalk =
        ProcAs<decltype(library.stackWalk)>(api_.getProcAddress(module, "StackWalk"));
    library.symFunctionTableAccess = ProcAs<PFUNCTION_TABLE_ACCESS_ROUTINE>(
        api_.getProcAddress(module, "SymFunctionTableAccess"));
    library.symGetModuleBase = ProcAs<PGET_MODULE_BASE_ROUTINE>(
        api_.getProcAddress(module, "SymGetModuleBase"));
    library.symGetSymFromAddr = ProcAs<decltype(library.symGetSymFromAddr)>(
        api_.getProcAddress(module, "SymGetSymFromAddr"));
    if (!library.symInitialize || !library.symCleanup || !library.stackWalk ||
        !library.symFunctionTableAccess || !library.symGetModuleBase ||
        !library.symGetSymFromAddr) {
        return false;
    }
    return library.symInitialize(GetCurrentProcess(), nullptr, TRUE) != FALSE;
}

void CrashReporter::WriteSymbolicStack(HANDLE file, const StackWalkLibrary& library,
                                       CONTEXT& context, HANDLE thread) {
    Write(file, "\nCall stack:\n");
    Write(file, "Address   Frame\n");

    STACKFRAME frame;
    std::memset(&frame, 0, sizeof(frame));
    frame.AddrPC.Offset = context.Eip;
    frame.AddrPC.Mode = AddrModeFlat;
    frame.AddrStack.Offset = context.Esp;
    frame.AddrStack.Mode = AddrModeFlat;
    frame.AddrFrame.Offset = context.Ebp;
    frame.AddrFrame.Mode = AddrModeFlat;

    union {
        IMAGEHLP_SYMBOL symbol;
        BYTE bytes[kSymbolBufferBytes];
    } buffer;

    const HANDLE process = GetCurrentProcess();
    for (int frames = 0; frames < kMaxSymbolicFrames; ++frames) {
        if (!library.stackWalk(IMAGE_FILE_MACHINE_I386, process, thread, &frame, &context,
                               nullptr, library.symFunctionTableAccess, library.symGetModuleBase,
                               nullptr)) {
            break;
        }
        if (frame.AddrFrame.Offset == 0) break;

        Write(file, "%08X  %08X  ", frame.AddrPC.Offset, frame.AddrFrame.Offset);

        std::memset(&buffer, 0, sizeof(buffer));
        buffer.symbol.SizeOfStruct = kSymbolBufferBytes;
        buffer.symbol.MaxNameLength = kMaxSymbolName;
        DWORD displacement = 0;
        if (library.symGetSymFromAddr(process, frame.AddrPC.Offset, &displacement, &buffer.symbol)) {
            Write(file, "%hs+%X\n", buffer.symbol.Name, displacement);
        } else {
            FindLogicalAddress(reinterpret_cast<const void*>(frame.AddrPC.Offset), where_);
            Write(file, "%04X:%08X %s\n", where_.section, where_.offset, where_.modulePath);
        }
    }
}

void CrashReporter::WriteFrameChainStack(HANDLE file, const CONTEXT& context) {
    Write(file, "\nCall stack:\n");
    Write(file, "Address   Frame     Logical addr  Module\n");

    DWORD pc = context.Eip;
    DWORD frame = context.Ebp;
    for (;;) {
        FindLogicalAddress(reinterpret_cast<const void*>(pc), where_);
        Write(file, "%08X  %08X  %04X:%08X %s\n", pc, frame, where_.section, where_.offset,
              where_.modulePath);

        // Only the first frame comes unchecked, straight from the registers.
        const auto* slots = reinterpret_cast<const DWORD*>(frame);
        if (IsBadWritePtr(const_cast<DWORD*>(slots), kFrameBytes)) break;
        pc = slots[1];
        const DWORD next = slots[0];
        if (next % 4 != 0 || next <= frame) break;
        if (IsBadWritePtr(reinterpret_cast<void*>(next), kFrameBytes)) break;
        frame = next;
    }
}
