// MixerDevice: reading a mixer's lines and controls, and handing sets of controls to a listener.
//
// All structure queries pass the mixer device identifier; only value reads and writes and the
// re-read of a changed line use the open handle. A query that fails leaves its structure
// marked unfilled (or emptied) so nothing downstream takes zeros or leftovers for real data.
#include "mixer/mixer_device.h"

#include <cstring>

namespace {

constexpr DWORD kLineInfoBytes = sizeof(MIXERLINEA);                // 168
constexpr DWORD kLineControlsBytes = sizeof(MIXERLINECONTROLSA);    // 24
constexpr DWORD kControlBytes = sizeof(MIXERCONTROLA);              // 148
constexpr UINT kCapsBytes = sizeof(MIXERCAPSA);                     // 48

HMIXEROBJ ById(UINT mixerId) {
    return reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(mixerId));
}

// Drivers may fill a name to its last character.
void TerminateNames(MIXERLINEA& info) {
    info.szShortName[sizeof info.szShortName - 1] = '\0';
    info.szName[sizeof info.szName - 1] = '\0';
    info.Target.szPname[sizeof info.Target.szPname - 1] = '\0';
}

bool OfType(const MIXERLINEA& line, DWORD componentType) {
    return line.dwComponentType == componentType;
}

bool OfLine(const MIXERLINEA& line, DWORD lineId) { return line.dwLineID == lineId; }

}  // namespace

MixerDevice::MixerDevice(const MixerApi& api) : api(&api) {}

MixerDevice::~MixerDevice() { Clear(); }

void MixerDevice::Clear() {
    if (handle) api->mixerClose(handle);
    handle = nullptr;
    controls.clear();
    destinations.clear();
    caps = MIXERCAPSA{};
    silentSourceCount = 0;
}

bool MixerDevice::ReadCaps(UINT id) {
    MMRESULT result = api->mixerGetDevCapsA(id, &caps, kCapsBytes);
    if (result != MMSYSERR_NOERROR) {
        caps = MIXERCAPSA{};
        return false;
    }
    caps.szPname[sizeof caps.szPname - 1] = '\0';
    return true;
}

void MixerDevice::Open(HWND notifyWindow) {
    HMIXER opened = nullptr;
    MMRESULT result = api->mixerOpen(&opened, mixerId, reinterpret_cast<DWORD_PTR>(notifyWindow),
                                     0, CALLBACK_WINDOW);
    handle = result == MMSYSERR_NOERROR ? opened : nullptr;

    destinations.resize(caps.cDestinations);
    for (DWORD k = 0; k < caps.cDestinations; ++k) {
        MixerLine& destination = destinations[k];
        destination.device = this;
        destination.mixerId = mixerId;
        destination.info.cbStruct = kLineInfoBytes;
        destination.info.dwDestination = k;
        if (api->mixerGetLineInfoA(ById(mixerId), &destination.info,
                                   MIXER_OBJECTF_MIXER | MIXER_GETLINEINFOF_DESTINATION) !=
            MMSYSERR_NOERROR) {
            // Unknown line: no controls, no sources, matched by nothing.
            destination.info = MIXERLINEA{};
            destination.info.cbStruct = kLineInfoBytes;
            destination.info.dwDestination = k;
            continue;
        }
        TerminateNames(destination.info);
        destination.filled = true;
        LoadLineControls(destination);

        destination.sources.resize(destination.info.cConnections);
        for (DWORD j = 0; j < destination.info.cConnections; ++j) {
            MixerLine& source = destination.sources[j];
            source.mixerId = mixerId;
            source.info.cbStruct = kLineInfoBytes;
            source.info.dwDestination = k;
            source.info.dwSource = j;
            if (api->mixerGetLineInfoA(ById(mixerId), &source.info,
                                       MIXER_OBJECTF_MIXER | MIXER_GETLINEINFOF_SOURCE) !=
                MMSYSERR_NOERROR) {
                source.info = MIXERLINEA{};
                source.info.cbStruct = kLineInfoBytes;
                continue;  // not known to be silent either
            }
            TerminateNames(source.info);
            source.filled = true;
            LoadLineControls(source);
            if (source.info.cControls == 0) AddSilentSource(source.info.dwLineID);
        }
    }
}

void MixerDevice::LoadLineControls(MixerLine& line) {
    LineControls& list = line.lineControls;
    list.count = line.info.cControls;
    list.channels = line.info.cChannels;
    if (list.count == 0) return;
    list.controls.reset(new MIXERCONTROLA[list.count]());

    MIXERLINECONTROLSA request{};
    request.cbStruct = kLineControlsBytes;
    request.dwLineID = line.info.dwLineID;
    request.cControls = list.count;
    request.cbmxctrl = kControlBytes;
    request.pamxctrl = list.controls.get();
    if (api->mixerGetLineControlsA(ById(mixerId), &request,
                                   MIXER_OBJECTF_MIXER | MIXER_GETLINECONTROLSF_ALL) !=
        MMSYSERR_NOERROR) {
        list.count = 0;
        list.controls.reset();
        return;
    }
    for (DWORD c = 0; c < list.count; ++c) {
        MIXERCONTROLA& info = list.controls[c];
        info.szShortName[sizeof info.szShortName - 1] = '\0';
        info.szName[sizeof info.szName - 1] = '\0';
        // A second control under an identifier already seen is not reachable by it: keep the first.
        if (controls.count(info.dwControlID) != 0) continue;
        controls.emplace(info.dwControlID, std::make_unique<MixerControl>(
                                               *api, mixerId, line.info, list.channels, info));
    }
}

void MixerDevice::AddSilentSource(DWORD lineId) {
    silentSources[silentSourceCount] = lineId;
    ++silentSourceCount;
    if (silentSourceCount == kSilentSourcePlaces) silentSourceCount = kSilentSourceLimit;
}

MixerControl* MixerDevice::FindControl(DWORD controlId) {
    auto found = controls.find(controlId);
    return found == controls.end() ? nullptr : found->second.get();
}

void MixerDevice::AttachMatching(bool (*matches)(const MIXERLINEA&, DWORD), DWORD key,
                                 MixerListener& listener) {
    // The map may not change while the listener runs (it only attaches), so iterating is safe.
    for (auto& entry : controls) {
        MixerControl& control = *entry.second;
        if (matches(control.Line(), key)) listener.ControlAdded(handle, &control);
    }
    listener.ControlAdded(handle, nullptr);
}

void MixerDevice::AttachControlsOfType(DWORD componentType, MixerListener& listener) {
    AttachMatching(OfType, componentType, listener);
    listener.ExcludeSources(handle, silentSources, silentSourceCount);
}

void MixerDevice::AttachControlsOfLine(DWORD lineId, MixerListener& listener) {
    AttachMatching(OfLine, lineId, listener);
}

void MixerDevice::OnLineChange(DWORD lineId) {
    for (MixerLine& destination : destinations) {
        if (!destination.filled || destination.info.dwLineID != lineId) continue;
        // Read into a copy: a failed read must not overwrite what we know.
        MIXERLINEA fresh = destination.info;
        fresh.cbStruct = kLineInfoBytes;
        if (api->mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(handle), &fresh,
                                   MIXER_OBJECTF_HANDLE | MIXER_GETLINEINFOF_DESTINATION) !=
            MMSYSERR_NOERROR)
            continue;
        TerminateNames(fresh);
        destination.info = fresh;
    }
}

void MixerDevice::OnControlChange(DWORD controlId) {
    MixerControl* control = FindControl(controlId);
    if (control) control->Refresh(handle);
}
