// Text conversions of grooval-split's sleeve data. Titles come as UTF-8 from a file, artist and
// album from the command line in the program's 8-bit code page; inside they are UTF-8 (as the
// INFO chunk and the preview take them), and file names, the cue sheet and the console get
// them in the 8-bit code page, where a character it lacks becomes '_'.
#pragma once

#include <string>

constexpr char kUnmappedCharacter = '_';

// `bytes` with every invalid UTF-8 sequence (a stray or missing continuation, an overlong
// form, a surrogate, past U+10FFFF) replaced by U+FFFD; `valid` says whether there was none.
std::string ValidUtf8(const std::string& bytes, bool& valid);

// Valid UTF-8 <-> UTF-16.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

// UTF-16 <-> the 8-bit code page (CP_ACP). No "best fit": a character the code page lacks is
// kUnmappedCharacter, never a look-alike such as '\' for a full-width backslash.
std::string AnsiFromWide(const std::wstring& text);
std::wstring WideFromAnsi(const std::string& text);

inline std::string AnsiFromUtf8(const std::string& text) {
    return AnsiFromWide(WideFromUtf8(text));
}
inline std::string Utf8FromAnsi(const std::string& text) {
    return Utf8FromWide(WideFromAnsi(text));
}
