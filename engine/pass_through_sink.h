// PassThroughSink: an OutputSink that hands every call to the successor it owns, or, with no
// successor, does the harmless thing (succeeds, writes nowhere, never has a file open). A stage
// that watches or feeds a chain overrides only the calls it cares about.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "engine/output_sink.h"

class PassThroughSink : public OutputSink {
public:
    // Its files are the successor's, and so is their limit.
    explicit PassThroughSink(std::unique_ptr<OutputSink> successor = nullptr)
        : successor_(std::move(successor)) {
        if (successor_) fileSourceBytes_ = successor_->FileSourceBytes();
    }

    int32_t Query() override { return successor_ ? successor_->Query() : 0; }
    // As ready as the successor is.
    int32_t Prepare(int32_t sourceBlockBytes) override {
        sourceBlockBytes_ = sourceBlockBytes;
        prepareResult_ = successor_ ? successor_->Prepare(sourceBlockBytes) : 0;
        return prepareResult_;
    }
    int32_t Unprepare() override {
        if (!successor_) return 0;
        const int32_t result = successor_->Unprepare();
        prepareResult_ = successor_->PrepareResult();
        return result;
    }
    int32_t WriteConverted(const void* bytes, int32_t count) override {
        return successor_ ? successor_->WriteConverted(bytes, count) : 0;
    }
    int32_t Write(const void* bytes, int32_t count) override {
        return successor_ ? successor_->Write(bytes, count) : 0;
    }
    int32_t Finish(uint32_t frames) override { return successor_ ? successor_->Finish(frames) : 0; }
    // With no successor there is nothing that could hold a file.
    int32_t Open(const char* fileName, uint32_t minBytes) override {
        return successor_ ? successor_->Open(fileName, minBytes) : kSinkFailed;
    }
    int32_t BeginStream() override { return successor_ ? successor_->BeginStream() : 0; }
    int32_t Close(uint32_t frames) override {
        return successor_ ? successor_->Close(frames) : kSinkFailed;
    }
    void WaitForHeader() override {
        if (successor_) successor_->WaitForHeader();
    }
    int32_t Convert(uint32_t flags) override { return successor_ ? successor_->Convert(flags) : 0; }
    bool IsOpen() override { return successor_ && successor_->IsOpen(); }
    int32_t GetLastMessage(char* text) override {
        return successor_ ? successor_->GetLastMessage(text) : 0;
    }
    const char* GetExtension() override { return successor_ ? successor_->GetExtension() : ""; }
    int32_t UpdateHeader(uint32_t frames) override {
        return successor_ ? successor_->UpdateHeader(frames) : 0;
    }

protected:
    OutputSink* Successor() { return successor_.get(); }

private:
    std::unique_ptr<OutputSink> successor_;
};
