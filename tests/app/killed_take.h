// What the killed-take test and its child share: the state the child publishes in a named
// file mapping, with an event set after each update.
#pragma once

#include <windows.h>

#include <string>

struct TakeState {
    LONG processed = 0;         // blocks the engine's worker has taken
    LONG processedAtOpen = -1;  // as it stood when the track file was first seen open
};

constexpr char kKilledTakePrefix[] = "take";
constexpr DWORD kChildPatience = 60000;  // ms without a block before the child gives up

inline std::string PublishedEventName(const std::string& mapping) { return mapping + " published"; }
