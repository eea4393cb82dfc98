// MixerDevice: one open mixer with its destination lines, their source lines, and every control
// of every line; MixerLine: one of those lines.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "mixer/mixer_api.h"
#include "mixer/mixer_control.h"

constexpr DWORD kComponentTypeRecording = 7;  // MIXERLINE_COMPONENTTYPE_DST_WAVEIN
// Identifiers of control-less source lines kept per device. Only 127 of them count: the
// 128th place is overwritten by any further one.
constexpr int32_t kSilentSourcePlaces = 128;
constexpr int32_t kSilentSourceLimit = 127;

class MixerDevice;

// The controls of a line, as the platform listed them.
struct LineControls {
    DWORD count = 0;     // info.cControls, or 0 when they could not be read
    DWORD channels = 0;  // info.cChannels
    std::unique_ptr<MIXERCONTROLA[]> controls;
};

// A destination line (with its sources) or a source line. Lines never move once the device
// has made them: controls refer to their `info` and control arrays.
struct MixerLine {
    MIXERLINEA info{};
    UINT mixerId = 0;
    LineControls lineControls;
    std::vector<MixerLine> sources;  // destination lines only
    MixerDevice* device = nullptr;   // destination lines only
    bool filled = false;             // `info` holds what the platform reported
};

class MixerDevice {
public:
    explicit MixerDevice(const MixerApi& api);
    ~MixerDevice();
    MixerDevice(const MixerDevice&) = delete;
    MixerDevice& operator=(const MixerDevice&) = delete;

    const char* Name() const { return caps.szPname; }
    // Hands `listener` the controls of every line of that component type, ends the set, then
    // names the control-less sources.
    void AttachControlsOfType(DWORD componentType, MixerListener& listener);
    // Hands `listener` the controls of the line with that identifier and ends the set.
    void AttachControlsOfLine(DWORD lineId, MixerListener& listener);

    HMIXER Handle() const { return handle; }
    UINT MixerId() const { return mixerId; }
    const MIXERCAPSA& Caps() const { return caps; }
    const std::vector<MixerLine>& Destinations() const { return destinations; }
    const DWORD* SilentSources() const { return silentSources; }
    int32_t SilentSourceCount() const { return silentSourceCount; }
    // nullptr when the device has no control with that identifier.
    MixerControl* FindControl(DWORD controlId);

private:
    friend class MixerDeviceList;

    // Reads the capabilities of `mixerId`; false when the platform could not.
    bool ReadCaps(UINT id);
    // Opens the mixer with change messages going to `notifyWindow`, then reads every line and
    // control. May throw std::bad_alloc or std::length_error; the list catches them.
    void Open(HWND notifyWindow);
    void LoadLineControls(MixerLine& line);
    // Closes the mixer and forgets everything read, back to an empty device.
    void Clear();
    void AddSilentSource(DWORD lineId);
    void AttachMatching(bool (*matches)(const MIXERLINEA&, DWORD), DWORD key,
                        MixerListener& listener);
    void OnLineChange(DWORD lineId);
    void OnControlChange(DWORD controlId);

    const MixerApi* api;
    HMIXER handle = nullptr;
    MIXERCAPSA caps{};
    std::vector<MixerLine> destinations;
    DWORD silentSources[kSilentSourcePlaces] = {};
    int32_t silentSourceCount = 0;
    // Declared after the lines, so the controls that refer into them go first.
    std::map<DWORD, std::unique_ptr<MixerControl>> controls;
    UINT mixerId = 0;
};
