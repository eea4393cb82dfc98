// Crash reports of real crashes: a child program linked with the self-installing reporter
// fails on purpose, and its report appears beside it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/unique_handle.h"
#include "tests/diag/report_text.h"
#include "tests/support/bench_audio.h"

namespace {

// The report is written at once; the system's own crash handling takes a second or two more.
constexpr DWORD kChildTimeoutMs = 60000;
const char kSeparator[] = "//=====================================================";

bool SameText(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

std::string Folder(const std::string& path) { return path.substr(0, path.rfind('\\')); }

// Copies the test child, built beside this test, into a fresh scratch folder.
std::string PlaceChild(const std::string& scratchName, const std::string& fileName) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string source = Folder(self) + "\\crash_child.exe";
    const std::string target = bench::WindowsPath(bench::ScratchDir(scratchName)) + "\\" + fileName;
    EXPECT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE)) << source;
    return target;
}

using Handle = KernelHandle;

// Runs the child and waits for it, its standard handles on NUL so that the system's crash dump
// stays out of the test log. `exitCode` receives how the child ended.
bool RunChild(const std::string& program, const char* mode, DWORD* exitCode = nullptr) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE opened = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                nullptr);
    Handle nul(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.Get();
    PROCESS_INFORMATION info = {};
    std::string commandLine = "\"" + program + "\" " + mode;
    const BOOL started = CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                        0, nullptr, Folder(program).c_str(), &startup, &info);
    EXPECT_TRUE(started) << program << " error " << GetLastError();
    if (!started) return false;
    Handle process(info.hProcess);
    Handle thread(info.hThread);

    const DWORD waited = WaitForSingleObject(process.Get(), kChildTimeoutMs);
    EXPECT_EQ(WAIT_OBJECT_0, waited) << "the crashing child did not end";
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.Get(), 1);
    if (exitCode) GetExitCodeProcess(process.Get(), exitCode);
    return waited == WAIT_OBJECT_0;
}

using RegistryHandle = KeyHandle;

// Wine's per-program DLL override: while it lives, the named program finds no IMAGEHLP.DLL.
class NoImagehlpFor {
public:
    explicit NoImagehlpFor(const std::string& programFile)
        : key_(std::string(kAppDefaults) + "\\" + programFile) {
        RegistryHandle overrides;
        const std::string path = key_ + "\\DllOverrides";
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                                 KEY_SET_VALUE, nullptr, overrides.Receive(),
                                                 nullptr));
        // An empty load order disables the library.
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(overrides.Get(), "imagehlp", 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(""), 1));
    }
    ~NoImagehlpFor() {
        RegDeleteKeyA(HKEY_CURRENT_USER, (key_ + "\\DllOverrides").c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str());
    }
    NoImagehlpFor(const NoImagehlpFor&) = delete;
    NoImagehlpFor& operator=(const NoImagehlpFor&) = delete;

private:
    static constexpr char kAppDefaults[] = "Software\\Wine\\AppDefaults";
    std::string key_;
};

// One report cut into its lines.
struct Report {
    std::vector<std::string> lines;

    DWORD Value(size_t line, const char* format) const {
        unsigned long value = 0;
        if (line >= lines.size() || std::sscanf(lines[line].c_str(), format, &value) != 1) {
            ADD_FAILURE() << "line " << line << " does not match " << format;
        }
        return static_cast<DWORD>(value);
    }
};

std::vector<Report> SplitReports(const std::string& text) {
    std::vector<Report> reports;
    for (const std::string& line : SplitLines(text)) {
        if (line == kSeparator) reports.emplace_back();
        if (reports.empty()) {
            ADD_FAILURE() << "text before the first separator: " << line;
            continue;
        }
        reports.back().lines.push_back(line);
    }
    return reports;
}

std::string ReportPath(const std::string& program) {
    return program.substr(0, program.rfind('.')) + ".RPT";
}

// Register and fault lines common to every report; returns the faulting address. The fault's
// module is checked when `module` is not empty.
DWORD CheckHead(const Report& report, const std::string& module, const std::string& exceptionLine) {
    const std::vector<std::string>& l = report.lines;
    EXPECT_GE(l.size(), 18u);
    if (l.size() < 18) return 0;
    EXPECT_EQ(exceptionLine, l[1]);

    unsigned long address = 0, section = 0, offset = 0;
    int pathStart = 0;
    EXPECT_EQ(3, std::sscanf(l[2].c_str(), "Fault address:  %8lX %2lX:%8lX %n", &address, &section,
                             &offset, &pathStart));
    if (!module.empty()) {
        EXPECT_TRUE(SameText(module, l[2].substr(pathStart))) << l[2];
    }

    EXPECT_EQ("", l[3]);
    EXPECT_EQ("Registers:", l[4]);
    const char* registers[] = {"EAX:", "EBX:", "ECX:", "EDX:", "ESI:", "EDI:"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(0u, l[5 + i].find(registers[i])) << l[5 + i];
        EXPECT_EQ(12u, l[5 + i].size()) << l[5 + i];
    }
    EXPECT_EQ(address, report.Value(11, "CS:EIP:%*4X:%8lX")) << "EIP is the fault address";
    EXPECT_EQ(0u, l[12].find("SS:ESP:")) << l[12];
    EXPECT_NE(std::string::npos, l[12].find("  EBP:")) << l[12];
    EXPECT_EQ(0u, l[13].find("DS:")) << l[13];
    EXPECT_EQ(0u, l[14].find("Flags:")) << l[14];
    EXPECT_EQ("", l[15]);
    EXPECT_EQ("Call stack:", l[16]);
    return static_cast<DWORD>(address);
}

