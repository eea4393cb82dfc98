// WaveFile: the RIFF WAVE layout written through mmio, the close-time patching, the deletion of
// short tracks and the rescue of files that could not be finished.
#include "output/wave_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "engine/stream_format.h"
#include "output/format_record.h"
#include "output/text_fit.h"
#include "output/track_file_end.h"


namespace {

constexpr DWORD kRiffSizeOffset = 4;  // the RIFF length follows the "RIFF" id
constexpr DWORD kChunkSizeBytes = 4;
constexpr size_t kEllipsisBytes = 3;  // "..." before the kept end of a long file name
constexpr char kWriteFailedHead[] = "WaveWriteFailed on\r\n";  // bytes missing on disk

HANDLE OpenExisting(const char* name) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAt(HANDLE file, DWORD offset, const void* bytes, DWORD count) {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return false;
    DWORD written = 0;
    return WriteFile(file, bytes, count, &written, nullptr) && written == count;
}

bool TruncateAt(HANDLE file, DWORD size) {
    LARGE_INTEGER position;
    position.QuadPart = size;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

}  // namespace

WaveFile::WaveFile(const WaveFileApi& api) : api_(api) {
    std::memset(&dataChunk_, 0, sizeof(dataChunk_));
    std::memset(&riffChunk_, 0, sizeof(riffChunk_));
    std::memset(&buffer_, 0, sizeof(buffer_));
}

WaveFile::~WaveFile() {
    if (IsOpen()) Close(FramesForDataBytes(dataBytes_));
}

void WaveFile::SetMessageText(const char* text) {
    message_.Set("%s", text);
}

void WaveFile::SetFileMessage(const char* head, const char* fileName) {
    const size_t room = kSinkMessageBytes - 1 - std::strlen(head);
    const size_t nameBytes = std::strlen(fileName);
    if (nameBytes <= room) {
        message_.Set("%s%s", head, fileName);
        return;
    }
    // The end of a path names the file; its start is the folder the user chose.
    const char* tail = CharBoundaryAtOrAfter(fileName, nameBytes - (room - kEllipsisBytes));
    message_.Set("%s...%s", head, tail);
}

int32_t WaveFile::Open(const char* fileName, const WAVEFORMATEX* format) {
    if (IsOpen()) return kSinkFailed;  // the open file would be lost

    // An MPEG Layer-3 record always goes into the file complete, as 30 bytes.
    WAVEFORMATEX* mp3 = nullptr;
    BYTE mp3Bytes[kMp3FormatBytes] = {};
    if (format->wFormatTag == kFormatTagMp3) {
        std::memcpy(mp3Bytes, format,
                    std::min<size_t>(kFormatHeaderBytes + format->cbSize, kMp3FormatBytes));
        mp3 = reinterpret_cast<WAVEFORMATEX*>(mp3Bytes);
        CompleteMp3Format(mp3);
        format = mp3;
    }

    std::vector<char> name(fileName, fileName + std::strlen(fileName) + 1);
    MMIOINFO openInfo;
    std::memset(&openInfo, 0, sizeof(openInfo));
    MmioFile file(mmioOpenA(name.data(), &openInfo, MMIO_ALLOCBUF | MMIO_CREATE | MMIO_READWRITE));
    if (!file) {
        char head[kSinkMessageBytes];
        std::snprintf(head, sizeof(head), "WaveOpenFailed %x on\r\n", openInfo.wErrorRet);
        SetFileMessage(head, fileName);
        return kSinkFailed;
    }
    const HMMIO h = file.Get();
    // A larger buffer only changes how the bytes reach the disk; without it the default serves.
    if (bufferBytes_ > 0) mmioSetBuffer(h, nullptr, bufferBytes_, 0);

    // On every failure below the file is closed by `file`; what was written stays on disk.
    std::memset(&riffChunk_, 0, sizeof(riffChunk_));
    riffChunk_.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    MMRESULT result = mmioCreateChunk(h, &riffChunk_, MMIO_CREATERIFF);
    if (result != MMSYSERR_NOERROR) {
        message_.Set("mmioCreateChunk (WAVE) %x", result);
        return kSinkFailed;
    }

    std::memset(&dataChunk_, 0, sizeof(dataChunk_));
    dataChunk_.ckid = mmioFOURCC('f', 'm', 't', ' ');
    dataChunk_.cksize = kPcmFormatFileBytes;
    result = mmioCreateChunk(h, &dataChunk_, 0);
    if (result != MMSYSERR_NOERROR) {
        message_.Set("mmioCreateChunk (FMT) %x", result);
        return kSinkFailed;
    }
    if (format->wFormatTag == kFormatTagPcm) {
        // A PCM record goes into the file without its cbSize.
        if (mmioWrite(h, reinterpret_cast<const char*>(format), LONG(kPcmFormatFileBytes)) !=
            LONG(kPcmFormatFileBytes)) {
            message_.Set("mmioWrite PCMFMT failed");
            return kSinkFailed;
        }
    } else {
        const LONG bytes = LONG(kFormatHeaderBytes + format->cbSize);
        if (mmioWrite(h, reinterpret_cast<const char*>(format), bytes) != bytes) {
            message_.Set("mmioWrite VARFMT failed");
            return kSinkFailed;
        }
    }
    result = mmioAscend(h, &dataChunk_, 0);
    if (result != MMSYSERR_NOERROR) {
        message_.Set("mmioAscend (FMT) %x", result);
        return kSinkFailed;
    }

    MMCKINFO factChunk;
    std::memset(&factChunk, 0, sizeof(factChunk));
    factChunk.ckid = mmioFOURCC('f', 'a', 'c', 't');
    result = mmioCreateChunk(h, &factChunk, 0);
    if (result != MMSYSERR_NOERROR) {
        message_.Set("mmioCreateChunk (FACT) %x", result);
        return kSinkFailed;
    }
    factValueOffset_ = factChunk.dwDataOffset;
    const DWORD unknownFrames = kFactWhileWriting;
    if (mmioWrite(h, reinterpret_cast<const char*>(&unknownFrames), sizeof(unknownFrames)) !=
        LONG(sizeof(unknownFrames))) {
        message_.Set("mmioWrite Fact failed");
        return kSinkFailed;
    }
    result = mmioAscend(h, &factChunk, 0);
    if (result != MMSYSERR_NOERROR) {
        message_.Set("mmioAscend (FACT) %x", result);
        return kSinkFailed;
    }

    std::memset(&dataChunk_, 0, sizeof(dataChunk_));
    dataChunk_.ckid = mmioFOURCC('d', 'a', 't', 'a');
    result = mmioCreateChunk(h, &dataChunk_, 0);
    if (result != MMSYSERR_NOERROR) {
        message_.Set("mmioCreateChunk (DATA) %x", result);
        return kSinkFailed;
    }
    dataOffset_ = dataChunk_.dwDataOffset;
    // The header as written, read back for UpdateHeader, which writes it whole; without it the
    // header is written at the end only.
    if (!ReadHeader(h)) header_.clear();
    if (mmioSeek(h, LONG(dataOffset_), SEEK_SET) != LONG(dataOffset_)) {
        message_.Set("mmioSeek (DATA) %x", MMIOERR_CANNOTSEEK);
        return kSinkFailed;
    }
    std::memset(&buffer_, 0, sizeof(buffer_));
    result = mmioGetInfo(h, &buffer_, 0);
    if (result != MMSYSERR_NOERROR) {
        message_.Set("mmioGetInfo %x", result);
        return kSinkFailed;
    }

    fileName_ = fileName;
    dataBytes_ = 0;
    blockAlign_ = format->nBlockAlign ? format->nBlockAlign : 1;
    avgBytesPerSec_ = format->nAvgBytesPerSec;
    outputRate_ = format->nSamplesPerSec;
    file_ = std::move(file);
    lastDiskFlush_ = api_.tickCount();
    return 0;
}

int32_t WaveFile::Write(int32_t count, const void* bytes, int32_t* stored) {
    if (stored) *stored = 0;
    if (!IsOpen()) return kSinkFailed;
    if (count > 0 && uint64_t(dataOffset_) + dataBytes_ + uint32_t(count) + 1 > kMaxWaveFileBytes) {
        message_.Set("%s", kFileFullMessage);  // + 1: room for a pad byte
        Close(FramesForDataBytes(dataBytes_));
        return kSinkFileFull;
    }
    const char* input = static_cast<const char*>(bytes);
    int32_t done = 0;
    while (done < count) {
        if (buffer_.pchNext >= buffer_.pchEndWrite) {
            buffer_.dwFlags |= MMIO_DIRTY;
            MMRESULT result = api_.advance(file_.Get(), &buffer_, MMIO_WRITE);
            if (result == MMSYSERR_NOERROR && buffer_.pchNext >= buffer_.pchEndWrite) {
                result = MMIOERR_CANNOTEXPAND;  // an advance that gives no room would loop
            }
            if (result != MMSYSERR_NOERROR) {
                message_.Set("mmioAdvance %x", result);
                dataBytes_ += uint32_t(done);
                if (stored) *stored = done;
                CloseKeepingWritten();
                return kSinkFailed;
            }
        }
        const int32_t run =
            std::min<int32_t>(count - done, int32_t(buffer_.pchEndWrite - buffer_.pchNext));
        std::memcpy(buffer_.pchNext, input + done, size_t(run));
        buffer_.pchNext += run;
        done += run;
    }
    dataBytes_ += uint32_t(done);
    if (stored) *stored = done;
    return 0;
}

int32_t WaveFile::Close(uint32_t frames) {
    if (!IsOpen()) return kSinkFailed;
    const HMMIO h = file_.Get();
    // Nothing reached the writer (a chain that was not prepared drops every block): however
    // long the engine thinks the track is, it holds no frames.
    if (dataBytes_ == 0) frames = 0;

    buffer_.dwFlags |= MMIO_DIRTY;
    bool finished = mmioSetInfo(h, &buffer_, 0) == MMSYSERR_NOERROR &&
                    mmioAscend(h, &dataChunk_, 0) == MMSYSERR_NOERROR &&
                    mmioAscend(h, &riffChunk_, 0) == MMSYSERR_NOERROR;
    if (finished) {
        mmioSeek(h, 0, SEEK_SET);
        finished = mmioDescend(h, &riffChunk_, nullptr, 0) == MMSYSERR_NOERROR;
    }
    if (finished) {
        dataChunk_.ckid = mmioFOURCC('f', 'a', 'c', 't');
        if (mmioDescend(h, &dataChunk_, &riffChunk_, MMIO_FINDCHUNK) == MMSYSERR_NOERROR) {
            const DWORD value = frames;
            if (mmioWrite(h, reinterpret_cast<const char*>(&value), sizeof(value)) ==
                LONG(sizeof(value))) {
                mmioAscend(h, &dataChunk_, 0);
            }
        }
        finished = mmioAscend(h, &riffChunk_, 0) == MMSYSERR_NOERROR;
    }
    // Closing flushes what mmio still holds, so its result counts too.
    if (mmioClose(file_.Release(), 0) != MMSYSERR_NOERROR) finished = false;

    // A disk that filled up may have refused bytes without mmio noticing; the size on disk
    // tells.
    const DWORD expected = dataOffset_ + dataBytes_ + (dataBytes_ & 1);
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (finished && GetFileAttributesExA(fileName_.c_str(), GetFileExInfoStandard, &attributes) &&
        (attributes.nFileSizeHigh == 0 && attributes.nFileSizeLow < expected)) {
        finished = false;
    }
    if (finished) {
        SyncClosedFile();
        return EndTrackFile(fileName_, frames, minBytes, 0);
    }

    SetFileMessage(kWriteFailedHead, fileName_.c_str());
    const int64_t kept = PatchFromDisk(frames);
    if (kept < 0) return kSinkTrackDeleted;
    return EndTrackFile(fileName_, uint64_t(kept), minBytes, kSinkFailed);
}

int32_t WaveFile::UpdateHeader(uint32_t frames) {
    if (!IsOpen()) return kSinkFailed;
    if (header_.empty()) return 0;
    const DWORD end = dataOffset_ + dataBytes_;
    const DWORD riffBytes = end - kRiffSizeOffset - kChunkSizeBytes;
    const DWORD keptFrames = std::min(frames, FramesForDataBytes(dataBytes_));
    std::memcpy(&header_[kRiffSizeOffset], &riffBytes, kChunkSizeBytes);
    std::memcpy(&header_[factValueOffset_], &keptFrames, kChunkSizeBytes);
    std::memcpy(&header_[dataOffset_ - kChunkSizeBytes], &dataBytes_, kChunkSizeBytes);

    const HMMIO h = file_.Get();
    buffer_.dwFlags |= MMIO_DIRTY;
    MMRESULT result = api_.setInfo(h, &buffer_, 0);
    if (result == MMSYSERR_NOERROR) result = RewriteHeader();
    if (result == MMSYSERR_NOERROR && api_.seek(h, LONG(end), SEEK_SET) != LONG(end)) {
        result = MMIOERR_CANNOTSEEK;
    }
    if (result == MMSYSERR_NOERROR) result = mmioGetInfo(h, &buffer_, 0);
    if (result != MMSYSERR_NOERROR) {
        message_.Set("Header update %x", result);
        CloseAndPatch();
        return kSinkFailed;
    }
    if (api_.tickCount() - lastDiskFlush_ >= kDiskFlushMilliseconds) FlushToDisk();
    return 0;
}

void WaveFile::FlushToDisk() {
    // The DOS I/O procedure keeps the file's handle here.
    api_.flushToDisk(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(buffer_.adwInfo[0])));
    lastDiskFlush_ = api_.tickCount();
}

