// Safe track file names for grooval-split's titles: "NN Title" made a name Windows takes and
// that stays in the output folder, whatever the title holds.
//
// Made in UTF-16 and then put into the 8-bit code page (see utf8_text.h): control characters
// and the nine refused characters (\ / : * ? " < > |) become '_'; trailing dots and spaces go
// (Windows drops them, and ".." would name the parent); a reserved device name (CON, PRN, AUX,
// NUL, COM1-9, LPT1-9, with any extension) gets a '_' after the device's name ("CON_.txt");
// the title is shortened, a whole character at a time, until folder, name and extension fit
// the path limit.
#pragma once

#include <cstdint>
#include <string>

// Past a name that exists: " (2)" and on, up to this number.
constexpr int32_t kMaxNameCopies = 99;
constexpr char kCopySuffixRoom[] = " (99)";  // the longest of them
// A track file's whole path, as the engine's name buffer takes it, with its terminator.
constexpr size_t kTrackPathBytes = 260;

// A safe file name (8-bit code page, no extension) from UTF-8 `text`, at most `maxBytes` long;
// "_" when nothing of it is left.
std::string SafeFileName(const std::string& text, size_t maxBytes);

// `name` (the program's code page) with a '_' after a reserved device name it starts with
// ("CON.0001" becomes "CON_.0001"); unchanged when it names no device.
std::string WithoutDeviceName(const std::string& name);

// "<prefix>NN <title>" (NN the track number, two digits or more), safe, so that
// "<folder>\<name> (99).<extension>" stays under kTrackPathBytes; a track's `part` 2 and on
// (it went on in another file) ends in " (part N)".
std::string TrackStem(const std::string& folder, const std::string& prefix, int32_t number,
                      const std::string& title, const std::string& extension, int32_t part = 1);

// "<folder>\<stem>.<extension>", or with " (2)" and on before the extension when that exists;
// empty when every one exists or the name would leave the folder.
std::string FreeTrackPath(const std::string& folder, const std::string& stem,
                          const std::string& extension);
