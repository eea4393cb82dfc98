// MixerControl: one control of a mixer line, with the value buffers a listener reads and
// writes; MixerListener: who is handed controls and told of their changes.
//
// How it works: while a control is attached it keeps two value buffers. `readBuffer` is what
// the platform reads into and writes from; `shadow` is the listener's copy. Refresh reads the
// device and reports only when the values differ from `shadow`; Apply writes only when the
// listener's `shadow` differs from what was last read or written. So the mixer's own change
// message for a value we just wrote finds nothing new, while a value the driver adjusted does.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <vector>

#include "mixer/mixer_api.h"

class MixerControl;

class MixerListener {
public:
    virtual ~MixerListener() = default;
    // One control of a requested set; called once more with nullptr at the end of the set.
    virtual void ControlAdded(HMIXER handle, MixerControl* control) = 0;
    // An attached control's values now differ from those last seen; they are in its shadow.
    virtual void ControlChanged(HMIXER handle, DWORD controlId) = 0;
    // The device's source lines that have no controls.
    virtual void ExcludeSources(HMIXER handle, const DWORD* lineIds, int32_t count) = 0;
};

// Exact dwControlType values the model and the recording panel recognise.
constexpr DWORD kControlTypeSingleSelect = 0x70010000;
constexpr DWORD kControlTypeMux = 0x70010001;
constexpr DWORD kControlTypeMultipleSelect = 0x71010000;
constexpr DWORD kControlTypeMixer = 0x71010001;
constexpr DWORD kControlTypeEqualizer = 0x50030004;
constexpr DWORD kControlTypeMute = 0x20010002;
constexpr DWORD kControlTypeVolume = 0x50030001;

constexpr DWORD kControlUniform = 1;  // MIXERCONTROL_CONTROLF_UNIFORM: one value for all channels

class MixerControl {
public:
    // Reads the item names of a list control through `mixerId`. `line` and `info` must outlive
    // the control (the device owns all three).
    MixerControl(const MixerApi& api, UINT mixerId, const MIXERLINEA& line, DWORD channels,
                 const MIXERCONTROLA& info);
    MixerControl(const MixerControl&) = delete;
    MixerControl& operator=(const MixerControl&) = delete;

    void Attach(MixerListener* newListener);
    void Detach();
    // Reads the values; tells the listener when they differ from the shadow.
    void Refresh(HMIXER handle);
    // Writes the shadow when it differs from what was last read or written.
    void Apply(HMIXER handle);
    // Adds the non-empty item names with their line identifiers as item data.
    void FillComboBox(HWND comboBox) const;

    const MIXERCONTROLA& Info() const { return *info; }
    const MIXERLINEA& Line() const { return *line; }
    DWORD Channels() const { return channels; }
    // Item names, ValueCount() of them for a list control, none otherwise.
    const MIXERCONTROLDETAILS_LISTTEXTA* Items() const { return items.empty() ? nullptr : items.data(); }
    int32_t ItemEntries() const { return static_cast<int32_t>(items.size()); }
    // Blanks one item's name, so it is left out of every later FillComboBox.
    void HideItem(int32_t k);

    DWORD ChannelCount() const;
    DWORD ItemCount() const;
    DWORD ValueCount() const { return ItemCount() * ChannelCount(); }
    bool IsListControl() const;

    // The listener's values, ValueCount() 32-bit fields; nullptr while not attached (or when
    // the buffers could not be allocated).
    DWORD* Shadow() { return shadow.empty() ? nullptr : shadow.data(); }
    const DWORD* Shadow() const { return shadow.empty() ? nullptr : shadow.data(); }
    bool ShadowValid() const { return shadowValid; }
    // Cleared, the next Refresh reports whatever it reads.
    void SetShadowValid(bool valid) { shadowValid = valid; }
    int32_t AttachCount() const { return attachCount; }
    DWORD ValueBytes() const { return valueBytes; }

private:
    const MixerApi* api;
    const MIXERLINEA* line;
    const MIXERCONTROLA* info;
    MIXERCONTROLDETAILS details{};
    int32_t attachCount = 0;
    MixerListener* listener = nullptr;
    bool shadowValid = false;
    std::vector<MIXERCONTROLDETAILS_LISTTEXTA> items;
    DWORD channels;
    DWORD valueBytes = 0;
    std::vector<DWORD> shadow;
    std::vector<DWORD> readBuffer;
};
