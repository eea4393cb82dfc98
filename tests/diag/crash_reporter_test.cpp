// Crash reporter in-process: report path rules, the logical-address search on real modules,
// the report's layout and frame-chain walk from hand-made exception records, chaining and
// installation.
#include "diag/crash_reporter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/diag/report_text.h"
#include "tests/support/bench_audio.h"

namespace {

constexpr UINT kShiftJis = 932;

// A loader without IMAGEHLP.DLL, and one whose IMAGEHLP.DLL lacks the symbol lookup.
HMODULE WINAPI NoLibrary(LPCSTR) { return nullptr; }
FARPROC WINAPI NoSymbolLookup(HMODULE module, LPCSTR name) {
    if (lstrcmpA(name, "SymGetSymFromAddr") == 0) return nullptr;
    return GetProcAddress(module, name);
}
const CrashReporterApi kHiddenImagehlp = {&NoLibrary, &GetProcAddress};
const CrashReporterApi kIncompleteImagehlp = {&LoadLibraryA, &NoSymbolLookup};

std::string Hex(DWORD value, int digits) {
    char text[16];
    std::snprintf(text, sizeof(text), "%0*lX", digits, static_cast<unsigned long>(value));
    return text;
}

DWORD AsNumber(const void* address) {
    return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(address));
}

// Somewhere in this program's code, to stand for a faulting instruction.
__declspec(noinline) int CodeMarker(int x) { return x * 3 + 1; }
const void* CodeAddress() { return reinterpret_cast<const void*>(&CodeMarker); }

const IMAGE_SECTION_HEADER* Sections(HMODULE module, WORD& count) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    count = nt->FileHeader.NumberOfSections;
    return reinterpret_cast<const IMAGE_SECTION_HEADER*>(
        reinterpret_cast<const BYTE*>(&nt->OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader);
}

// An exception record and context with recognisable values, faulting at `address`.
struct FakeException {
    EXCEPTION_RECORD record = {};
    CONTEXT context = {};
    EXCEPTION_POINTERS pointers = {&record, &context};

    FakeException(DWORD code, const void* address, DWORD ebp) {
        record.ExceptionCode = code;
        record.ExceptionAddress = const_cast<void*>(address);
        context.ContextFlags = CONTEXT_FULL;
        context.Eax = 0x11111111;
        context.Ebx = 0x22222222;
        context.Ecx = 0x33333333;
        context.Edx = 0x44444444;
        context.Esi = 0x55555555;
        context.Edi = 0x66666666;
        context.Eip = AsNumber(address);
        context.Esp = 0x0067FE3C;
        context.Ebp = ebp;
        context.SegCs = 0x00670023;  // junk above the 16-bit selector, as Wine leaves it
        context.SegSs = 0x002B;
        context.SegDs = 0x4000002B;
        context.SegEs = 0x002B;
        context.SegFs = 0x0053;
        context.SegGs = 0x002B;
        context.EFlags = 0x00010246;
    }
    FakeException(const FakeException&) = delete;  // points into itself
    FakeException& operator=(const FakeException&) = delete;
};

class CrashReportTest : public ::testing::Test {
protected:
    void SetUp() override { folder_ = bench::WindowsPath(bench::ScratchDir("diag_report")); }

    std::string ReportFile(const std::string& name) const { return folder_ + "\\" + name; }

    // Runs the filter of a reporter with `loader` into a fresh file; returns the report text.
    std::string Report(const CrashReporterApi& loader, FakeException& fake,
                       const std::string& name = "report.RPT") {
        const std::string path = ReportFile(name);
        DeleteFileA(path.c_str());
        CrashReporter reporter(loader);
        lstrcpynA(reporter.reportPath, path.c_str(), MAX_PATH);
        EXPECT_EQ(EXCEPTION_CONTINUE_SEARCH, reporter.Filter(&fake.pointers));
        return ReadAll(path);
    }

    // The call-stack lines after the frame-chain header.
    std::vector<std::string> FrameChainLines(FakeException& fake) {
        const std::vector<std::string> lines = SplitLines(Report(kHiddenImagehlp, fake));
        std::vector<std::string> frames;
        bool inStack = false;
        for (const std::string& line : lines) {
            if (inStack) frames.push_back(line);
            if (line == "Address   Frame     Logical addr  Module") inStack = true;
        }
        EXPECT_TRUE(inStack) << "no frame-chain header";
        return frames;
    }

