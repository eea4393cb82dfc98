// Output formats by name for grooval-split, through the codec manager's tag list and its
// format suggestion.
#include "split/formats.h"

#include <msacm.h>

#include <cctype>
#include <cstring>
#include <new>

#include "split/options.h"

namespace {

constexpr DWORD kSuggestStereoAtRate = ACM_FORMATSUGGESTF_WFORMATTAG |
                                       ACM_FORMATSUGGESTF_NCHANNELS |
                                       ACM_FORMATSUGGESTF_NSAMPLESPERSEC;

BOOL CALLBACK CollectTag(HACMDRIVERID, LPACMFORMATTAGDETAILSA details, DWORD_PTR instance, DWORD) {
    auto* tags = reinterpret_cast<std::vector<CodecFormatTag>*>(instance);
    const WORD tag = WORD(details->dwFormatTag);
    if (tag == kFormatTagPcm) return TRUE;
    for (const CodecFormatTag& known : *tags) {
        if (known.tag == tag) return TRUE;  // several codecs may offer one tag
    }
    try {
        tags->push_back(CodecFormatTag{tag, details->szFormatTag});
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    return TRUE;
}

// The manager's format of `tag` from `source`: stereo at the source's rate when it has one,
// else whatever it suggests for the tag.
bool Suggest(const WAVEFORMATEX* source, WORD tag, uint32_t maxFormatSize, FormatBuffer& chosen) {
    if (!chosen.Allocate(maxFormatSize + kFormatHeaderBytes)) return false;
    WAVEFORMATEX* from = const_cast<WAVEFORMATEX*>(source);  // the manager does not write it
    for (DWORD flags : {kSuggestStereoAtRate, DWORD(ACM_FORMATSUGGESTF_WFORMATTAG)}) {
        std::memset(chosen.Bytes(), 0, chosen.Size());
        WAVEFORMATEX* format = chosen.Get();
        format->wFormatTag = tag;
        format->nChannels = 2;
        format->nSamplesPerSec = source->nSamplesPerSec;
        if (acmFormatSuggest(nullptr, from, format, maxFormatSize, flags) == MMSYSERR_NOERROR) {
            return true;
        }
    }
    return false;
}

std::string Normalized(const std::string& name) {
    std::string letters;
    for (char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            letters += char(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return letters;
}

// "17", "0x11": false for anything else or above 0xFFFF.
bool ParseTagNumber(const std::string& text, WORD& tag) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t start = hex ? 2 : 0;
    if (text.size() <= start || text.size() - start > 5) return false;
    uint32_t value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && std::isxdigit(static_cast<unsigned char>(c))) {
            digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        } else {
            return false;
        }
        value = value * (hex ? 16 : 10) + uint32_t(digit);
    }
    if (value > 0xFFFF) return false;
    tag = WORD(value);
    return true;
}

}  // namespace

std::vector<CodecFormatTag> ListCodecFormats(const WAVEFORMATEX* source, uint32_t maxFormatSize) {
    std::vector<CodecFormatTag> tags;
    ACMFORMATTAGDETAILSA details;
    std::memset(&details, 0, sizeof details);
    details.cbStruct = sizeof details;
    details.dwFormatTag = WAVE_FORMAT_UNKNOWN;
    if (acmFormatTagEnumA(nullptr, &details, CollectTag, reinterpret_cast<DWORD_PTR>(&tags), 0) !=
        MMSYSERR_NOERROR) {
        return {};
    }
    std::vector<CodecFormatTag> offered;
    FormatBuffer scratch;
    for (const CodecFormatTag& tag : tags) {
        if (Suggest(source, tag.tag, maxFormatSize, scratch)) offered.push_back(tag);
    }
    return offered;
}

bool NamesFormatTag(const std::string& name, const CodecFormatTag& tag) {
    WORD number = 0;
    if (ParseTagNumber(name, number)) return number == tag.tag;
    const std::string wanted = Normalized(name);
    return !wanted.empty() && wanted == Normalized(tag.name);
}

bool NamesPcm(const std::string& name) {
    WORD number = 0;
    return Normalized(name) == kSplitPcmFormatName ||
           (ParseTagNumber(name, number) && number == kFormatTagPcm);
}

SplitStatus ChooseOutputFormat(const std::string& name, const WAVEFORMATEX* source,
                               uint32_t maxFormatSize, FormatBuffer& chosen) {
    if (NamesPcm(name)) {
        if (!chosen.Allocate(maxFormatSize + kFormatHeaderBytes)) {
            return SplitStatus::OutOfMemory();
        }
        MakePcmFormat(chosen.Get(), source->nSamplesPerSec);
        return SplitStatus();
    }
    for (const CodecFormatTag& tag : ListCodecFormats(source, maxFormatSize)) {
        if (NamesFormatTag(name, tag) && Suggest(source, tag.tag, maxFormatSize, chosen)) {
            return SplitStatus();
        }
    }
    return SplitStatus::Usage("no codec here writes the format \"" + name +
                              "\" (see --list-formats)");
}
