// WaveReader: the defensive RIFF WAVE header walk and the data chunk reader of grooval-split.
#include "split/wave_reader.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "base/windows_error.h"

namespace {

constexpr uint32_t kRiffHeaderBytes = 12;  // "RIFF", size, "WAVE"
constexpr uint32_t kChunkHeaderBytes = 8;  // id, size
constexpr uint32_t kPcmFormatBytes = 16;   // the shortest usable "fmt " chunk
// The longest file a 32-bit RIFF size can describe; in a longer one the sizes have wrapped.
constexpr uint64_t kMaxRiffFileBytes = 8ull + 0xFFFFFFFFull;
// Chunks that may follow the samples, known by their ids even when cut short; any other is a
// chunk when its id is printable and its size fits the file.
const char* const kKnownChunks[] = {"LIST", "id3 ", "ID3 ", "cue ", "fact", "JUNK", "junk",
                                    "PAD ", "bext", "smpl", "inst", "iXML", "_PMX", "PEAK"};
// ID3v2 and ID3v1 tags, which some taggers append after the RIFF chunk.
const char* const kAppendedTags[] = {"ID3", "TAG"};
constexpr size_t kChannelMaskAt = 20;      // the speakers in WAVEFORMATEXTENSIBLE
constexpr size_t kSubFormatAt = 24;        // the SubFormat GUID in WAVEFORMATEXTENSIBLE
// The last 12 bytes of KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT; the first 4 hold the tag.
constexpr uint8_t kSubFormatBase[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                        0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t U16(const uint8_t* bytes) {
    return uint16_t(bytes[0] | (bytes[1] << 8));
}
uint32_t U32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16) |
           (uint32_t(bytes[3]) << 24);
}

// A chunk id as text for messages; bytes that are not printable show as '?'.
std::string ChunkName(const uint8_t* id) {
    std::string name = "'";
    for (int i = 0; i < 4; ++i)
        name += (id[i] >= 0x20 && id[i] < 0x7F) ? char(id[i]) : '?';
    return name + "'";
}

std::string Text(const char* format, ...) {
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

bool IsPlainSamples(WORD tag) {
    return tag == kFormatTagPcm || tag == kFormatTagFloat;
}

}  // namespace

bool WaveReader::Fail(const std::string& problem) {
    problem_ = problem;
    file_.Reset();
    return false;
}

bool WaveReader::ReadAt(uint64_t offset, void* buffer, uint32_t count) {
    LARGE_INTEGER position;
    position.QuadPart = LONGLONG(offset);
    if (!SetFilePointerEx(file_.Get(), position, nullptr, FILE_BEGIN)) return false;
    DWORD read = 0;
    if (!ReadFile(file_.Get(), buffer, count, &read, nullptr)) return false;
    return read == count;
}

bool WaveReader::Open(const char* path) {
    problem_.clear();
    warning_.clear();
    format_ = FormatBuffer();
    channelMask_ = 0;
    dataBytes_ = dataRead_ = 0;
    uint32_t riffSize = 0;
    if (!OpenFile(path) || !ReadRiffHeader(riffSize)) return false;
    ChunkWalk walk;
    if (!WalkChunks(walk)) return false;
    const WORD blockAlign = Format()->nBlockAlign;
    dataBytes_ -= dataBytes_ % blockAlign;  // a torn last block cannot be decoded
    TellWhatWasRead(riffSize, walk.walked, walk.dataEnd, walk.salvaged);
    LARGE_INTEGER start;
    start.QuadPart = LONGLONG(dataOffset_);
    if (!SetFilePointerEx(file_.Get(), start, nullptr, FILE_BEGIN)) {
        return Fail("the samples cannot be reached");
    }
    return true;
}

bool WaveReader::OpenFile(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return Fail("is a folder, not a WAV file");
    }
    file_ = FileHandle(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file_) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return Fail("no such file");
        }
        return Fail("cannot be opened (" + WindowsErrorText(error) + ")");
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_.Get(), &size)) return Fail("its size cannot be read");
    fileBytes_ = uint64_t(size.QuadPart);
    return true;
}

