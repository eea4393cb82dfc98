// UTF-8 checking and the conversions between UTF-8, UTF-16 and the 8-bit code page.
#include "split/utf8_text.h"

#include <windows.h>

#include <cstdint>

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the valid sequence starting at `at`, or 0.
size_t SequenceLength(const std::string& bytes, size_t at) {
    const auto byte = [&](size_t i) { return uint8_t(bytes[i]); };
    const uint8_t lead = byte(at);
    if (lead < 0x80) return 1;
    // Per length: the lead byte's marker bits and the smallest code point not overlong.
    struct Form {
        uint8_t mask, marker;
        uint32_t lowest;
    };
    constexpr Form kForms[] = {{0xE0, 0xC0, 0x80}, {0xF0, 0xE0, 0x800}, {0xF8, 0xF0, 0x10000}};
    size_t length = 0;
    uint32_t code = 0, lowest = 0;
    for (size_t form = 0; form < 3 && length == 0; ++form) {
        if ((lead & kForms[form].mask) != kForms[form].marker) continue;
        length = form + 2;
        code = lead & uint8_t(~kForms[form].mask);
        lowest = kForms[form].lowest;
    }
    if (length == 0) return 0;
    if (at + length > bytes.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(at + i) & 0x3F);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

std::wstring Widen(UINT codePage, const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), &wide[0], length);
    return wide;
}

std::string Narrow(UINT codePage, const std::wstring& text) {
    if (text.empty()) return std::string();
    // A UTF-8 code page takes neither flags nor a default character.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char unmapped[2] = {kUnmappedCharacter, '\0'};
    const char* fallback = utf8 ? nullptr : unmapped;
    const int length = WideCharToMultiByte(codePage, flags, text.data(), int(text.size()), nullptr,
                                           0, fallback, nullptr);
    if (length <= 0) return std::string();
    std::string narrow(size_t(length), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), int(text.size()), &narrow[0], length,
                        fallback, nullptr);
    return narrow;
}

UINT AnsiCodePage() {
    const UINT page = GetACP();
    return page == CP_UTF8 ? CP_UTF8 : CP_ACP;
}

}  // namespace

std::string ValidUtf8(const std::string& bytes, bool& valid) {
    valid = true;
    std::string text;
    text.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        const size_t length = SequenceLength(bytes, at);
        if (length == 0) {
            valid = false;
            text += kReplacement;
            ++at;
            continue;
        }
        text.append(bytes, at, length);
        at += length;
    }
    return text;
}

std::wstring WideFromUtf8(const std::string& text) {
    return Widen(CP_UTF8, text);
}

std::string Utf8FromWide(const std::wstring& text) {
    return Narrow(CP_UTF8, text);
}

std::string AnsiFromWide(const std::wstring& text) {
    return Narrow(AnsiCodePage(), text);
}

std::wstring WideFromAnsi(const std::string& text) {
    return Widen(AnsiCodePage(), text);
}
