// Texts in fixed buffers: formatting that never overflows and never ends inside a character
// of the process code page (double-byte code pages and UTF-8 included).
#pragma once

#include <cstdarg>
#include <cstddef>

// The first character boundary at or after `offset` bytes into `text`.
const char* CharBoundaryAtOrAfter(const char* text, size_t offset);

// vsnprintf into `size` bytes; a text that does not fit ends with its last whole character.
void FormatFitted(char* text, size_t size, const char* format, ...);
void FormatFittedV(char* text, size_t size, const char* format, va_list args);