bool WaveReader::ReadRiffHeader(uint32_t& riffSize) {
    uint8_t header[kRiffHeaderBytes] = {};
    const uint32_t headerBytes =
        fileBytes_ < kRiffHeaderBytes ? uint32_t(fileBytes_) : kRiffHeaderBytes;
    if (!ReadAt(0, header, headerBytes)) return Fail("its header cannot be read");
    if (headerBytes < 4 || std::memcmp(header, "RIFF", 4) != 0) {
        return Fail("not a RIFF WAVE file");
    }
    if (headerBytes < kRiffHeaderBytes) return Fail("truncated RIFF header");
    if (std::memcmp(header + 8, "WAVE", 4) != 0) return Fail("a RIFF file, but not of type WAVE");
    riffSize = U32(header + 4);
    return true;
}

bool WaveReader::WalkChunks(ChunkWalk& walk) {
    // The file's end bounds the walk, whatever the RIFF size says: a writer that never finished
    // leaves it 0 or as it stood part-way. Whole chunks are read in either case, with a warning.
    bool haveFormat = false, haveData = false;
    uint64_t position = kRiffHeaderBytes;
    walk.walked = position;
    for (int chunks = 0; !(haveFormat && haveData); ++chunks) {
        if (position + kChunkHeaderBytes > fileBytes_) break;
        if (chunks >= kWaveMaxChunks) return Fail("too many chunks before the samples");
        uint8_t chunk[kChunkHeaderBytes];
        if (!ReadAt(position, chunk, kChunkHeaderBytes))
            return Fail("a chunk header cannot be read");
        const uint32_t chunkSize = U32(chunk + 4);
        const uint64_t body = position + kChunkHeaderBytes;
        if (!haveData && std::memcmp(chunk, "data", 4) == 0 &&
            IsUnfinished(chunkSize, body, haveFormat ? Format()->nBlockAlign : 0)) {
            Salvage(chunkSize, body);
            haveData = walk.salvaged = true;
            position = walk.walked = fileBytes_;  // the samples run to the end of the file
            continue;
        }
        if (body + chunkSize > fileBytes_) {
            return Fail(Text("chunk %s size %lu runs past the end of the file",
                             ChunkName(chunk).c_str(), (unsigned long)chunkSize));
        }
        if (!haveFormat && std::memcmp(chunk, "fmt ", 4) == 0) {
            if (!TakeFormat(body, chunkSize)) return false;
            haveFormat = true;
        } else if (!haveData && std::memcmp(chunk, "data", 4) == 0) {
            dataOffset_ = body;
            dataBytes_ = chunkSize;
            walk.dataEnd = body + chunkSize;
            haveData = true;
        }
        walk.walked = body + chunkSize;
        position = walk.walked + (chunkSize & 1u);  // odd chunks are padded
    }
    if (!haveFormat) return Fail("no 'fmt ' chunk");
    if (!haveData) return Fail("no 'data' chunk");
    return true;
}

// The warning of a file read though its header is not what a finished file's is.
void WaveReader::TellWhatWasRead(uint32_t riffSize, uint64_t walked, uint64_t dataEnd,
                                 bool salvaged) {
    const uint64_t riffEnd = 8ull + riffSize;
    // Some writers leave out the pad byte of an odd data chunk at the end, which the RIFF
    // size counts.
    const bool onlyPadMissing =
        riffEnd == fileBytes_ + 1 && dataEnd == fileBytes_ && ((dataEnd - dataOffset_) & 1u);
    std::string riffProblem;
    if (riffSize < 4) {
        riffProblem = Text("RIFF size %lu: the file was never finished", (unsigned long)riffSize);
    } else if (riffEnd > fileBytes_) {
        riffProblem = Text("RIFF size %lu runs past the end of the file (%llu bytes)",
                           (unsigned long)riffSize, (unsigned long long)fileBytes_);
    } else if (riffEnd < walked && fileBytes_ <= kMaxRiffFileBytes) {
        riffProblem = Text("RIFF size %lu ends inside its chunks", (unsigned long)riffSize);
    }
    if (salvaged) {
        warning_ = Text("the file was never finished (%s): read the %lu bytes of samples up to "
                        "its end, %.1f s",
                        warning_.c_str(), (unsigned long)dataBytes_, DurationSeconds());
    } else if (onlyPadMissing) {
        warning_ = "the pad byte after the odd-length data chunk is missing (the RIFF size "
                   "counts it); every sample is there";
    } else if (!riffProblem.empty()) {
        warning_ = Text("%s; its chunks are whole: read the %lu bytes of samples its data "
                        "chunk names, %.1f s",
                        riffProblem.c_str(), (unsigned long)dataBytes_, DurationSeconds());
    } else if (fileBytes_ > kMaxRiffFileBytes) {
        const uint64_t ignored = fileBytes_ - (dataOffset_ + dataBytes_);
        warning_ = Text("the file has %llu bytes, more than its RIFF sizes can count: read the "
                        "%lu bytes of samples its data chunk names (%.0f s) and ignored the "
                        "%llu bytes after them",
                        (unsigned long long)fileBytes_, (unsigned long)dataBytes_,
                        DurationSeconds(), (unsigned long long)ignored);
    }
}

