// AcmConverter: block-aligned conversion through one ACM stream, with carry-over of what the
// codec leaves unconsumed and a final flush.
#include "output/acm_converter.h"

#include <cstring>
#include <new>

AcmConverter::AcmConverter(const WAVEFORMATEX* source, const WAVEFORMATEX* destination,
                           std::unique_ptr<OutputSink> successor)
    : successor_(std::move(successor)) {
    prepareResult_ = kSinkFailed;  // not prepared yet
    std::memset(&header_, 0, sizeof(header_));
    header_.cbStruct = kAcmStreamHeaderBytes;
    sourceFormat_.Assign(source);
    destinationFormat_.Assign(destination);
}

AcmConverter::~AcmConverter() {
    if (stream_.IsValid()) Unprepare();
}

int32_t AcmConverter::Query() {
    HACMSTREAM unused = nullptr;
    const MMRESULT result =
        acmStreamOpen(&unused, driver_, sourceFormat_.Get(), destinationFormat_.Get(), nullptr, 0,
                      0, openFlags_ | ACM_STREAMOPENF_QUERY);
    if (result != MMSYSERR_NOERROR) return int32_t(result);
    return successor_ ? successor_->Query() : 0;
}

int32_t AcmConverter::Prepare(int32_t blockBytes) {
    // A prepared stage would leak its stream; callers always unprepare first. It stays ready.
    if (stream_.IsValid()) return MMSYSERR_INVALPARAM;
    prepareResult_ = PrepareStream(blockBytes);
    return prepareResult_;
}

int32_t AcmConverter::PrepareStream(int32_t blockBytes) {
    sourceBlockBytes_ = blockBytes;
    if (blockBytes <= 0) return MMSYSERR_INVALPARAM;

    HACMSTREAM stream = nullptr;
    MMRESULT result = acmStreamOpen(&stream, driver_, sourceFormat_.Get(),
                                    destinationFormat_.Get(), nullptr, 0, 0, openFlags_);
    if (result != MMSYSERR_NOERROR) return int32_t(result);
    stream_.Reset(stream);

    DWORD destinationBytes = 0;
    result = acmStreamSize(stream_.Get(), DWORD(blockBytes), &destinationBytes,
                           ACM_STREAMSIZEF_SOURCE);
    header_.cbSrcLength = DWORD(blockBytes);
    header_.cbDstLength = destinationBytes;
    source_.reset(new (std::nothrow) BYTE[size_t(blockBytes)]);
    destination_.reset(new (std::nothrow) BYTE[destinationBytes ? destinationBytes : 1]);
    header_.pbSrc = source_.get();
    header_.pbDst = destination_.get();
    keptBytes = 0;
    if (result != MMSYSERR_NOERROR) return int32_t(result);
    if (!source_ || !destination_) {
        FreeBuffers();
        return MMSYSERR_NOMEM;
    }

    result = acmStreamPrepareHeader(stream_.Get(), &header_, 0);
    if (result != MMSYSERR_NOERROR) return int32_t(result);
    return successor_ ? successor_->Prepare(int32_t(destinationBytes)) : 0;
}

int32_t AcmConverter::Unprepare() {
    const int32_t result = successor_ ? successor_->Unprepare() : 0;
    if (header_.fdwStatus != 0 && stream_.IsValid()) {
        acmStreamUnprepareHeader(stream_.Get(), &header_, 0);
        header_.fdwStatus = 0;
    }
    stream_.Reset();
    FreeBuffers();
    prepareResult_ = kSinkFailed;
    return result;
}

void AcmConverter::FreeBuffers() {
    source_.reset();
    destination_.reset();
    header_.pbSrc = nullptr;
    header_.pbDst = nullptr;
}

int32_t AcmConverter::WriteConverted(const void* bytes, int32_t count) {
    return successor_ ? successor_->Write(bytes, count) : 0;
}

