// TrackLogSink: wraps the real output chain of grooval-split and notes, without changing
// anything the chain does, which track files the engine opened, which frames of the input went
// into each, and which were kept. A track whose Finish answers kSinkTrackDeleted was removed
// as too short and is not logged.
//
// It also notices output failures the engine itself does not act on (a file that does not
// open, a write that closes the file, a file that cannot be finished), so the split can stop.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/split_block_feeder.h"
#include "app/split_cue_sheet.h"
#include "output/output_sink.h"

class TrackLogSink : public OutputSink {
public:
    // `trackNumber` is the engine's: it holds the number of the file being opened.
    TrackLogSink(std::unique_ptr<OutputSink> chain, BlockPositions& positions,
                 const volatile int32_t& trackNumber);

    int32_t Query() override { return chain_->Query(); }
    int32_t Prepare(int32_t sourceBlockBytes) override;
    int32_t Unprepare() override { return chain_->Unprepare(); }
    int32_t WriteConverted(const void* bytes, int32_t count) override {
        return chain_->WriteConverted(bytes, count);
    }
    int32_t Write(const void* bytes, int32_t count) override;
    int32_t Finish(uint32_t frames) override;
    int32_t Open(const char* fileName, uint32_t minBytes) override;
    int32_t BeginStream() override { return chain_->BeginStream(); }
    int32_t Close(uint32_t frames) override { return chain_->Close(frames); }
    void WaitForHeader() override { chain_->WaitForHeader(); }
    int32_t Convert(uint32_t flags) override { return chain_->Convert(flags); }
    bool IsOpen() override { return chain_->IsOpen(); }
    int32_t GetLastMessage(char* text) override { return chain_->GetLastMessage(text); }
    const char* GetExtension() override { return chain_->GetExtension(); }

    // The kept tracks in the order they were finished. Read once the worker has ended.
    const std::vector<CueTrack>& Tracks() const { return tracks_; }
    // Set by the worker at the first output failure; the reader polls it.
    bool Failed() const { return failed_.load(); }
    // One line naming the first failure. Read once the worker has ended.
    const std::string& Failure() const { return failure_; }

private:
    void NoteFailure(const std::string& what);

    std::unique_ptr<OutputSink> chain_;
    BlockPositions& positions_;
    const volatile int32_t& trackNumber_;
    bool trackOpen_ = false;
    bool wroteAny_ = false;
    CueTrack current_;
    std::vector<CueTrack> tracks_;
    std::atomic<bool> failed_{false};
    std::string failure_;
};
