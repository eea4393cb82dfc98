// grooval-split: the console companion of the recorder. It cuts an existing recording into
// numbered track files by the recorder's own rules (see split/split_run.h), with an optional
// cue sheet of where each track lies in the input.
#include <windows.h>
#include <psapi.h>

#include <cstdarg>
#include <cstdio>
#include <exception>
#include <string>

#include "encode/encoder_format.h"
#include "split/formats.h"
#include "split/interrupt.h"
#include "split/options.h"
#include "split/progress.h"
#include "split/split_run.h"
#include "split/utf8_text.h"
#include "base/paths.h"
#include "engine/stream_format.h"
#include "output/format_record.h"
#include "settings/settings_store.h"

namespace {

constexpr char kProgramName[] = "grooval-split";
constexpr uint32_t kListRate = kCaptureRate;  // --list-formats asks for a 44100 Hz input

SplitInterrupt interrupt;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    return interrupt.OnConsoleEvent(event) ? TRUE : FALSE;
}

// Writes text of the process code page (UTF-8 under the manifest) to a standard handle. A
// console is given UTF-16, which it shows whatever its own code page; a file or a pipe gets the
// bytes, lines ending in CR LF as the C runtime would write them.
void Print(DWORD which, const std::string& text) {
    const HANDLE output = GetStdHandle(which);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(output, &mode)) {
        std::wstring wide(text.size(), L'\0');
        const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()),
                                               &wide[0], int(wide.size()));
        if (length > 0) WriteConsoleW(output, wide.data(), DWORD(length), &written, nullptr);
        return;
    }
    std::string lines;
    for (const char c : text) {
        if (c == '\n') lines += '\r';
        lines += c;
    }
    WriteFile(output, lines.data(), DWORD(lines.size()), &written, nullptr);
}

void Printf(DWORD which, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list counting;
    va_copy(counting, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, counting);
    va_end(counting);
    std::string text(size_t(length > 0 ? length : 0) + 1, '\0');
    if (length > 0) std::vsnprintf(&text[0], text.size(), format, arguments);
    va_end(arguments);
    text.resize(size_t(length > 0 ? length : 0));
    Print(which, text);
}

uint32_t MaxFormatSize() {
    const uint32_t size = ReadMaxFormatSize();
    return size < kMp3FormatBytes ? kMp3FormatBytes : size;
}

int ListFormats() {
    FormatBuffer source(kFormatHeaderBytes);
    MakePcmFormat(source.Get(), kListRate);
    Printf(STD_OUTPUT_HANDLE,
           "pcm       WAV in the input's own format, 16-bit stereo from a codec (the default)\n");
    Printf(STD_OUTPUT_HANDLE, "flac      FLAC through libFLAC (flac:0 to flac:8, default %d)\n", kFlacDefaultLevel);
    Printf(STD_OUTPUT_HANDLE, "mp3       MP3 through LAME (mp3:KBPS or mp3:v0 to mp3:v9, default v%d)\n",
           kMp3DefaultVbrQuality);
    for (const CodecFormatTag& tag : ListCodecFormats(source.Get(), MaxFormatSize())) {
        Printf(STD_OUTPUT_HANDLE, "0x%04X    %s\n", unsigned(tag.tag), tag.name.c_str());
    }
    return kSplitDone;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

void PrintStats(const SplitReport& report, double wallSeconds) {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    const double peakMegabytes = GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)
                                     ? double(memory.PeakWorkingSetSize) / (1024.0 * 1024.0)
                                     : 0.0;
    Printf(STD_ERROR_HANDLE,
           "%s: stats: %.1f s of sound in %.3f s (%.0fx real time), %d blocks, "
           "%d engine buffers, peak working set %.1f MB\n",
           kProgramName, report.inputSeconds, wallSeconds,
           wallSeconds > 0.0 ? report.inputSeconds / wallSeconds : 0.0, int(report.blocks),
           int(report.buffersCreated), peakMegabytes);
    if (report.silence) {
        Printf(STD_ERROR_HANDLE, "%s: stats: %s\n", kProgramName,
               SilenceLevelText(*report.silence).c_str());
    }
    if (!report.samples.empty()) {
        Printf(STD_ERROR_HANDLE, "%s: stats: tracks at %u Hz: %s\n", kProgramName,
               unsigned(report.trackRate), report.samples.c_str());
    }
    if (report.declick == 0) return;
    auto plural = [](uint64_t count, const char* word) {
        return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
    };
    for (const CueTrack& track : report.tracks) {
        Printf(STD_ERROR_HANDLE, "%s: stats: %s: %s repaired, %s left alone\n", kProgramName,
               track.file.c_str(), plural(uint64_t(track.clicks), "click").c_str(),
               plural(uint64_t(track.clicksLeft), "event").c_str());
    }
    Printf(STD_ERROR_HANDLE,
           "%s: stats: declick level %d: %s repaired, %s left alone in the whole input\n",
           kProgramName, int(report.declick), plural(report.clicksRepaired, "click").c_str(),
           plural(report.clicksLeft, "event").c_str());
}

