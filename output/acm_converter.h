// AcmConverter: one conversion stage of an output chain. It turns a stream of bytes of any
// length into codec output through one Audio Compression Manager stream and hands that output
// to its successor stage, which it owns.
//
// How it works: input is collected into a source buffer of SourceBlockBytes(). Each time the
// buffer is full it is converted block-aligned through the one prepared stream header; the
// codec may leave part of the block unconsumed, and those `keptBytes` move to the start of the
// buffer so the next input lands behind them. Finish converts what is kept with the end flag,
// so the codec gives back whatever it still holds. (Not with the start flag as well: that
// resets the codec's state, and ADPCM encoders then start the last blocks from scratch, which
// is heard as a click at the end of every track.)
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstdint>
#include <memory>

#include "base/unique_handle.h"
#include "output/format_record.h"
#include "engine/output_sink.h"

inline void CloseAcmStream(HACMSTREAM stream) {
    acmStreamClose(stream, 0);
}
using AcmStream = UniqueHandle<HACMSTREAM, &CloseAcmStream>;

constexpr DWORD kAcmStreamHeaderBytes = sizeof(ACMSTREAMHEADER);  // 84
static_assert(kAcmStreamHeaderBytes == 84, "the manager expects an 84-byte stream header");

class AcmConverter : public OutputSink {
public:
    // Copies both records; `successor` may be none (the last stage).
    AcmConverter(const WAVEFORMATEX* source, const WAVEFORMATEX* destination,
                 std::unique_ptr<OutputSink> successor);
    ~AcmConverter() override;
    AcmConverter(const AcmConverter&) = delete;
    AcmConverter& operator=(const AcmConverter&) = delete;

    // False when the format copies could not be allocated; such a stage must not be used.
    bool IsValid() const { return !sourceFormat_.Empty() && !destinationFormat_.Empty(); }

    int32_t Query() override;
    int32_t Prepare(int32_t sourceBlockBytes) override;
    int32_t Unprepare() override;
    int32_t WriteConverted(const void* bytes, int32_t count) override;
    int32_t Write(const void* bytes, int32_t count) override;
    int32_t Finish(uint32_t frames) override;
    int32_t Open(const char* fileName, uint32_t minBytes) override;
    int32_t BeginStream() override;
    int32_t Close(uint32_t frames) override;
    void WaitForHeader() override;
    int32_t Convert(uint32_t flags) override;
    bool IsOpen() override;
    int32_t GetLastMessage(char* text) override;
    const char* GetExtension() override;
    int32_t UpdateHeader(uint32_t frames) override;

    const WAVEFORMATEX* SourceFormat() const { return sourceFormat_.Get(); }
    const WAVEFORMATEX* DestinationFormat() const { return destinationFormat_.Get(); }
    OutputSink* Successor() const { return successor_.get(); }
    int32_t KeptBytes() const { return keptBytes; }
    uint32_t ConvertFlags() const { return convertFlags; }
    bool IsPrepared() const { return stream_.IsValid() && source_ != nullptr; }
    // The size of the destination buffer, as the manager sized it for one source block.
    DWORD DestinationBytes() const { return header_.cbDstLength; }

protected:
    DWORD openFlags_ = 0;         // always a synchronous stream
    HACMDRIVER driver_ = nullptr;  // the manager picks the codec
    uint32_t convertFlags = 0;
    ACMSTREAMHEADER header_;
    AcmStream stream_;
    std::unique_ptr<OutputSink> successor_;
    FormatBuffer sourceFormat_;
    FormatBuffer destinationFormat_;
    int32_t keptBytes = 0;

private:
    int32_t PrepareStream(int32_t blockBytes);
    void FreeBuffers();

    std::unique_ptr<BYTE[]> source_;
    std::unique_ptr<BYTE[]> destination_;
};