bool WaveReader::IsUnfinished(uint32_t size, uint64_t body, uint32_t align) {
    if (size == kUnfinishedDataBytes || body + size > fileBytes_) return true;
    // Samples after the declared ones, where a finished file has its next chunk or its end: a
    // header last brought up to date part-way (or only at open, size 0). Past 4 GB a size
    // other than 0 has wrapped instead.
    const uint64_t end = body + size;
    const uint64_t next = end + (size & 1u);
    if (next >= fileBytes_ || (size != 0 && fileBytes_ > kMaxRiffFileBytes)) return false;
    if (align != 0 && (size % align != 0 || fileBytes_ - end < align)) return false;
    return !ChunkAt(next);
}

// A chunk header, or a tag some programs append after the RIFF chunk, at `offset`.
bool WaveReader::ChunkAt(uint64_t offset) {
    uint8_t header[kChunkHeaderBytes] = {};
    const uint64_t left = fileBytes_ - offset;
    const uint32_t count = left < kChunkHeaderBytes ? uint32_t(left) : kChunkHeaderBytes;
    if (!ReadAt(offset, header, count)) return false;
    for (const char* tag : kAppendedTags) {
        if (count >= 3 && std::memcmp(header, tag, 3) == 0) return true;
    }
    if (count < kChunkHeaderBytes) return false;
    for (int i = 0; i < 4; ++i) {
        if (header[i] < 0x20 || header[i] > 0x7E) return false;
    }
    for (const char* id : kKnownChunks) {
        if (std::memcmp(header, id, 4) == 0) return true;
    }
    // Its pad byte may be missing.
    return offset + kChunkHeaderBytes + U32(header + 4) <= fileBytes_ + 1;
}

void WaveReader::Salvage(uint32_t size, uint64_t body) {
    dataOffset_ = body;
    const uint64_t found = fileBytes_ - body;
    dataBytes_ = found > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(found);
    // What the header claimed, for the warning Open completes.
    if (size == 0 || size == kUnfinishedDataBytes) {
        warning_ = Text("its data chunk claims %lu bytes", (unsigned long)size);
    } else if (body + size > fileBytes_) {
        warning_ = Text("its data chunk claims %lu bytes, more than the file holds",
                        (unsigned long)size);
    } else {
        warning_ = Text("its data chunk claims %lu bytes, and whole frames follow them",
                        (unsigned long)size);
    }
}

