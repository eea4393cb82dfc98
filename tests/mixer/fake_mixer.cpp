// The simulated mixers: the winmm mixer calls answered from fake::Current().
#include "tests/mixer/fake_mixer.h"

#include <algorithm>
#include <cstring>

namespace fake {
namespace {

System currentSystem;
constexpr UINT_PTR kHandleBase = 0x5000;
constexpr unsigned char kScribble = 0xCC;  // what a failing driver leaves in the output

bool Contains(const std::vector<DWORD>& list, DWORD value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// The mixer an object names: a handle with MIXER_OBJECTF_HANDLE, an id otherwise.
bool Resolve(HMIXEROBJ object, DWORD flags, UINT& id) {
    UINT_PTR raw = reinterpret_cast<UINT_PTR>(object);
    if ((flags & MIXER_OBJECTF_HANDLE) != 0) {
        if (raw < kHandleBase) return false;
        raw -= kHandleBase;
    }
    if (raw >= currentSystem.cards.size()) return false;
    id = static_cast<UINT>(raw);
    return true;
}

Line* FindLine(UINT id, DWORD lineId) {
    for (Destination& destination : currentSystem.cards[id].destinations) {
        if (destination.line.info.dwLineID == lineId) return &destination.line;
        for (Line& source : destination.sources)
            if (source.info.dwLineID == lineId) return &source;
    }
    return nullptr;
}

UINT WINAPI CountMixers() { return static_cast<UINT>(currentSystem.cards.size()); }
UINT WINAPI CountWaveIn() { return static_cast<UINT>(currentSystem.waveInMixers.size()); }
UINT WINAPI CountWaveOut() { return currentSystem.otherCounts[MIXER_OBJECTF_WAVEOUT]; }
UINT WINAPI CountMidiOut() { return currentSystem.otherCounts[MIXER_OBJECTF_MIDIOUT]; }
UINT WINAPI CountMidiIn() { return currentSystem.otherCounts[MIXER_OBJECTF_MIDIIN]; }
UINT WINAPI CountAux() { return currentSystem.otherCounts[MIXER_OBJECTF_AUX]; }

MMRESULT WINAPI GetId(HMIXEROBJ object, UINT* id, DWORD flags) {
    currentSystem.getIdKinds.push_back(flags);
    UINT_PTR index = reinterpret_cast<UINT_PTR>(object);
    if (flags == MIXER_OBJECTF_WAVEIN && index < currentSystem.waveInMixers.size()) {
        int mixer = currentSystem.waveInMixers[index];
        *id = static_cast<UINT>(mixer);
        return mixer < 0 ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR;
    }
    if (flags == MIXER_OBJECTF_MIXER && index < currentSystem.cards.size()) {
        *id = static_cast<UINT>(index);
        return MMSYSERR_NOERROR;
    }
    *id = static_cast<UINT>(-1);
    return MMSYSERR_NODRIVER;
}

MMRESULT WINAPI GetDevCaps(UINT_PTR id, MIXERCAPSA* caps, UINT bytes) {
    if (id >= currentSystem.cards.size() || bytes != sizeof(MIXERCAPSA)) return MMSYSERR_BADDEVICEID;
    const Card& card = currentSystem.cards[id];
    if (card.failCaps) {
        std::memset(caps, kScribble, bytes);
        return MMSYSERR_ERROR;
    }
    *caps = MIXERCAPSA{};
    // A long name fills the field without a terminating zero, as some drivers do.
    std::memcpy(caps->szPname, card.name.c_str(), std::min(card.name.size(), sizeof caps->szPname));
    caps->cDestinations = static_cast<DWORD>(card.destinations.size());
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI Open(HMIXER* handle, UINT id, DWORD_PTR callback, DWORD_PTR, DWORD flags) {
    currentSystem.opens.emplace_back(callback, flags);
    if (id >= currentSystem.cards.size() || currentSystem.cards[id].failOpen) {
        *handle = reinterpret_cast<HMIXER>(static_cast<UINT_PTR>(0xBAD));
        return MMSYSERR_ALLOCATED;
    }
    *handle = HandleOf(id);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI Close(HMIXER) {
    ++currentSystem.closes;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI GetLineInfo(HMIXEROBJ object, MIXERLINEA* info, DWORD flags) {
    UINT id = 0;
    if (!Resolve(object, flags, id) || info->cbStruct != sizeof(MIXERLINEA)) return MMSYSERR_INVALHANDLE;
    bool byHandle = (flags & MIXER_OBJECTF_HANDLE) != 0;
    if (byHandle) ++currentSystem.lineRereads;
    Card& card = currentSystem.cards[id];
    DWORD query = flags & MIXER_GETLINEINFOF_QUERYMASK;
    DWORD k = info->dwDestination;
    if (k >= card.destinations.size()) return MIXERR_INVALLINE;
    bool fail = (byHandle && currentSystem.failLineReread) ||
                (!byHandle && Contains(currentSystem.failLineInfoOf, k));
    if (fail) {
        std::memset(info, kScribble, sizeof *info);
        info->cbStruct = sizeof(MIXERLINEA);
        return MMSYSERR_ERROR;
    }
    if (query == MIXER_GETLINEINFOF_DESTINATION) {
        *info = card.destinations[k].line.info;
    } else if (query == MIXER_GETLINEINFOF_SOURCE) {
        DWORD j = info->dwSource;
        if (j >= card.destinations[k].sources.size()) return MIXERR_INVALLINE;
        *info = card.destinations[k].sources[j].info;
    } else {
        return MMSYSERR_NOTSUPPORTED;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI GetLineControls(HMIXEROBJ object, MIXERLINECONTROLSA* request, DWORD flags) {
    UINT id = 0;
    if ((flags & MIXER_OBJECTF_HANDLE) != 0) currentSystem.structureQueryByHandle = true;
    if (!Resolve(object, flags, id)) return MMSYSERR_INVALHANDLE;
    if (request->cbStruct != sizeof(MIXERLINECONTROLSA) || request->cbmxctrl != sizeof(MIXERCONTROLA))
        return MMSYSERR_INVALPARAM;
    Line* line = FindLine(id, request->dwLineID);
    if (!line || request->cControls != line->controls.size()) return MIXERR_INVALLINE;
    if (Contains(currentSystem.failControlsOfLine, line->info.dwLineID)) {
        std::memset(request->pamxctrl, kScribble, sizeof(MIXERCONTROLA) * request->cControls);
        return MMSYSERR_ERROR;
    }
    for (size_t c = 0; c < line->controls.size(); ++c) request->pamxctrl[c] = line->controls[c].info;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI GetDetails(HMIXEROBJ object, MIXERCONTROLDETAILS* details, DWORD flags) {
    UINT id = 0;
    if (!Resolve(object, flags, id)) return MMSYSERR_INVALHANDLE;
    Control* control = FindControl(id, details->dwControlID);
    if (!control) return MIXERR_INVALCONTROL;
    DWORD query = flags & MIXER_GETCONTROLDETAILSF_QUERYMASK;
    DWORD itemCount = details->cMultipleItems == 0 ? 1 : details->cMultipleItems;
    size_t entries = static_cast<size_t>(details->cChannels) * itemCount;
    if (query == MIXER_GETCONTROLDETAILSF_LISTTEXT) {
        if ((flags & MIXER_OBJECTF_HANDLE) != 0) currentSystem.structureQueryByHandle = true;
        currentSystem.listTextRequests.push_back(*details);
        if (Contains(currentSystem.failListTextOf, details->dwControlID)) {
            std::memset(details->paDetails, kScribble, entries * sizeof(MIXERCONTROLDETAILS_LISTTEXTA));
            return MMSYSERR_ERROR;
        }
        if (entries != control->items.size()) return MMSYSERR_INVALPARAM;
        std::memcpy(details->paDetails, control->items.data(), entries * sizeof(MIXERCONTROLDETAILS_LISTTEXTA));
        return MMSYSERR_NOERROR;
    }
    ++currentSystem.valueReads;
    if (details->cbDetails != 4 || entries != control->values.size()) return MMSYSERR_INVALPARAM;
    std::memcpy(details->paDetails, control->values.data(), entries * 4);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI SetDetails(HMIXEROBJ object, MIXERCONTROLDETAILS* details, DWORD flags) {
    UINT id = 0;
    if (!Resolve(object, flags, id)) return MMSYSERR_INVALHANDLE;
    Control* control = FindControl(id, details->dwControlID);
    if (!control) return MIXERR_INVALCONTROL;
    DWORD itemCount = details->cMultipleItems == 0 ? 1 : details->cMultipleItems;
    size_t entries = static_cast<size_t>(details->cChannels) * itemCount;
    if (details->cbDetails != 4 || entries != control->values.size()) return MMSYSERR_INVALPARAM;
    const DWORD* values = static_cast<const DWORD*>(details->paDetails);
    currentSystem.writes.push_back(Write{details->dwControlID, std::vector<DWORD>(values, values + entries)});
    control->values.assign(values, values + entries);
    auto adjusted = currentSystem.adjustOnWrite.find(details->dwControlID);
    if (adjusted != currentSystem.adjustOnWrite.end())
        std::fill(control->values.begin(), control->values.end(), adjusted->second);
    return MMSYSERR_NOERROR;
}

const MixerApi fakeApi = {
    CountMixers, CountWaveOut, CountWaveIn, CountMidiOut, CountMidiIn, CountAux,
    GetId, GetDevCaps, Open, Close, GetLineInfo, GetLineControls, GetDetails, SetDetails,
};

void CopyName(char* target, size_t size, const char* name) {
    std::strncpy(target, name, size - 1);
    target[size - 1] = '\0';
}

}  // namespace

System& Current() { return currentSystem; }
void Reset() { currentSystem = System(); }
const MixerApi& Api() { return fakeApi; }
HMIXER HandleOf(UINT id) { return reinterpret_cast<HMIXER>(kHandleBase + id); }

Control* FindControl(UINT mixerId, DWORD controlId) {
    if (mixerId >= currentSystem.cards.size()) return nullptr;
    for (Destination& destination : currentSystem.cards[mixerId].destinations) {
        for (Control& control : destination.line.controls)
            if (control.info.dwControlID == controlId) return &control;
        for (Line& source : destination.sources)
            for (Control& control : source.controls)
                if (control.info.dwControlID == controlId) return &control;
    }
    return nullptr;
}

Control Volume(DWORD id, const char* name, DWORD minimum, DWORD maximum, DWORD steps,
               DWORD channels, DWORD value) {
    Control control;
    control.info.cbStruct = sizeof(MIXERCONTROLA);
    control.info.dwControlID = id;
    control.info.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    control.info.fdwControl = channels == 1 ? MIXERCONTROL_CONTROLF_UNIFORM : 0;
    CopyName(control.info.szName, sizeof control.info.szName, name);
    control.info.Bounds.dwMinimum = minimum;
    control.info.Bounds.dwMaximum = maximum;
    control.info.Metrics.cSteps = steps;
    control.values.assign(channels, value);
    return control;
}

Control Mute(DWORD id, const char* name, DWORD value) {
    Control control;
    control.info.cbStruct = sizeof(MIXERCONTROLA);
    control.info.dwControlID = id;
    control.info.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
    control.info.fdwControl = MIXERCONTROL_CONTROLF_UNIFORM;
    CopyName(control.info.szName, sizeof control.info.szName, name);
    control.info.Bounds.dwMaximum = 1;
    control.values.assign(1, value);
    return control;
}

Control Selector(DWORD id, DWORD type, const std::vector<std::pair<DWORD, std::string>>& items,
                 int selected) {
    Control control;
    control.info.cbStruct = sizeof(MIXERCONTROLA);
    control.info.dwControlID = id;
    control.info.dwControlType = type;
    control.info.fdwControl = MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE;
    control.info.cMultipleItems = static_cast<DWORD>(items.size());
    CopyName(control.info.szName, sizeof control.info.szName, "Recording Source");
    control.values.assign(items.size(), 0);
    if (selected >= 0) control.values[selected] = 1;
    for (const auto& item : items) {
        MIXERCONTROLDETAILS_LISTTEXTA text{};
        text.dwParam1 = item.first;
        text.dwParam2 = MIXERLINE_COMPONENTTYPE_SRC_LINE;
        CopyName(text.szName, sizeof text.szName, item.second.c_str());
        control.items.push_back(text);
    }
    return control;
}

Control Other(DWORD id, DWORD type, const char* name) {
    Control control;
    control.info.cbStruct = sizeof(MIXERCONTROLA);
    control.info.dwControlID = id;
    control.info.dwControlType = type;
    control.info.fdwControl = MIXERCONTROL_CONTROLF_UNIFORM;
    CopyName(control.info.szName, sizeof control.info.szName, name);
    control.values.assign(1, 0);
    return control;
}

Line MakeLine(DWORD lineId, DWORD componentType, const char* name, DWORD channels,
              std::vector<Control> controls) {
    Line line;
    line.info.cbStruct = sizeof(MIXERLINEA);
    line.info.dwLineID = lineId;
    line.info.dwComponentType = componentType;
    line.info.cChannels = channels;
    line.info.cControls = static_cast<DWORD>(controls.size());
    CopyName(line.info.szName, sizeof line.info.szName, name);
    CopyName(line.info.szShortName, sizeof line.info.szShortName, name);
    line.controls = std::move(controls);
    return line;
}

void AddDestination(Card& card, Line line, std::vector<Line> sources) {
    DWORD k = static_cast<DWORD>(card.destinations.size());
    line.info.dwDestination = k;
    line.info.cConnections = static_cast<DWORD>(sources.size());
    for (DWORD j = 0; j < sources.size(); ++j) {
        sources[j].info.dwDestination = k;
        sources[j].info.dwSource = j;
    }
    card.destinations.push_back(Destination{std::move(line), std::move(sources)});
}

}  // namespace fake
