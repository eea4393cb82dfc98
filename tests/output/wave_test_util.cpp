// Test helpers for output files.
#include "tests/output/wave_test_util.h"

#include <msacm.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace outtest {

namespace {
constexpr double kPi = 3.14159265358979323846;
}  // namespace

std::vector<uint8_t> ReadFileBytes(const std::string& windowsPath) {
    std::ifstream in(windowsPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& windowsPath) {
    return GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

uint32_t U32(const std::vector<uint8_t>& bytes, size_t offset) {
    if (offset + 4 > bytes.size()) return 0xDEADBEEF;
    return uint32_t(bytes[offset]) | uint32_t(bytes[offset + 1]) << 8 |
           uint32_t(bytes[offset + 2]) << 16 | uint32_t(bytes[offset + 3]) << 24;
}

uint16_t U16(const std::vector<uint8_t>& bytes, size_t offset) {
    if (offset + 2 > bytes.size()) return 0xBEEF;
    return uint16_t(bytes[offset] | bytes[offset + 1] << 8);
}

const Chunk* WaveLayout::Find(const std::string& id) const {
    for (const Chunk& chunk : chunks) {
        if (chunk.id == id) return &chunk;
    }
    return nullptr;
}

WaveLayout ParseWave(const std::vector<uint8_t>& bytes) {
    WaveLayout layout;
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        return layout;
    }
    layout.riffSize = U32(bytes, 4);
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        Chunk chunk;
        chunk.id.assign(reinterpret_cast<const char*>(bytes.data() + at), 4);
        chunk.size = U32(bytes, at + 4);
        chunk.offset = at + 8;
        if (chunk.offset + chunk.size > bytes.size()) return layout;
        layout.chunks.push_back(chunk);
        at = chunk.offset + chunk.size + (chunk.size & 1);
    }
    layout.valid = at == bytes.size();
    return layout;
}

std::vector<uint8_t> SineBytes(int rate, double frequency, int frames) {
    std::vector<uint8_t> bytes(size_t(frames) * 4);
    for (int i = 0; i < frames; ++i) {
        const int16_t value = int16_t(std::lround(12000.0 * std::sin(2 * kPi * frequency * i / rate)));
        for (int channel = 0; channel < 2; ++channel) {
            bytes[size_t(i) * 4 + channel * 2] = uint8_t(value & 0xFF);
            bytes[size_t(i) * 4 + channel * 2 + 1] = uint8_t((value >> 8) & 0xFF);
        }
    }
    return bytes;
}

std::vector<uint8_t> PatternBytes(size_t count, uint32_t seed) {
    std::vector<uint8_t> bytes(count);
    uint32_t state = seed;
    for (uint8_t& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = uint8_t(state >> 24);
    }
    return bytes;
}

bool DecodeToPcm(const WAVEFORMATEX* format, const std::vector<uint8_t>& data,
                 FormatBuffer* pcmFormat, std::vector<uint8_t>* pcm) {
    DWORD maxSize = ReadMaxFormatSize();
    pcmFormat->Allocate(maxSize + kFormatHeaderBytes);
    pcmFormat->Get()->wFormatTag = WAVE_FORMAT_PCM;
    WAVEFORMATEX* from = const_cast<WAVEFORMATEX*>(format);
    if (acmFormatSuggest(nullptr, from, pcmFormat->Get(), maxSize, ACM_FORMATSUGGESTF_WFORMATTAG) !=
        MMSYSERR_NOERROR) {
        return false;
    }
    HACMSTREAM stream = nullptr;
    if (acmStreamOpen(&stream, nullptr, from, pcmFormat->Get(), nullptr, 0, 0, 0) !=
        MMSYSERR_NOERROR) {
        return false;
    }
    DWORD outBytes = 0;
    const DWORD inBytes = DWORD(data.size());
    bool ok = acmStreamSize(stream, inBytes, &outBytes, ACM_STREAMSIZEF_SOURCE) == MMSYSERR_NOERROR;
    std::vector<uint8_t> in(data);
    in.resize(inBytes ? inBytes : 1);
    pcm->assign(outBytes ? outBytes : 1, 0);
    ACMSTREAMHEADER header;
    std::memset(&header, 0, sizeof(header));
    header.cbStruct = sizeof(header);
    header.pbSrc = in.data();
    header.cbSrcLength = inBytes;
    header.pbDst = pcm->data();
    header.cbDstLength = DWORD(pcm->size());
    ok = ok && acmStreamPrepareHeader(stream, &header, 0) == MMSYSERR_NOERROR;
    ok = ok && acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END) ==
                   MMSYSERR_NOERROR;
    if (ok) pcm->resize(header.cbDstLengthUsed);
    if (header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) acmStreamUnprepareHeader(stream, &header, 0);
    acmStreamClose(stream, 0);
    return ok;
}

double DecodedCaptureFrames(const std::vector<uint8_t>& file, uint32_t captureRate) {
    const WaveLayout layout = ParseWave(file);
    const Chunk* fmt = layout.Find("fmt ");
    const Chunk* data = layout.Find("data");
    if (!layout.valid || !fmt || !data) return -1;
    const std::vector<uint8_t> bytes(file.begin() + long(data->offset),
                                     file.begin() + long(data->offset + data->size));
    FormatBuffer pcmFormat;
    std::vector<uint8_t> pcm;
    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(file.data() + fmt->offset);
    if (!DecodeToPcm(format, bytes, &pcmFormat, &pcm)) return -1;
    const WAVEFORMATEX* decoded = pcmFormat.Get();
    return double(pcm.size()) / decoded->nBlockAlign * captureRate / decoded->nSamplesPerSec;
}

FormatBuffer Pcm(DWORD rate) {
    FormatBuffer format(ReadMaxFormatSize() + kFormatHeaderBytes);
    MakePcmFormat(format.Get(), rate);
    return format;
}

FormatBuffer Suggest(uint32_t sourceRate, WORD tag, WORD channels, DWORD rate) {
    const DWORD maxSize = ReadMaxFormatSize();
    FormatBuffer source = Pcm(sourceRate);
    FormatBuffer result(maxSize + kFormatHeaderBytes);
    result.Get()->wFormatTag = tag;
    result.Get()->nChannels = channels;
    result.Get()->nSamplesPerSec = rate;
    if (acmFormatSuggest(nullptr, source.Get(), result.Get(), maxSize,
                         ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS |
                             ACM_FORMATSUGGESTF_NSAMPLESPERSEC) != MMSYSERR_NOERROR) {
        return FormatBuffer();
    }
    return result;
}

RecordingSink::~RecordingSink() {
    if (destroyed_) *destroyed_ = true;
}

int32_t RecordingSink::Note(const char* what, int32_t result) {
    if (log_) log_->push_back(what);
    return result;
}

int32_t RecordingSink::Prepare(int32_t blockBytes) {
    sourceBlockBytes_ = blockBytes;
    return Note("Prepare", 0);
}

int32_t RecordingSink::Write(const void* bytes, int32_t count) {
    const auto* first = static_cast<const uint8_t*>(bytes);
    received.insert(received.end(), first, first + count);
    writeSizes.push_back(count);
    return Note("Write", 0);
}

int32_t RecordingSink::Finish(uint32_t frames) {
    finishedFrames = frames;
    return Note("Finish", finishResult);
}

}  // namespace outtest
