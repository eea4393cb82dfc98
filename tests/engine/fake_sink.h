// FakeSink: a recording OutputSink for engine tests. It notes every call in a SinkLog shared by
// all fake sinks of a test (so the record outlives sinks the engine destroys), can create and
// delete real files so the engine's name search sees them, and can fail its opens, prepares
// and writes as a full disk or a codec would.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/critical_section.h"
#include "base/thread_event.h"
#include "engine/output_sink.h"
#include "tests/support/test_sink.h"

// Test blocks carry their id in the last value (the right channel of the last frame).
int32_t BlockId(const void* bytes, int32_t byteCount);

struct SinkLog {
    struct Track {
        int sink = 0;            // id of the sink that wrote it
        std::string name;
        uint32_t minBytes = 0;
        std::vector<int32_t> blocks;  // ids in the order written
        std::vector<uint32_t> headers;  // frames of each UpdateHeader
        uint32_t frames = 0;
        int32_t finishResult = -1;  // -1 while the track is open
        DWORD finishThread = 0;     // the thread that finished it
    };

    CriticalSection lock;
    std::vector<Track> tracks;        // opened tracks, in order
    std::vector<std::string> opens;   // every Open attempt, failed ones included
    std::vector<int> destroyed;       // ids of destroyed sinks
    int32_t prepares = 0;
    int32_t unprepares = 0;
    int32_t bytesWritten = 0;
    ThreadEvent destroyedEvent;       // set when a sink is destroyed
    ThreadEvent finishedEvent;        // set when a track is finished
    ThreadEvent headerEvent;          // set when a header is brought up to date

    // Copies under the lock, for reading while the engine may still write.
    std::vector<Track> Tracks();
    std::vector<int32_t> AllWritten();
};

class FakeSink : public TestSink {
public:
    FakeSink(std::shared_ptr<SinkLog> log, int id);
    ~FakeSink() override;

    int32_t failOpens = 0;        // this many opens fail first; -1: every open fails
    int32_t failPrepares = 0;     // this many prepares fail first; -1: every prepare fails
    int32_t writesBeforeFailure = -1;  // then a write fails and closes the file; -1: never
    bool writesFail = false;      // every write fails so (a disk that stays full)
    uint32_t fullAtBytes = 0;     // a write past this many bytes is refused: kSinkFileFull
    bool throwOnOpen = false;     // Open throws std::bad_alloc
    bool createFiles = false;     // make the named file exist while open (and after, if kept)
    const char* extension = "wav";
    std::string message;          // what GetLastMessage reports; a failed open or write sets it
    std::function<void()> onDestroyed;  // runs in the destructor

    int32_t Prepare(int32_t sourceBlockBytes) override;
    int32_t Unprepare() override;
    int32_t Write(const void* bytes, int32_t count) override;
    int32_t Finish(uint32_t frames) override;
    int32_t Open(const char* fileName, uint32_t minBytes) override;
    int32_t GetLastMessage(char* text) override;
    const char* GetExtension() override { return extension; }
    int32_t UpdateHeader(uint32_t frames) override;

private:
    std::shared_ptr<SinkLog> log_;
    int id_;
    std::string fileName_;
    uint32_t minBytes_ = 0;
    uint32_t bytes_ = 0;
};