int32_t AcmConverter::Write(const void* bytes, int32_t count) {
    // Unprepared, the room would stay 0 and the loop below would never end.
    if (!IsPrepared()) return MMSYSERR_INVALHANDLE;
    if (count < 0) return MMSYSERR_INVALPARAM;
    const BYTE* input = static_cast<const BYTE*>(bytes);
    int32_t result = 0;
    int32_t room = SourceBlockBytes() - keptBytes;
    while (room <= count) {
        std::memcpy(source_.get() + keptBytes, input, size_t(room));
        input += room;
        count -= room;
        // A failed conversion leaves keptBytes as it was: the next input overwrites the block.
        result = Convert(convertFlags | ACM_STREAMCONVERTF_BLOCKALIGN);
        if (result == 0 && header_.cbDstLengthUsed != 0) {
            result = WriteConverted(destination_.get(), int32_t(header_.cbDstLengthUsed));
        }
        room = SourceBlockBytes() - keptBytes;
    }
    if (count > 0) std::memcpy(source_.get() + keptBytes, input, size_t(count));
    keptBytes += count;
    return result;
}

int32_t AcmConverter::Convert(uint32_t flags) {
    if (!IsPrepared()) return MMSYSERR_INVALHANDLE;
    header_.cbDstLengthUsed = 0;
    const MMRESULT result = acmStreamConvert(stream_.Get(), &header_, flags);
    if (result != MMSYSERR_NOERROR) return int32_t(result);
    WaitForHeader();
    DWORD used = header_.cbSrcLengthUsed;
    if (used != 0) {
        if (used > header_.cbSrcLength) used = header_.cbSrcLength;
        keptBytes = int32_t(header_.cbSrcLength - used);
        std::memmove(source_.get(), source_.get() + used, size_t(keptBytes));
    }
    return 0;
}

void AcmConverter::WaitForHeader() {
    // Streams are opened synchronous, so this ends at once; an asynchronous driver would be
    // waited for here.
    while (*static_cast<volatile DWORD*>(&header_.fdwStatus) & ACMSTREAMHEADER_STATUSF_INQUEUE) {
    }
}

int32_t AcmConverter::Finish(uint32_t frames) {
    int32_t result = MMSYSERR_INVALHANDLE;
    if (IsPrepared()) {
        std::memset(destination_.get(), 0, header_.cbDstLength);
        header_.cbSrcLength = DWORD(keptBytes);
        // The end flag alone: the start flag would reset the codec in mid-stream.
        result = Convert(ACM_STREAMCONVERTF_END);
        if (result == 0 && header_.cbDstLengthUsed != 0) {
            result = WriteConverted(destination_.get(), int32_t(header_.cbDstLengthUsed));
        }
        header_.cbSrcLength = DWORD(SourceBlockBytes());
    }
    // An unprepared stage still lets the stages behind it close their file.
    if (successor_) return successor_->Finish(frames);
    return result;
}

int32_t AcmConverter::Open(const char* fileName, uint32_t minBytes) {
    return successor_ ? successor_->Open(fileName, minBytes) : kSinkFailed;
}

int32_t AcmConverter::BeginStream() {
    const int32_t result = successor_ ? successor_->BeginStream() : 0;
    convertFlags = ACM_STREAMCONVERTF_START;
    return result;
}

int32_t AcmConverter::Close(uint32_t frames) {
    return successor_ ? successor_->Close(frames) : kSinkFailed;
}

bool AcmConverter::IsOpen() { return successor_ && successor_->IsOpen(); }

int32_t AcmConverter::GetLastMessage(char* text) {
    // The last stage's text whether or not a file is open: the failures worth showing (a file
    // that does not open, or could not be finished) are exactly those that leave none open.
    if (successor_) return successor_->GetLastMessage(text);
    if (text[0] == '\0') return 0;
    text[0] = '\0';
    return 1;
}

const char* AcmConverter::GetExtension() { return successor_ ? successor_->GetExtension() : ""; }

// What the codec still holds has not reached the file; the last stage counts what has.
int32_t AcmConverter::UpdateHeader(uint32_t frames) {
    return successor_ ? successor_->UpdateHeader(frames) : 0;
}