    std::string folder_;
};

TEST(ReportPathTest, ReplacesTheExtensionOrChoosesAPathThatIsNeverTheProgram) {
    struct Case {
        const char* program;
        UINT codePage;
        const char* report;
    };
    const Case cases[] = {
        {"C:\\Grooval\\grooval.exe", CP_ACP, "C:\\Grooval\\grooval.RPT"},
        {"C:\\Grooval\\grooval.backup", CP_ACP, "C:\\Grooval\\grooval.RPT"},
        {"C:\\a\\b.c.exe", CP_ACP, "C:\\a\\b.c.RPT"},
        {"C:\\a\\prog.abc", CP_ACP, "C:\\a\\prog.RPT"},
        // Fewer than three characters after the last ".", or none: append.
        {"C:\\a\\prog.ex", CP_ACP, "C:\\a\\prog.ex.RPT"},
        {"C:\\a\\prog.", CP_ACP, "C:\\a\\prog..RPT"},
        {"C:\\a\\prog", CP_ACP, "C:\\a\\prog.RPT"},
        // A "." in a folder name is not an extension.
        {"C:\\my.folder\\prog", CP_ACP, "C:\\my.folder\\prog.RPT"},
        {"C:\\my.folder/prog", CP_ACP, "C:\\my.folder/prog.RPT"},
        // A program already named .RPT must not become its own report.
        {"C:\\a\\prog.rpt", CP_ACP, "C:\\a\\prog.rpt.RPT"},
        {"C:\\a\\prog.RPT", CP_ACP, "C:\\a\\prog.RPT.RPT"},
        // Shift-JIS: 0x83 0x5C is one character whose second byte looks like "\".
        {"C:\\a\\ab.\x83\x5Cxyz", kShiftJis, "C:\\a\\ab.RPT"},
        // Two double-byte characters are two characters, not four.
        {"C:\\a\\ab.\x83\x40\x83\x41", kShiftJis, "C:\\a\\ab.\x83\x40\x83\x41.RPT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        char report[MAX_PATH];
        EXPECT_TRUE(MakeReportPath(c.program, report, c.codePage));
        EXPECT_STREQ(c.report, report);
    }
}

TEST(ReportPathTest, LongPathsThatCannotTakeTheSuffixGiveNoPath) {
    char report[MAX_PATH];
    const std::string folder = "C:\\" + std::string(240, 'f') + "\\";
    const std::string fits = folder + std::string(MAX_PATH - 5 - folder.size(), 'p');  // 255
    EXPECT_TRUE(MakeReportPath(fits.c_str(), report));
    EXPECT_EQ(fits + ".RPT", report);

    const std::string tooLong = fits + "p";
    EXPECT_FALSE(MakeReportPath(tooLong.c_str(), report));
    EXPECT_STREQ("", report);

    // Replacing an extension never lengthens the path.
    const std::string withExtension = tooLong.substr(0, tooLong.size() - 4) + ".exe";
    EXPECT_TRUE(MakeReportPath(withExtension.c_str(), report));
    EXPECT_EQ(withExtension.substr(0, withExtension.size() - 3) + "RPT", report);

    EXPECT_FALSE(MakeReportPath(std::string(MAX_PATH, 'x').c_str(), report));
}

TEST(LogicalAddressTest, SectionBoundsOfRealModulesIncludeTheUpperEnd) {
    const HMODULE modules[] = {GetModuleHandleA(nullptr), GetModuleHandleA("kernel32.dll")};
    for (HMODULE module : modules) {
        char path[MAX_PATH];
        ASSERT_NE(0u, GetModuleFileNameA(module, path, MAX_PATH));
        SCOPED_TRACE(path);
        const auto* base = reinterpret_cast<const BYTE*>(module);
        WORD count = 0;
        const IMAGE_SECTION_HEADER* sections = Sections(module, count);
        ASSERT_GT(count, 0);
        const DWORD start = sections[0].VirtualAddress;
        const DWORD length = sections[0].SizeOfRawData > sections[0].Misc.VirtualSize
                                 ? sections[0].SizeOfRawData
                                 : sections[0].Misc.VirtualSize;
        const DWORD next = sections[1].VirtualAddress;
        ASSERT_LE(start + length, next) << "sections overlap";
        // Just past the end: a gap before the next section, or the next section's start when the
        // two touch (then the end itself still belongs to the first, as it comes first).
        const DWORD past = start + length + 1;
        const bool inNext = past >= next;

        struct Case {
            DWORD rva;
            DWORD section;  // 0: not found
            DWORD offset;
        };
        const Case cases[] = {
            {start, 1, 0},
            {start + 1, 1, 1},
            {start + length, 1, length},  // the upper end is inside
            {past, inNext ? 2u : 0u, inNext ? past - next : 0u},
            {start - 1, 0, 0},  // the headers belong to no section
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.rva);
            LogicalAddress where;
            EXPECT_EQ(c.section != 0, FindLogicalAddress(base + c.rva, where));
            EXPECT_EQ(c.section, where.section);
            EXPECT_EQ(c.offset, where.offset);
            EXPECT_STREQ(c.section != 0 ? path : "", where.modulePath);
        }

        // Any later section is numbered by its place in the table.
        LogicalAddress where;
        EXPECT_TRUE(FindLogicalAddress(base + sections[1].VirtualAddress + 4, where));
        EXPECT_EQ(2u, where.section);
        EXPECT_EQ(4u, where.offset);
    }
}

