// SplitStatus: how a run of grooval-split ends, as its exit code, and unless it is done, one
// line saying why, the file first: "<file>: <what>", or "<what>" when no one file is the
// subject. The tool prints it as "grooval-split: <line>" and its warnings as
// "grooval-split: warning: <line>", in the same shape.
//
// FirstFailure keeps the first failure of the stages that run on the engine's worker (the track
// log and the namer share one), so the run reports what went wrong first, not what followed.
#pragma once

#include <atomic>
#include <string>

enum SplitExit : int {
    kSplitDone = 0,
    kSplitUsage = 1,          // the command line is wrong (an unknown output format too)
    kSplitInputRejected = 2,  // the input cannot be split
    kSplitOutputFailed = 3,   // the track files or the cue sheet cannot be written
    kSplitInterrupted = 4,    // stopped by the user; the open track was finished
    kSplitFewerTracks = 5,    // --tracks asked for more tracks than the side has runs for
    kSplitInputDamaged = 6,   // parts of the input could not be decoded; the rest was split
    kSplitInputFailed = 7,    // reading the input failed part-way; the open track was finished
};

class SplitStatus {
public:
    SplitStatus() = default;  // done

    static SplitStatus Usage(const std::string& what) { return {kSplitUsage, "", what}; }
    static SplitStatus InputRejected(const std::string& file, const std::string& what) {
        return {kSplitInputRejected, file, what};
    }
    // `file` empty when the failure is not one file's (a format the codec refuses).
    static SplitStatus OutputFailed(const std::string& file, const std::string& what) {
        return {kSplitOutputFailed, file, what};
    }
    static SplitStatus OutOfMemory() { return {kSplitOutputFailed, "", "out of memory"}; }
    static SplitStatus Interrupted(const std::string& what) {
        return {kSplitInterrupted, "", what};
    }
    static SplitStatus FewerTracks(const std::string& file, const std::string& what) {
        return {kSplitFewerTracks, file, what};
    }
    static SplitStatus InputDamaged(const std::string& file, const std::string& what) {
        return {kSplitInputDamaged, file, what};
    }
    static SplitStatus InputFailed(const std::string& file, const std::string& what) {
        return {kSplitInputFailed, file, what};
    }

    bool Ok() const { return code_ == kSplitDone; }
    SplitExit Code() const { return code_; }
    // The line; empty when done.
    const std::string& Text() const { return text_; }

private:
    SplitStatus(SplitExit code, const std::string& file, const std::string& what)
        : code_(code), text_(file.empty() ? what : file + ": " + what) {}

    SplitExit code_ = kSplitDone;
    std::string text_;
};

// Requires: Note from one thread at a time; Failed from any thread; First once every thread
// that notes has ended.
class FirstFailure {
public:
    // Keeps `failure` when nothing was kept before.
    void Note(const SplitStatus& failure);
    bool Failed() const { return failed_.load(); }
    const SplitStatus& First() const { return first_; }

private:
    std::atomic<bool> failed_{false};
    SplitStatus first_;
};

// A stage's or the engine's message as one line of a status: a writer's may span two
// ("WaveOpenFailed 4 on\r\n<name>").
std::string OneLine(const char* text);
