// SplitProgress: what a run tells of its progress; ProgressBar, grooval-split's progress line on
// stderr, "[#####.....]  42%  57x real time", redrawn in place with a carriage return at most a
// few times a second.
#pragma once

#include <windows.h>

#include <string>

// Inputs shorter than this finish before a bar would be worth drawing.
constexpr double kProgressMinSeconds = 5.0;
constexpr DWORD kProgressRedrawMs = 200;
constexpr int kProgressBarWidth = 30;

class SplitProgress {
public:
    virtual ~SplitProgress() = default;
    // Once the input is known to hold `totalSeconds` of sound, before the first Update.
    virtual void Begin(double totalSeconds) = 0;
    // `fraction` (0 to 1) of the input has been read, `inputSeconds` of sound.
    virtual void Update(double fraction, double inputSeconds) = 0;
    virtual void Done() = 0;
};

// True when `handle` is a console or a terminal, where a redrawn line makes sense.
bool IsInteractive(HANDLE handle);

// The line without its carriage return: `fraction` 0 to 1; `speed` in times real time, not
// shown when 0 or less.
std::string ProgressLine(double fraction, double speed);

class ProgressBar : public SplitProgress {
public:
    explicit ProgressBar(HANDLE output);
    // Draws nothing for inputs shorter than kProgressMinSeconds.
    void Begin(double totalSeconds) override;
    void Update(double fraction, double inputSeconds) override;
    void Done() override;

private:
    void Draw(double fraction, double inputSeconds);

    HANDLE output_;
    DWORD started_;
    DWORD drawn_ = 0;
    bool enabled_ = false;
    bool anyDrawn_ = false;
    double fraction_ = 0.0;
    double inputSeconds_ = 0.0;
};
