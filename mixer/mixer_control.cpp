// MixerControl: value buffers, reads, writes and item names of one mixer control.
#include "mixer/mixer_control.h"

#include <cstring>
#include <exception>

namespace {

constexpr DWORD kDetailsBytes = sizeof(MIXERCONTROLDETAILS);    // 24
constexpr DWORD kListTextBytes = sizeof(MIXERCONTROLDETAILS_LISTTEXTA);  // 72
constexpr DWORD kValueBytes = 4;  // BOOLEAN, SIGNED and UNSIGNED details are all 32-bit

}  // namespace

MixerControl::MixerControl(const MixerApi& api, UINT mixerId, const MIXERLINEA& line,
                           DWORD channels, const MIXERCONTROLA& info)
    : api(&api), line(&line), info(&info), channels(channels) {
    if (!IsListControl()) return;
    items.assign(ValueCount(), MIXERCONTROLDETAILS_LISTTEXTA{});
    MIXERCONTROLDETAILS request{};
    request.cbStruct = kDetailsBytes;
    request.dwControlID = info.dwControlID;
    request.cChannels = ChannelCount();
    request.cMultipleItems = info.cMultipleItems;
    request.cbDetails = kListTextBytes;
    request.paDetails = items.data();
    MMRESULT result = api.mixerGetControlDetailsA(
        reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(mixerId)), &request,
        MIXER_OBJECTF_MIXER | MIXER_GETCONTROLDETAILSF_LISTTEXT);
    // Names a failed query may have half written would show in the source box.
    if (result != MMSYSERR_NOERROR) items.assign(items.size(), MIXERCONTROLDETAILS_LISTTEXTA{});
    for (MIXERCONTROLDETAILS_LISTTEXTA& item : items) item.szName[sizeof item.szName - 1] = '\0';
}

DWORD MixerControl::ChannelCount() const {
    return (info->fdwControl & kControlUniform) ? 1 : channels;
}

DWORD MixerControl::ItemCount() const {
    return info->cMultipleItems == 0 ? 1 : info->cMultipleItems;
}

bool MixerControl::IsListControl() const {
    switch (info->dwControlType) {
    case kControlTypeSingleSelect:
    case kControlTypeMux:
    case kControlTypeMultipleSelect:
    case kControlTypeMixer:
    case kControlTypeEqualizer:
        return true;
    default:
        return false;
    }
}

void MixerControl::HideItem(int32_t k) {
    if (k >= 0 && k < ItemEntries()) items[k].szName[0] = '\0';
}

void MixerControl::Attach(MixerListener* newListener) {
    listener = newListener;
    ++attachCount;
    if (attachCount != 1) return;
    details = MIXERCONTROLDETAILS{};
    details.cbStruct = kDetailsBytes;
    details.dwControlID = info->dwControlID;
    details.cChannels = ChannelCount();
    details.cMultipleItems = info->cMultipleItems;
    details.cbDetails = kValueBytes;
    try {
        readBuffer.assign(ValueCount(), 0);
        shadow.assign(ValueCount(), 0);
    } catch (const std::exception&) {
        // Without buffers the control stays attached but inert, as if it had no values.
        readBuffer = std::vector<DWORD>();
        shadow = std::vector<DWORD>();
    }
    valueBytes = static_cast<DWORD>(shadow.size()) * kValueBytes;
    details.paDetails = readBuffer.empty() ? nullptr : readBuffer.data();
    shadowValid = false;
}

void MixerControl::Detach() {
    --attachCount;
    if (attachCount == 0) {
        readBuffer = std::vector<DWORD>();
        shadow = std::vector<DWORD>();
        valueBytes = 0;
        details.paDetails = nullptr;
        listener = nullptr;
    }
    if (attachCount < 0) attachCount = 0;
}

void MixerControl::Refresh(HMIXER handle) {
    if (valueBytes == 0) return;
    MMRESULT result = api->mixerGetControlDetailsA(
        reinterpret_cast<HMIXEROBJ>(handle), &details,
        MIXER_OBJECTF_HANDLE | MIXER_GETCONTROLDETAILSF_VALUE);
    // A failed read has nothing to report: the values last seen stay shown.
    if (result != MMSYSERR_NOERROR) return;
    if (shadowValid && std::memcmp(readBuffer.data(), shadow.data(), valueBytes) == 0) return;
    shadowValid = true;
    std::memcpy(shadow.data(), readBuffer.data(), valueBytes);
    if (listener) listener->ControlChanged(handle, info->dwControlID);
}

void MixerControl::Apply(HMIXER handle) {
    if (valueBytes == 0) return;
    if (std::memcmp(shadow.data(), readBuffer.data(), valueBytes) == 0) return;
    std::memcpy(readBuffer.data(), shadow.data(), valueBytes);
    api->mixerSetControlDetails(reinterpret_cast<HMIXEROBJ>(handle), &details,
                                MIXER_OBJECTF_HANDLE | MIXER_SETCONTROLDETAILSF_VALUE);
}

void MixerControl::FillComboBox(HWND comboBox) const {
    for (const MIXERCONTROLDETAILS_LISTTEXTA& item : items) {
        if (item.szName[0] == '\0') continue;
        LRESULT entry = SendMessageA(comboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.szName));
        if (entry < 0) continue;  // CB_ERR or CB_ERRSPACE
        SendMessageA(comboBox, CB_SETITEMDATA, static_cast<WPARAM>(entry), item.dwParam1);
    }
}