// One track: number, start, end and length in the input, title and file ("(file)" after a
// title); a dry run lists what a run would write, in the same shape.
void PrintTrackLine(const CueTrack& track, uint32_t rate) {
    const std::string title = AnsiFromUtf8(track.title);
    Printf(STD_OUTPUT_HANDLE, "%02d  %s  %s  %s  %s%s%s%s\n", int(track.number),
           CueTime(track.startFrame, rate).c_str(), CueTime(track.endFrame, rate).c_str(),
           CueTime(track.endFrame - track.startFrame, rate).c_str(), title.c_str(),
           title.empty() ? "" : "  (", track.file.c_str(), title.empty() ? "" : ")");
}

// The track list, then the count and where the files went, on stdout.
void PrintTracks(const SplitOptions& options, const SplitReport& report, int code) {
    for (const CueTrack& track : report.tracks) PrintTrackLine(track, report.rate);
    // Every run that split says where; one refused before it says nothing more.
    const bool split = code == kSplitDone || code == kSplitFewerTracks ||
                       code == kSplitInputDamaged || code == kSplitInterrupted ||
                       code == kSplitInputFailed || !report.tracks.empty();
    if (!split || report.folder.empty()) return;
    Printf(STD_OUTPUT_HANDLE, "%s\n", SplitSummary(report, options.dryRun).c_str());
    if (!report.cuePath.empty()) {
        Printf(STD_OUTPUT_HANDLE, "cue sheet %s\n", report.cuePath.c_str());
    }
    if (!report.previewPath.empty()) {
        Printf(STD_OUTPUT_HANDLE, "preview %s\n", report.previewPath.c_str());
    }
}

// A split with the options given, the stored settings under them when asked for.
int Split(const SplitOptions& options) {
    LARGE_INTEGER started;
    QueryPerformanceCounter(&started);
    // Without -o the tracks go beside the input; the recorder's folder only with --settings
    // (naming the music folder loads the shell).
    const std::string defaultFolder =
        options.useStored ? DefaultFolder() : FolderOf(FullPath(options.input));
    Settings stored(MaxFormatSize(), defaultFolder);
    if (options.useStored) {
        uint16_t language = 0;
        LocaleSeparators separators;
        LoadSettings(stored, language, separators);
    }
    const SplitSettings settings =
        ResolveSplitSettings(options, options.useStored ? &stored : nullptr, defaultFolder);

    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    const HANDLE errorOutput = GetStdHandle(STD_ERROR_HANDLE);
    ProgressBar bar(errorOutput);
    SplitProgress* progress = !options.quiet && IsInteractive(errorOutput) ? &bar : nullptr;
    SplitReport report;
    const int code =
        RunSplit(settings, options.input, options.cue, report, progress, &interrupt.Requested());
    interrupt.Finished();  // every file is complete: a closing console may end the process
    LARGE_INTEGER ended;
    QueryPerformanceCounter(&ended);

    for (const std::string& warning : report.warnings) {
        Printf(STD_ERROR_HANDLE, "%s: warning: %s\n", kProgramName, warning.c_str());
    }
    // A dry run, and a level given in dB, say the level the side is cut at.
    if (!options.quiet && report.silence && (options.dryRun || options.silenceDbfs)) {
        Printf(STD_OUTPUT_HANDLE, "%s\n", SilenceLevelText(*report.silence).c_str());
    }
    if (!options.quiet) PrintTracks(options, report, code);
    if (code != kSplitDone) {
        Printf(STD_ERROR_HANDLE, "%s: %s\n", kProgramName, report.problem.c_str());
    }
    if (options.stats) PrintStats(report, Seconds(started, ended));
    return code;
}

int Run(int argc, char** argv) {
    SplitOptions options;
    std::string message;
    switch (ParseSplitOptions(argc, argv, options, message)) {
        case SplitCommand::Usage:
            Printf(STD_ERROR_HANDLE, "%s: %s\n", kProgramName, message.c_str());
            return kSplitUsage;
        case SplitCommand::Help:
            Print(STD_OUTPUT_HANDLE, SplitHelpText());
            return kSplitDone;
        case SplitCommand::ListFormats:
            return ListFormats();
        case SplitCommand::Run:
            break;
    }
    return Split(options);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& failure) {
        Printf(STD_ERROR_HANDLE, "%s: %s\n", kProgramName, failure.what());
        return kSplitOutputFailed;
    }
}
