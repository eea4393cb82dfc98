// Paths and prefixes of grooval-split, walked by the characters of the process code page, so
// that a double-byte character whose second byte is 0x5C is never taken for a "\".
#pragma once

#include <windows.h>

#include <string>

// The folder as the checks and the track names use it: trailing separators dropped, but a
// drive or its root ("C:", "C:\", "\", or nothing) stays that root ("C:\", "\"). The
// recorder stores the drive root as "C:", and names its tracks "C:\..." from it.
std::string NormalizeFolder(const std::string& folder, UINT codePage = CP_ACP);

// `name` inside `folder`, with one separator between them.
std::string InFolder(const std::string& folder, const std::string& name,
                     UINT codePage = CP_ACP);

// What follows the last separator (the whole path when there is none), and what precedes it
// (empty when there is none).
std::string BaseName(const std::string& path, UINT codePage = CP_ACP);
std::string FolderOf(const std::string& path, UINT codePage = CP_ACP);

// True when `prefix` holds a character the recorder refuses in a prefix.
bool HoldsRefusedPrefixCharacter(const std::string& prefix, UINT codePage = CP_ACP);