bool WaveReader::TakeFormat(uint64_t offset, uint32_t size) {
    if (size < kPcmFormatBytes) {
        return Fail(Text("'fmt ' chunk too short (%lu bytes)", (unsigned long)size));
    }
    const uint32_t readBytes = size < kWaveMaxFormatBytes ? size : kWaveMaxFormatBytes;
    std::vector<uint8_t> bytes;
    try {
        bytes.assign(size_t(readBytes) < kFormatHeaderBytes ? kFormatHeaderBytes : readBytes, 0);
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
    if (!ReadAt(offset, bytes.data(), readBytes)) return Fail("the 'fmt ' chunk cannot be read");

    WORD tag = U16(&bytes[0]);
    uint32_t extra = 0;
    if (tag != kFormatTagPcm && size >= kFormatHeaderBytes) {
        extra = U16(&bytes[16]);
        if (kFormatHeaderBytes + extra > size) {
            return Fail(Text("'fmt ' chunk of %lu bytes is shorter than its %lu extra bytes",
                             (unsigned long)size, (unsigned long)extra));
        }
    }
    if (tag == kFormatTagExtensible) {
        if (size < kExtensibleFormatBytes || extra < kExtensibleFormatBytes - kFormatHeaderBytes) {
            return Fail("extensible 'fmt ' chunk too short");
        }
        const uint8_t* subFormat = &bytes[kSubFormatAt];
        const uint32_t subTag = U32(subFormat);
        if (subTag <= 0xFFFF && IsPlainSamples(WORD(subTag)) &&
            std::memcmp(subFormat + 4, kSubFormatBase, sizeof kSubFormatBase) == 0) {
            tag = WORD(subTag);
            extra = 0;
            channelMask_ = U32(&bytes[kChannelMaskAt]);
        }
    }
    if (!format_.Allocate(kFormatHeaderBytes + extra)) return Fail("out of memory");
    std::memcpy(format_.Bytes(), bytes.data(), kFormatHeaderBytes + extra);
    WAVEFORMATEX* format = format_.Get();
    format->wFormatTag = tag;
    format->cbSize = WORD(extra);

    if (format->nChannels == 0) return Fail("zero channels");
    if (format->nSamplesPerSec == 0) return Fail("zero sample rate");
    if (format->nBlockAlign == 0) return Fail("zero block align");
    if (IsPlainSamples(tag)) {
        const WORD bits = format->wBitsPerSample;
        if (bits == 0 || bits % 8 != 0) return Fail(Text("%u bits per sample", unsigned(bits)));
        if (uint32_t(format->nBlockAlign) != uint32_t(format->nChannels) * (bits / 8u)) {
            return Fail(Text("block align %u does not fit %u channels of %u bits",
                             unsigned(format->nBlockAlign), unsigned(format->nChannels),
                             unsigned(bits)));
        }
        const uint64_t bytesPerSecond = uint64_t(format->nSamplesPerSec) * format->nBlockAlign;
        if (bytesPerSecond > 0xFFFFFFFFull) return Fail("sample rate too high");
        format->nAvgBytesPerSec = DWORD(bytesPerSecond);  // a wrong stored value is harmless
    }
    return true;
}

bool WaveReader::IsCaptureFormat() const {
    const WAVEFORMATEX* format = Format();
    return format && format->wFormatTag == kFormatTagPcm && format->nChannels == 2 &&
           format->wBitsPerSample == 16;
}

double WaveReader::DurationSeconds() const {
    const WAVEFORMATEX* format = Format();
    if (!format || format->nAvgBytesPerSec == 0) return 0.0;
    return double(dataBytes_) / format->nAvgBytesPerSec;
}

int32_t WaveReader::Read(void* buffer, uint32_t count) {
    if (!file_) return -1;
    const uint32_t left = dataBytes_ - dataRead_;
    if (count > left) count = left;
    if (count > 0x7FFFFFFFu) count = 0x7FFFFFFFu;
    if (count == 0) return 0;
    DWORD read = 0;
    if (!api_.readFile(file_.Get(), buffer, count, &read, nullptr)) {
        problem_ = "read error (" + WindowsErrorText(GetLastError()) + ")";
        return -1;
    }
    if (read != count) {
        problem_ = "the file ended before its data chunk did";
        return -1;
    }
    dataRead_ += read;
    return int32_t(read);
}

std::string FormatSummary(const WAVEFORMATEX* format) {
    if (!format) return "no format";
    const char* kind = format->wFormatTag == kFormatTagPcm     ? "PCM"
                       : format->wFormatTag == kFormatTagFloat ? "float"
                                                               : nullptr;
    if (kind) {
        return Text("%s %u-bit, %u channels, %lu Hz", kind, unsigned(format->wBitsPerSample),
                    unsigned(format->nChannels), (unsigned long)format->nSamplesPerSec);
    }
    return Text("format 0x%04X, %u channels, %lu Hz", unsigned(format->wFormatTag),
                unsigned(format->nChannels), (unsigned long)format->nSamplesPerSec);
}
