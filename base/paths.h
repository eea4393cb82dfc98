// Paths walked by the characters of the process code page, so that a double-byte character
// whose second byte is 0x5C is never taken for a "\": folder joining, trailing separators,
// base names. The recorder and grooval-split share them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Where the character after the one starting at `at` starts.
size_t NextCharacter(const std::string& text, size_t at, UINT codePage = CP_ACP);

// The folder as the checks and the track names use it: trailing separators dropped, but a
// drive or its root ("C:", "C:\", "\", or nothing) stays that root ("C:\", "\"). The
// recorder stores the drive root as "C:", and names its tracks "C:\..." from it.
std::string NormalizeFolder(const std::string& folder, UINT codePage = CP_ACP);

// A folder as the recorder stores it: one trailing backslash dropped, so a drive root "C:\"
// becomes "C:".
std::string WithoutTrailingBackslash(const std::string& folder, UINT codePage = CP_ACP);

// `name` inside `folder`, with one separator between them.
std::string InFolder(const std::string& folder, const std::string& name,
                     UINT codePage = CP_ACP);

// What follows the last separator (the whole path when there is none), and what precedes it
// (empty when there is none).
std::string BaseName(const std::string& path, UINT codePage = CP_ACP);
std::string FolderOf(const std::string& path, UINT codePage = CP_ACP);

// `path` made absolute against the current folder; as given when it cannot be.
std::string FullPath(const std::string& path);

// Full `path` as seen from full `folder` ("..\side.wav") when both lie on one drive or share,
// compared without case; `path` itself when not.
std::string RelativePath(const std::string& path, const std::string& folder,
                         UINT codePage = CP_ACP);
