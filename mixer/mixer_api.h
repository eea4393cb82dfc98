// MixerApi: the winmm functions the mixer model calls, as one table defaulting to the real
// functions; tests hand in their own to simulate cards the bench has no driver for.
#pragma once

#include <windows.h>
#include <mmsystem.h>

struct MixerApi {
    // Device counts, one per kind that the enumeration can be asked for.
    decltype(&::mixerGetNumDevs) mixerGetNumDevs = &::mixerGetNumDevs;
    decltype(&::waveOutGetNumDevs) waveOutGetNumDevs = &::waveOutGetNumDevs;
    decltype(&::waveInGetNumDevs) waveInGetNumDevs = &::waveInGetNumDevs;
    decltype(&::midiOutGetNumDevs) midiOutGetNumDevs = &::midiOutGetNumDevs;
    decltype(&::midiInGetNumDevs) midiInGetNumDevs = &::midiInGetNumDevs;
    decltype(&::auxGetNumDevs) auxGetNumDevs = &::auxGetNumDevs;

    decltype(&::mixerGetID) mixerGetID = &::mixerGetID;
    decltype(&::mixerGetDevCapsA) mixerGetDevCapsA = &::mixerGetDevCapsA;
    decltype(&::mixerOpen) mixerOpen = &::mixerOpen;
    decltype(&::mixerClose) mixerClose = &::mixerClose;
    decltype(&::mixerGetLineInfoA) mixerGetLineInfoA = &::mixerGetLineInfoA;
    decltype(&::mixerGetLineControlsA) mixerGetLineControlsA = &::mixerGetLineControlsA;
    decltype(&::mixerGetControlDetailsA) mixerGetControlDetailsA = &::mixerGetControlDetailsA;
    decltype(&::mixerSetControlDetails) mixerSetControlDetails = &::mixerSetControlDetails;
};