TEST(LogicalAddressTest, AddressesInNoModuleGiveZerosAndAnEmptyPath) {
    void* heap = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(nullptr, heap);
    const void* addresses[] = {
        nullptr,                                  // a call through a null pointer
        heap,                                     // allocated, but no module
        reinterpret_cast<const void*>(0x13),      // free memory at the bottom
        reinterpret_cast<const void*>(0xFFFF0000u),  // beyond what a program can query
    };
    for (const void* address : addresses) {
        SCOPED_TRACE(AsNumber(address));
        LogicalAddress where;
        where.section = 7;
        where.offset = 7;
        lstrcpyA(where.modulePath, "stale");
        EXPECT_FALSE(FindLogicalAddress(address, where));
        EXPECT_EQ(0u, where.section);
        EXPECT_EQ(0u, where.offset);
        EXPECT_STREQ("", where.modulePath);
    }
    VirtualFree(heap, 0, MEM_RELEASE);
}

TEST_F(CrashReportTest, CorruptFramePointerGivesTheWholeReportWithOneStackLine) {
    LogicalAddress fault;
    ASSERT_TRUE(FindLogicalAddress(CodeAddress(), fault));
    FakeException fake(0xC0000094, CodeAddress(), 0x00000013);
    const std::string address = Hex(AsNumber(CodeAddress()), 8);
    const std::string logical = Hex(fault.section, 2) + ":" + Hex(fault.offset, 8);
    const std::string expected =
        "//=====================================================\n"
        "Exception code: C0000094 INT_DIVIDE_BY_ZERO\n"
        "Fault address:  " + address + " " + logical + " " + fault.modulePath + "\n"
        "\n"
        "Registers:\n"
        "EAX:11111111\nEBX:22222222\nECX:33333333\nEDX:44444444\nESI:55555555\nEDI:66666666\n"
        "CS:EIP:0023:" + address + "\n"
        "SS:ESP:002B:0067FE3C  EBP:00000013\n"
        "DS:002B  ES:002B  FS:0053  GS:002B\n"
        "Flags:00010246\n"
        "\n"
        "Call stack:\n"
        "Address   Frame     Logical addr  Module\n" +
        address + "  00000013  " + Hex(fault.section, 4) + ":" + Hex(fault.offset, 8) + " " +
        fault.modulePath + "\n";
    EXPECT_EQ(expected, Report(kHiddenImagehlp, fake));
}

TEST_F(CrashReportTest, MissingEntryPointAlsoFallsBackToTheFrameChain) {
    FakeException fake(0xC0000005, CodeAddress(), 0);
    const std::string report = Report(kIncompleteImagehlp, fake);
    EXPECT_NE(std::string::npos, report.find("\nAddress   Frame     Logical addr  Module\n"));
}