TEST(CrashChildTest, AccessViolationReportHasEverySection) {
    const std::string program = PlaceChild("diag_child_access", "crash_child.exe");
    ASSERT_TRUE(RunChild(program, "access"));

    const std::string text = ReadAll(ReportPath(program));
    EXPECT_EQ(std::string::npos, text.find('\r')) << "lines end in a line feed alone";
    const std::vector<Report> reports = SplitReports(text);
    ASSERT_EQ(1u, reports.size()) << text;
    const Report& report = reports[0];
    const DWORD fault = CheckHead(report, program, "Exception code: C0000005 ACCESS_VIOLATION");
    EXPECT_NE(std::string::npos, report.lines[2].find(" 01:")) << "in the program's code";

    // Wine has IMAGEHLP.DLL: the symbolic walk, its frames starting at the fault.
    ASSERT_GE(report.lines.size(), 21u) << text;
    EXPECT_EQ("Address   Frame", report.lines[17]);
    EXPECT_EQ(fault, report.Value(18, "%8lX"));
    EXPECT_EQ("", report.lines.back()) << "a blank line ends the symbolic walk";
    EXPECT_EQ("\n\n", text.substr(text.size() - 2));
}

TEST(CrashChildTest, StackOverflowIsReportedWholeAndHandedOn) {
    const std::string program = PlaceChild("diag_child_stack", "crash_child.exe");
    DWORD exitCode = 0;
    ASSERT_TRUE(RunChild(program, "stack", &exitCode));

    const std::string text = ReadAll(ReportPath(program));
    const std::vector<Report> reports = SplitReports(text);
    ASSERT_EQ(1u, reports.size()) << text;
    const Report& report = reports[0];
    const DWORD fault = CheckHead(report, program, "Exception code: C00000FD STACK_OVERFLOW");
    ASSERT_GE(report.lines.size(), 21u) << text;
    EXPECT_EQ("Address   Frame", report.lines[17]);
    EXPECT_EQ(fault, report.Value(18, "%8lX"));
    EXPECT_EQ("", report.lines.back()) << "the walk ran to its end";
    // No second fault: the system's handling saw the overflow itself.
    EXPECT_EQ(DWORD(EXCEPTION_STACK_OVERFLOW), exitCode);
}

TEST(CrashChildTest, SecondCrashAppendsItsOwnReport) {
    const std::string program = PlaceChild("diag_child_twice", "crash_child.exe");
    ASSERT_TRUE(RunChild(program, "access"));
    const std::string first = ReadAll(ReportPath(program));
    ASSERT_FALSE(first.empty());

    // The runtime's C++ exception code is in no table of the report: the system's text or none.
    ASSERT_TRUE(RunChild(program, "foreign"));
    const std::string both = ReadAll(ReportPath(program));
    ASSERT_EQ(0u, both.find(first)) << "the first report stays as it was";
    EXPECT_EQ(std::string(kSeparator) + "\n", both.substr(first.size(), sizeof(kSeparator)));

    const std::vector<Report> reports = SplitReports(both);
    ASSERT_EQ(2u, reports.size());
    // Raised inside the system's libraries, not in the program's code.
    CheckHead(reports[1], "", "Exception code: E06D7363 " + SystemExceptionName(0xE06D7363));
}

TEST(CrashChildTest, WithoutImagehlpTheFrameChainFollowsTheChildsFrames) {
    const std::string program = PlaceChild("diag_child_chain", "crash_chain.exe");
    {
        NoImagehlpFor override("crash_chain.exe");
        ASSERT_TRUE(RunChild(program, "access"));
    }

    const std::string text = ReadAll(ReportPath(program));
    const std::vector<Report> reports = SplitReports(text);
    ASSERT_EQ(1u, reports.size()) << text;
    const Report& report = reports[0];
    const DWORD fault = CheckHead(report, program, "Exception code: C0000005 ACCESS_VIOLATION");
    ASSERT_GE(report.lines.size(), 18u);
    EXPECT_EQ("Address   Frame     Logical addr  Module", report.lines[17]);

    // The faulting function and its two callers, each with its own frame, higher each time.
    std::vector<std::string> frames(report.lines.begin() + 18, report.lines.end());
    ASSERT_GE(frames.size(), 4u) << text;
    EXPECT_EQ(fault, report.Value(18, "%8lX"));
    DWORD lastFrame = 0;
    for (size_t i = 0; i < 3; ++i) {
        unsigned long pc = 0, frame = 0, section = 0, offset = 0;
        int pathStart = 0;
        ASSERT_EQ(4, std::sscanf(frames[i].c_str(), "%8lX  %8lX  %4lX:%8lX %n", &pc, &frame,
                                 &section, &offset, &pathStart))
            << frames[i];
        EXPECT_EQ(1u, section) << frames[i];
        EXPECT_TRUE(SameText(program, frames[i].substr(pathStart))) << frames[i];
        EXPECT_GT(frame, lastFrame) << frames[i];
        lastFrame = frame;
    }
    EXPECT_NE("", report.lines.back()) << "no blank line after the frame chain";
}

TEST(CrashChildTest, ProgramWithAShortExtensionKeepsItsFileAndReportsBesideIt) {
    const std::string program = PlaceChild("diag_child_short", "crash.ex");
    const std::string original = ReadAll(program);
    ASSERT_FALSE(original.empty());
    ASSERT_TRUE(RunChild(program, "access"));

    EXPECT_EQ(original, ReadAll(program)) << "the program file itself is untouched";
    const std::vector<Report> reports = SplitReports(ReadAll(program + ".RPT"));
    ASSERT_EQ(1u, reports.size());
    CheckHead(reports[0], program, "Exception code: C0000005 ACCESS_VIOLATION");
}

}  // namespace
