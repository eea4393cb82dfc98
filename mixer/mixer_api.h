// MixerApi: the winmm functions the mixer model calls, as one table. The program always uses
// the real functions; tests substitute their own to simulate cards the bench has no driver for.
#pragma once

#include <windows.h>
#include <mmsystem.h>

struct MixerApi {
    // Device counts, one per kind that the enumeration can be asked for.
    decltype(&::mixerGetNumDevs) mixerGetNumDevs;
    decltype(&::waveOutGetNumDevs) waveOutGetNumDevs;
    decltype(&::waveInGetNumDevs) waveInGetNumDevs;
    decltype(&::midiOutGetNumDevs) midiOutGetNumDevs;
    decltype(&::midiInGetNumDevs) midiInGetNumDevs;
    decltype(&::auxGetNumDevs) auxGetNumDevs;

    decltype(&::mixerGetID) mixerGetID;
    decltype(&::mixerGetDevCapsA) mixerGetDevCapsA;
    decltype(&::mixerOpen) mixerOpen;
    decltype(&::mixerClose) mixerClose;
    decltype(&::mixerGetLineInfoA) mixerGetLineInfoA;
    decltype(&::mixerGetLineControlsA) mixerGetLineControlsA;
    decltype(&::mixerGetControlDetailsA) mixerGetControlDetailsA;
    decltype(&::mixerSetControlDetails) mixerSetControlDetails;
};

// The table of the system's own functions.
const MixerApi& RealMixerApi();
