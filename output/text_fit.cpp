// Texts in fixed buffers, cut at character boundaries.
#include "output/text_fit.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Bytes of the character starting at `p` in the process code page (its lead byte tells; a
// stray UTF-8 continuation byte counts as one).
size_t CharBytes(const char* p, bool utf8) {
    const BYTE lead = BYTE(*p);
    if (utf8) return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return IsDBCSLeadByte(lead) ? 2 : 1;
}

}  // namespace

const char* CharBoundaryAtOrAfter(const char* text, size_t offset) {
    const bool utf8 = GetACP() == CP_UTF8;
    const size_t length = std::strlen(text);
    size_t at = 0;
    while (at < offset && at < length) at += CharBytes(text + at, utf8);
    return text + (at < length ? at : length);
}

void FormatFitted(char* text, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatFittedV(text, size, format, args);
    va_end(args);
}

void FormatFittedV(char* text, size_t size, const char* format, va_list args) {
    if (size == 0) return;
    const int needed = std::vsnprintf(text, size, format, args);
    if (needed < 0) {
        text[0] = '\0';
        return;
    }
    if (size_t(needed) < size) return;
    // Cut: drop a character whose bytes did not all fit. Walking from the start is the only
    // way to tell a double-byte lead byte from a trail byte.
    const bool utf8 = GetACP() == CP_UTF8;
    const size_t kept = std::strlen(text);
    size_t at = 0;
    while (at < kept) {
        const size_t bytes = CharBytes(text + at, utf8);
        if (at + bytes > kept) break;
        at += bytes;
    }
    text[at] = '\0';
}
