// The LIST/INFO chunk: its bytes and the append that keeps the RIFF length right.
#include "split/info_chunk.h"

#include <windows.h>

#include <cstring>

#include "base/unique_handle.h"
#include "split/tool_file.h"

namespace {

constexpr DWORD kRiffHeaderBytes = 12;  // "RIFF", length, "WAVE"
constexpr DWORD kRiffLengthAt = 4;
constexpr uint32_t kChunkHeaderBytes = 8;  // id, length

void PutId(std::vector<uint8_t>& out, const char* id) {
    out.insert(out.end(), id, id + 4);
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

void PutText(std::vector<uint8_t>& out, const char* id, const std::string& text) {
    if (text.empty()) return;
    PutId(out, id);
    Put32(out, uint32_t(text.size() + 1));
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
    if (out.size() & 1) out.push_back(0);
}

bool WriteAt(HANDLE file, LONGLONG offset, const void* bytes, DWORD count) {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    DWORD written = 0;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
           WriteFile(file, bytes, count, &written, nullptr) && written == count;
}

}  // namespace

std::vector<uint8_t> InfoChunk(const InfoTags& tags) {
    std::vector<uint8_t> body;
    PutId(body, "INFO");
    PutText(body, "INAM", tags.title);
    PutText(body, "IART", tags.artist);
    PutText(body, "IPRD", tags.album);
    PutText(body, "ITRK", tags.track > 0 ? std::to_string(tags.track) : std::string());
    PutText(body, "ICRD", tags.year);
    if (body.size() == 4) return {};
    std::vector<uint8_t> chunk;
    PutId(chunk, "LIST");
    Put32(chunk, uint32_t(body.size()));
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

SplitStatus AppendInfoChunk(const std::string& path, const std::vector<uint8_t>& chunk) {
    if (chunk.empty()) return SplitStatus();
    SplitStatus failure;
    FileHandle file = OpenToolFile(path, "the track file (for its tags)", FileUse::Update, failure);
    if (!file) return failure;
    LARGE_INTEGER size{};
    uint8_t header[kRiffHeaderBytes] = {};
    DWORD read = 0;
    if (!GetFileSizeEx(file.Get(), &size) ||
        !ReadFile(file.Get(), header, kRiffHeaderBytes, &read, nullptr) ||
        read != kRiffHeaderBytes) {
        return SplitStatus::OutputFailed(path, "the track file cannot be read for its tags");
    }
    uint32_t riffLength = 0;
    std::memcpy(&riffLength, header + kRiffLengthAt, sizeof riffLength);
    // A file the writer did not finish whole (or one past 4 GB) is not touched.
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0 ||
        LONGLONG(riffLength) + kChunkHeaderBytes != size.QuadPart || (size.QuadPart & 1) ||
        uint64_t(riffLength) + chunk.size() > 0xFFFFFFFFull) {
        return SplitStatus::OutputFailed(path,
                                         "not a finished WAV file of a size that takes tags");
    }
    const uint32_t newLength = riffLength + uint32_t(chunk.size());
    if (!WriteAt(file.Get(), size.QuadPart, chunk.data(), DWORD(chunk.size())) ||
        !WriteAt(file.Get(), kRiffLengthAt, &newLength, sizeof newLength)) {
        // Back to the file as the writer left it.
        LARGE_INTEGER end = size;
        SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN);
        SetEndOfFile(file.Get());
        WriteAt(file.Get(), kRiffLengthAt, &riffLength, sizeof riffLength);
        return SplitStatus::OutputFailed(path, "its tags cannot be written");
    }
    return SplitStatus();
}
