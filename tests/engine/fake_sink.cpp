// FakeSink: records what the engine writes; see fake_sink.h.
#include "tests/engine/fake_sink.h"

#include <cstdio>
#include <cstring>
#include <new>

int32_t BlockId(const void* bytes, int32_t byteCount) {
    if (byteCount < 2) return -1;
    return static_cast<const int16_t*>(bytes)[byteCount / 2 - 1];
}

std::vector<SinkLog::Track> SinkLog::Tracks() {
    auto guard = lock.Lock();
    return tracks;
}

std::vector<int32_t> SinkLog::AllWritten() {
    auto guard = lock.Lock();
    std::vector<int32_t> all;
    for (const Track& track : tracks) all.insert(all.end(), track.blocks.begin(), track.blocks.end());
    return all;
}

FakeSink::FakeSink(std::shared_ptr<SinkLog> log, int id) : log_(std::move(log)), id_(id) {}

FakeSink::~FakeSink() {
    if (onDestroyed) onDestroyed();
    {
        auto guard = log_->lock.Lock();
        log_->destroyed.push_back(id_);
    }
    log_->destroyedEvent.Set();
}

int32_t FakeSink::Prepare(int32_t sourceBlockBytes) {
    sourceBlockBytes_ = sourceBlockBytes;
    prepareResult_ = failPrepares != 0 ? kSinkFailed : 0;
    if (failPrepares > 0) --failPrepares;
    auto guard = log_->lock.Lock();
    ++log_->prepares;
    return prepareResult_;
}

int32_t FakeSink::Unprepare() {
    prepareResult_ = kSinkFailed;
    auto guard = log_->lock.Lock();
    ++log_->unprepares;
    return 0;
}

int32_t FakeSink::Write(const void* bytes, int32_t count) {
    if (!open_) return kSinkFailed;
    if (fullAtBytes != 0 && bytes_ + uint32_t(count) > fullAtBytes) {
        open_ = false;
        auto guard = log_->lock.Lock();
        log_->tracks.back().frames = bytes_ / 4;
        log_->tracks.back().finishResult = 0;
        return kSinkFileFull;
    }
    if (writesBeforeFailure == 0 || writesFail) {
        // As the writer does: the file is closed, keeping what it holds (a file that holds
        // nothing is deleted), and success is told.
        writesBeforeFailure = -1;
        open_ = false;
        message = "write failed on " + fileName_;
        if (bytes_ == 0 && createFiles) DeleteFileA(fileName_.c_str());
        auto guard = log_->lock.Lock();
        log_->tracks.back().frames = bytes_ / 4;
        log_->tracks.back().finishResult = kSinkFailed;
        return 0;
    }
    if (writesBeforeFailure > 0) --writesBeforeFailure;
    bytes_ += uint32_t(count);
    auto guard = log_->lock.Lock();
    log_->tracks.back().blocks.push_back(BlockId(bytes, count));
    log_->bytesWritten += count;
    return 0;
}

int32_t FakeSink::Open(const char* fileName, uint32_t minBytes) {
    {
        auto guard = log_->lock.Lock();
        log_->opens.push_back(fileName);
    }
    if (throwOnOpen) throw std::bad_alloc();
    if (open_) return kSinkFailed;
    if (failOpens != 0) {
        if (failOpens > 0) --failOpens;
        message = std::string("open failed on ") + fileName;
        return kSinkFailed;
    }
    if (createFiles) {
        HANDLE file = CreateFileA(fileName, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return kSinkFailed;  // never overwrite
        CloseHandle(file);
    }
    open_ = true;
    fileName_ = fileName;
    minBytes_ = minBytes;
    bytes_ = 0;
    auto guard = log_->lock.Lock();
    SinkLog::Track track;
    track.sink = id_;
    track.name = fileName;
    track.minBytes = minBytes;
    log_->tracks.push_back(track);
    return 0;
}

int32_t FakeSink::Finish(uint32_t frames) {
    if (!open_) return kSinkFailed;
    open_ = false;
    int32_t result = 0;
    if (bytes_ < minBytes_) {
        if (createFiles) DeleteFileA(fileName_.c_str());
        result = kSinkTrackDeleted;
    }
    auto guard = log_->lock.Lock();
    log_->tracks.back().frames = frames;
    log_->tracks.back().finishResult = result;
    log_->tracks.back().finishThread = GetCurrentThreadId();
    log_->finishedEvent.Set();
    return result;
}

int32_t FakeSink::UpdateHeader(uint32_t frames) {
    if (!open_) return kSinkFailed;
    {
        auto guard = log_->lock.Lock();
        log_->tracks.back().headers.push_back(frames);
    }
    log_->headerEvent.Set();
    return 0;
}

int32_t FakeSink::GetLastMessage(char* text) {
    if (message == text) return 0;
    std::snprintf(text, kSinkMessageBytes, "%s", message.c_str());
    return 1;
}