TEST_F(CrashReportTest, FaultOutsideEveryModuleAndUnnamedCodes) {
    void* heap = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(nullptr, heap);
    FakeException fake(0xE06D7363, heap, 0);
    const std::vector<std::string> lines = SplitLines(Report(kHiddenImagehlp, fake));
    ASSERT_GT(lines.size(), 3u);

    EXPECT_EQ("Exception code: E06D7363 " + SystemExceptionName(0xE06D7363), lines[1]);
    EXPECT_EQ("Fault address:  " + Hex(AsNumber(heap), 8) + " 00:00000000 ", lines[2]);
    VirtualFree(heap, 0, MEM_RELEASE);
}

TEST_F(CrashReportTest, FrameChainStopsAtTheFirstBadLink) {
    // Page 0 holds hand-made frames; page 1 is read-only, so not a usable frame.
    auto* pages = static_cast<BYTE*>(
        VirtualAlloc(nullptr, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(nullptr, pages);
    DWORD oldProtection = 0;
    ASSERT_TRUE(VirtualProtect(pages + 4096, 4096, PAGE_READONLY, &oldProtection));
    const DWORD base = AsNumber(pages);
    const DWORD inCode = AsNumber(CodeAddress());
    const DWORD nowhere = 0x00001234;  // a return address in no module

    struct Link {
        DWORD at;    // offset of the frame in page 0
        DWORD next;  // saved frame pointer (absolute)
        DWORD ret;   // return address
    };
    struct Case {
        const char* name;
        DWORD ebp;
        std::vector<Link> links;
        std::vector<DWORD> frames;  // expected frame column, line by line
    };
    const std::vector<Case> cases = {
        {"three frames, then a null link", base + 0x10,
         {{0x10, base + 0x40, inCode}, {0x40, base + 0x80, nowhere}, {0x80, 0, inCode}},
         {base + 0x10, base + 0x40, base + 0x80}},
        {"link downwards", base + 0x10,
         {{0x10, base + 0x40, inCode}, {0x40, base + 0x20, nowhere}},
         {base + 0x10, base + 0x40}},
        {"link to itself", base + 0x10, {{0x10, base + 0x10, inCode}}, {base + 0x10}},
        {"misaligned link", base + 0x10, {{0x10, base + 0x42, inCode}}, {base + 0x10}},
        {"link into the read-only page", base + 0x10, {{0x10, base + 4096 + 0x10, inCode}},
         {base + 0x10}},
        {"link to the last writable 8 bytes", base + 0x10,
         {{0x10, base + 4096 - 8, inCode}, {4096 - 8, 0, inCode}},
         {base + 0x10, base + 4096 - 8}},
        {"corrupt frame pointer", 0x00000013, {}, {0x00000013}},
        {"null frame pointer", 0, {}, {0}},
        {"frame pointer into read-only memory", base + 4096, {}, {base + 4096}},
        {"frame straddling into read-only memory", base + 4096 - 4, {}, {base + 4096 - 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(pages, 0, 4096);
        for (const Link& link : c.links) {
            reinterpret_cast<DWORD*>(pages + link.at)[0] = link.next;
            reinterpret_cast<DWORD*>(pages + link.at)[1] = link.ret;
        }
        FakeException fake(0xC0000005, CodeAddress(), c.ebp);
        const std::vector<std::string> lines = FrameChainLines(fake);
        ASSERT_EQ(c.frames.size(), lines.size());

        // Line i shows the frame and the code address that frame i - 1 returns to.
        DWORD pc = inCode;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i > 0) pc = c.links[i - 1].ret;
            LogicalAddress where;
            FindLogicalAddress(reinterpret_cast<const void*>(pc), where);
            EXPECT_EQ(Hex(pc, 8) + "  " + Hex(c.frames[i], 8) + "  " + Hex(where.section, 4) +
                          ":" + Hex(where.offset, 8) + " " + where.modulePath,
                      lines[i]);
        }
    }
    VirtualFree(pages, 0, MEM_RELEASE);
}

// The previous filter of the chaining tests: counts calls and answers "handled".
int previousCalls = 0;
EXCEPTION_POINTERS* previousSaw = nullptr;
LONG WINAPI PreviousFilter(EXCEPTION_POINTERS* pointers) {
    ++previousCalls;
    previousSaw = pointers;
    return EXCEPTION_EXECUTE_HANDLER;
}

TEST_F(CrashReportTest, ChainsToThePreviousFilterWhetherOrNotTheReportWasWritten) {
    struct Case {
        const char* name;
        std::string path;
        bool written;
    };
    const Case cases[] = {
        {"writable folder", ReportFile("chained.RPT"), true},
        {"missing folder", ReportFile("missing\\chained.RPT"), false},
        {"the path is a folder", ReportFile("folder.RPT"), false},
        {"no path", "", false},
    };
    ASSERT_TRUE(CreateDirectoryA(ReportFile("folder.RPT").c_str(), nullptr));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeException fake(0xC0000005, CodeAddress(), 0);
        CrashReporter reporter(kHiddenImagehlp);
        lstrcpynA(reporter.reportPath, c.path.c_str(), MAX_PATH);
        reporter.previousFilter = &PreviousFilter;
        previousCalls = 0;
        previousSaw = nullptr;

        EXPECT_EQ(EXCEPTION_EXECUTE_HANDLER, reporter.Filter(&fake.pointers));
        EXPECT_EQ(1, previousCalls);
        EXPECT_EQ(&fake.pointers, previousSaw);
        const DWORD attributes = GetFileAttributesA(c.path.c_str());
        if (c.written) {
            EXPECT_EQ(0u, ReadAll(c.path).find("//====="));
        } else if (!c.path.empty()) {
            EXPECT_TRUE(attributes == INVALID_FILE_ATTRIBUTES ||
                        (attributes & FILE_ATTRIBUTE_DIRECTORY));
        }
    }
    RemoveDirectoryA(ReportFile("folder.RPT").c_str());
}

// Two threads failing together: the first report waits inside its library lookup until the
// second thread's filter has returned, which it must not do before the first report is done.
constexpr DWORD kTogetherBoundMs = 1000;
HANDLE firstReportInside = nullptr;
HANDLE secondFilterReturned = nullptr;
volatile LONG lookups = 0;
HMODULE WINAPI FirstLookupWaits(LPCSTR) {
    if (InterlockedIncrement(&lookups) == 1) {
        SetEvent(firstReportInside);
        WaitForSingleObject(secondFilterReturned, kTogetherBoundMs);
    }
    return nullptr;
}
const CrashReporterApi kFirstLookupWaits = {&FirstLookupWaits, &GetProcAddress};

TEST_F(CrashReportTest, ThreadsFailingTogetherWriteOneWholeReportAfterTheOther) {
    FakeException first(0xC0000005, CodeAddress(), 0);
    FakeException second(0xC0000094, CodeAddress(), 0);
    const std::string expected = Report(kHiddenImagehlp, first) + Report(kHiddenImagehlp, second);

    const std::string path = ReportFile("together.RPT");
    DeleteFileA(path.c_str());
    CrashReporter reporter(kFirstLookupWaits);
    lstrcpynA(reporter.reportPath, path.c_str(), MAX_PATH);
    firstReportInside = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    secondFilterReturned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    lookups = 0;
    std::thread firstThread([&] { reporter.Filter(&first.pointers); });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(firstReportInside, 30000));
    std::thread secondThread([&] {
        reporter.Filter(&second.pointers);
        SetEvent(secondFilterReturned);
    });
    firstThread.join();
    secondThread.join();
    CloseHandle(firstReportInside);
    CloseHandle(secondFilterReturned);
    EXPECT_EQ(expected, ReadAll(path));
}

TEST(CrashReporterInstallTest, InstallsOnceAndRestoresThePreviousFilter) {
    LPTOP_LEVEL_EXCEPTION_FILTER original = SetUnhandledExceptionFilter(&PreviousFilter);
    {
        CrashReporter reporter;
        ASSERT_TRUE(reporter.Install());
        EXPECT_EQ(&PreviousFilter, reporter.previousFilter);

        char program[MAX_PATH];
        ASSERT_NE(0u, GetModuleFileNameA(nullptr, program, MAX_PATH));
        std::string expected = program;
        expected.replace(expected.rfind('.') + 1, std::string::npos, "RPT");
        EXPECT_EQ(expected, reporter.reportPath);

        CrashReporter second;
        EXPECT_FALSE(second.Install()) << "one reporter at a time";

        // The installed filter is some other function than the one before.
        LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(&PreviousFilter);
        EXPECT_NE(&PreviousFilter, current);
        SetUnhandledExceptionFilter(current);
    }  // the destructor restores the previous filter
    EXPECT_EQ(&PreviousFilter, SetUnhandledExceptionFilter(original));
}

}  // namespace
