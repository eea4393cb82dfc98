// MixerDeviceList: the sound cards' mixers, one MixerDevice for each distinct mixer that
// serves a device of the enumerated kind. Used on the main window's thread only.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "mixer/mixer_api.h"
#include "mixer/mixer_device.h"

// Device kinds for Enumerate (the object flags mixerGetID takes).
constexpr DWORD kMixerKindMixer = 0;            // MIXER_OBJECTF_MIXER
constexpr DWORD kMixerKindWaveOut = 0x10000000;  // MIXER_OBJECTF_WAVEOUT
constexpr DWORD kMixerKindWaveIn = 0x20000000;   // MIXER_OBJECTF_WAVEIN
constexpr DWORD kMixerKindMidiOut = 0x30000000;  // MIXER_OBJECTF_MIDIOUT
constexpr DWORD kMixerKindMidiIn = 0x40000000;   // MIXER_OBJECTF_MIDIIN
constexpr DWORD kMixerKindAux = 0x50000000;      // MIXER_OBJECTF_AUX

// Returns true to leave a device out of the enumeration.
using MixerFilter = std::function<bool(const MIXERCAPSA& caps)>;

class MixerDeviceList {
public:
    explicit MixerDeviceList(const MixerApi& api = MixerApi());
    MixerDeviceList(const MixerDeviceList&) = delete;
    MixerDeviceList& operator=(const MixerDeviceList&) = delete;

    // Opens every distinct mixer serving a device of `kind`, in device-index order, with change
    // messages going to `notifyWindow`; writes the mixer log. Replaces an earlier enumeration.
    void Enumerate(DWORD kind, HWND notifyWindow, const MixerFilter& filter = MixerFilter());
    int32_t Count() const { return count; }
    MixerDevice& Item(int32_t index) { return *devices[index]; }
    // The first device with exactly that name, or nullptr.
    MixerDevice* FindByName(const char* name);

    // MM_MIXM_LINE_CHANGE and MM_MIXM_CONTROL_CHANGE: wParam is the handle, lParam the id.
    void OnLineChange(HMIXER handle, DWORD lineId);
    void OnControlChange(HMIXER handle, DWORD controlId);

private:
    UINT DeviceCount(DWORD kind) const;
    MixerDevice* FindByHandle(HMIXER handle);

    const MixerApi api;  // the devices and their controls call through this copy
    std::vector<std::unique_ptr<MixerDevice>> devices;
    int32_t count = 0;
};
