// ProgressBar: the progress line of grooval-split.
#include "split/progress.h"

#include <cstdio>

bool IsInteractive(HANDLE handle) {
    if (!handle || handle == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) return true;
    // Wine hands a Unix terminal over as a character device, not as a console.
    return GetFileType(handle) == FILE_TYPE_CHAR;
}

std::string ProgressLine(double fraction, double speed) {
    if (fraction < 0.0) fraction = 0.0;
    if (fraction > 1.0) fraction = 1.0;
    const int filled = int(fraction * kProgressBarWidth);
    std::string line = "[";
    line.append(size_t(filled), '#');
    line.append(size_t(kProgressBarWidth - filled), '.');
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "] %3d%%", int(fraction * 100.0));
    line += numbers;
    if (speed > 0.0) {
        std::snprintf(numbers, sizeof numbers, "  %.0fx real time", speed);
        line += numbers;
    }
    return line;
}

ProgressBar::ProgressBar(HANDLE output) : output_(output), started_(GetTickCount()) {}

void ProgressBar::Draw(double fraction, double inputSeconds) {
    const double elapsed = (GetTickCount() - started_) / 1000.0;
    const double speed = elapsed > 0.0 ? inputSeconds / elapsed : 0.0;
    // Trailing blanks wipe what a longer previous line left.
    const std::string line = "\r" + ProgressLine(fraction, speed) + "   ";
    DWORD written = 0;
    WriteFile(output_, line.data(), DWORD(line.size()), &written, nullptr);
    drawn_ = GetTickCount();
    anyDrawn_ = true;
}

void ProgressBar::Begin(double totalSeconds) {
    enabled_ = totalSeconds >= kProgressMinSeconds;
    started_ = GetTickCount();
}

void ProgressBar::Update(double fraction, double inputSeconds) {
    if (!enabled_) return;
    fraction_ = fraction;
    inputSeconds_ = inputSeconds;
    if (anyDrawn_ && GetTickCount() - drawn_ < kProgressRedrawMs) return;
    Draw(fraction, inputSeconds);
}

void ProgressBar::Done() {
    if (!anyDrawn_) return;
    Draw(fraction_, inputSeconds_);
    DWORD written = 0;
    WriteFile(output_, "\r\n", 2, &written, nullptr);
}
