// The real winmm functions behind the mixer model.
#include "mixer/mixer_api.h"

const MixerApi& RealMixerApi() {
    static const MixerApi api = {
        ::mixerGetNumDevs,   ::waveOutGetNumDevs,      ::waveInGetNumDevs,
        ::midiOutGetNumDevs, ::midiInGetNumDevs,       ::auxGetNumDevs,
        ::mixerGetID,        ::mixerGetDevCapsA,       ::mixerOpen,
        ::mixerClose,        ::mixerGetLineInfoA,      ::mixerGetLineControlsA,
        ::mixerGetControlDetailsA, ::mixerSetControlDetails,
    };
    return api;
}
