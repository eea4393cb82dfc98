// MixerDeviceList: enumeration of the mixers behind the devices of one kind, and the routing
// of the mixers' change messages to the device concerned.
#include "mixer/mixer_device_list.h"

#include <cstring>
#include <exception>

#include "mixer/mixer_log.h"

namespace {

constexpr UINT kNoMixer = static_cast<UINT>(-1);

// Closes the log however the enumeration ends.
class LogSession {
public:
    LogSession() { processMixerLog.CreateLog(); }  // a missing log is not an error
    ~LogSession() { processMixerLog.CloseLog(); }
    LogSession(const LogSession&) = delete;
    LogSession& operator=(const LogSession&) = delete;
};

}  // namespace

MixerDeviceList::MixerDeviceList(const MixerApi& api) : api(api) {}

UINT MixerDeviceList::DeviceCount(DWORD kind) const {
    switch (kind) {
    case kMixerKindMixer: return api.mixerGetNumDevs();
    case kMixerKindWaveOut: return api.waveOutGetNumDevs();
    case kMixerKindWaveIn: return api.waveInGetNumDevs();
    case kMixerKindMidiOut: return api.midiOutGetNumDevs();
    case kMixerKindMidiIn: return api.midiInGetNumDevs();
    case kMixerKindAux: return api.auxGetNumDevs();
    default: return 0;
    }
}

void MixerDeviceList::Enumerate(DWORD kind, HWND notifyWindow, const MixerFilter& filter) {
    LogSession log;
    devices.clear();
    count = 0;

    UINT n = DeviceCount(kind);
    try {
        devices.reserve(n);
        for (UINT d = 0; d < n; ++d) devices.push_back(std::make_unique<MixerDevice>(api));
    } catch (const std::exception&) {
        devices.clear();
        n = 0;  // no memory for the slots: no devices, and nothing to log
    }
    count = static_cast<int32_t>(n);

    UINT i = 0;  // next free slot; d - i indexes have been skipped
    for (UINT d = 0; d < n; ++d) {
        MixerDevice& slot = *devices[i];
        UINT id = kNoMixer;
        if (api.mixerGetID(reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(d)), &id, kind) !=
            MMSYSERR_NOERROR)
            id = kNoMixer;
        slot.mixerId = id;
        processMixerLog.Print("Mixer id[%d]= %d\n", static_cast<int>(d), static_cast<int>(id));

        bool skip = id == kNoMixer;
        for (UINT earlier = 0; earlier < i && !skip; ++earlier)
            skip = devices[earlier]->mixerId == id;
        // Without capabilities the device has no name and no known lines.
        if (!skip) skip = !slot.ReadCaps(id);
        if (!skip && filter) skip = filter(slot.caps);
        if (!skip) {
            try {
                slot.Open(notifyWindow);
            } catch (const std::exception&) {
                skip = true;  // out of memory for its lines or controls
            }
        }
        if (skip) {
            slot.Clear();  // the slot stays free for the next index
            continue;
        }
        ++i;
    }
    count = static_cast<int32_t>(i);
}

MixerDevice* MixerDeviceList::FindByName(const char* name) {
    for (int32_t k = 0; k < count; ++k)
        if (std::strcmp(devices[k]->Name(), name) == 0) return devices[k].get();
    return nullptr;
}

MixerDevice* MixerDeviceList::FindByHandle(HMIXER handle) {
    // A device whose open failed has no handle and gets no messages.
    if (!handle) return nullptr;
    for (int32_t k = 0; k < count; ++k)
        if (devices[k]->handle == handle) return devices[k].get();
    return nullptr;
}

void MixerDeviceList::OnLineChange(HMIXER handle, DWORD lineId) {
    MixerDevice* device = FindByHandle(handle);
    if (device) device->OnLineChange(lineId);
}

void MixerDeviceList::OnControlChange(HMIXER handle, DWORD controlId) {
    MixerDevice* device = FindByHandle(handle);
    if (device) device->OnControlChange(controlId);
}