void WaveFile::SyncClosedFile() {
    FileHandle file(OpenExisting(fileName_.c_str()));
    if (file) api_.flushToDisk(file.Get());
}

bool WaveFile::ReadHeader(HMMIO h) {
    const LONG bytes = LONG(dataOffset_);
    try {
        header_.assign(size_t(bytes), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return mmioSeek(h, 0, SEEK_SET) == 0 && mmioRead(h, header_.data(), bytes) == bytes;
}

MMRESULT WaveFile::RewriteHeader() {
    const HMMIO h = file_.Get();
    // The seek writes the samples mmio holds before its buffer moves to the header, or the
    // header goes out with them: never a header that counts samples the disk lacks.
    if (api_.seek(h, 0, SEEK_SET) != 0) return MMIOERR_CANNOTSEEK;
    const LONG bytes = LONG(header_.size());
    if (mmioWrite(h, header_.data(), bytes) != bytes) return MMIOERR_CANNOTWRITE;
    return api_.flush(h, 0);
}

int32_t WaveFile::CloseKeepingWritten() {
    // The buffer whose advance failed never reached the file: give it back empty and clean,
    // so closing does not try it again.
    buffer_.pchNext = buffer_.pchBuffer;
    buffer_.dwFlags &= ~MMIO_DIRTY;
    mmioSetInfo(file_.Get(), &buffer_, 0);
    return CloseAndPatch();
}

int32_t WaveFile::CloseAndPatch() {
    mmioClose(file_.Release(), 0);
    const int64_t kept = PatchFromDisk(FramesForDataBytes(dataBytes_));
    if (kept < 0) return kSinkTrackDeleted;
    // The track may go on in another file, so the minimum is its caller's to judge; a file
    // that kept no frame holds nothing of it.
    return EndTrackFile(fileName_, uint64_t(kept), kept == 0 ? kCaptureFrameBytes : 0,
                        kSinkFailed);
}

int64_t WaveFile::PatchFromDisk(uint32_t frames) {
    FileHandle file(OpenExisting(fileName_.c_str()));
    if (!file) return frames;  // a removed disk: nothing can be patched
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size)) return frames;
    if (size.QuadPart < LONGLONG(dataOffset_)) {
        // Not even the header arrived: there is no track to keep.
        file.Reset();
        DeleteFileA(fileName_.c_str());
        return -1;
    }

    DWORD dataBytes = DWORD(std::min<LONGLONG>(size.QuadPart - dataOffset_, dataBytes_));
    DWORD keptFrames = frames;
    if (dataBytes < dataBytes_) {
        dataBytes -= dataBytes % blockAlign_;  // a cut frame or codec block is not playable
        keptFrames = std::min(frames, FramesForDataBytes(dataBytes));
    }
    DWORD fileEnd = dataOffset_ + dataBytes;
    if (dataBytes & 1) {
        const BYTE pad = 0;
        if (WriteAt(file.Get(), fileEnd, &pad, 1)) {
            ++fileEnd;
        } else {
            --dataBytes;
            --fileEnd;
        }
    }
    TruncateAt(file.Get(), fileEnd);
    const DWORD riffBytes = fileEnd - 8;
    WriteAt(file.Get(), kRiffSizeOffset, &riffBytes, kChunkSizeBytes);
    WriteAt(file.Get(), dataOffset_ - kChunkSizeBytes, &dataBytes, kChunkSizeBytes);
    WriteAt(file.Get(), factValueOffset_, &keptFrames, kChunkSizeBytes);
    return keptFrames;
}

uint32_t WaveFile::FramesForDataBytes(uint32_t dataBytes) const {
    // The byte rate gives the duration (exact for PCM), the capture rate its frames. A file
    // told no capture rate counts at its own rate.
    const uint32_t rate = captureRate_ ? captureRate_ : outputRate_;
    if (avgBytesPerSec_ == 0 || rate == 0) return dataBytes / blockAlign_;
    return uint32_t(uint64_t(dataBytes) * rate / avgBytesPerSec_);
}
