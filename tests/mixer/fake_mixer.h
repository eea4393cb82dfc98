// A simulated set of mixers behind the MixerApi seam, for the cards the bench's Wine cannot
// show (a MUX over sources, a MIXER selector, hundreds of sources, one card behind two waveIn
// devices, drivers whose queries fail). One process-wide system; tests rebuild it in SetUp.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "mixer/mixer_api.h"

namespace fake {

struct Control {
    MIXERCONTROLA info{};
    std::vector<DWORD> values;  // channels x items, as the platform lays them out
    std::vector<MIXERCONTROLDETAILS_LISTTEXTA> items;
};

struct Line {
    MIXERLINEA info{};
    std::vector<Control> controls;
};

struct Destination {
    Line line;
    std::vector<Line> sources;
};

struct Card {
    std::string name;
    std::vector<Destination> destinations;
    bool failCaps = false;
    bool failOpen = false;
};

struct Write {
    DWORD controlId;
    std::vector<DWORD> values;
};

struct System {
    std::vector<Card> cards;           // index = mixer id
    std::vector<int> waveInMixers;     // mixer id serving each waveIn index, -1 for none
    std::map<DWORD, UINT> otherCounts;  // device counts for the other kinds, by object flag

    // Queries that fail (after scribbling over their output).
    std::vector<DWORD> failLineInfoOf;      // destination indexes whose line info fails
    std::vector<DWORD> failControlsOfLine;  // line ids whose control list fails
    std::vector<DWORD> failListTextOf;      // control ids whose item names fail
    bool failLineReread = false;            // line info through a handle fails
    // Values the driver stores instead of those written (control id -> adjusted value).
    std::map<DWORD, DWORD> adjustOnWrite;

    // What the model asked.
    std::vector<DWORD> getIdKinds;
    std::vector<std::pair<DWORD_PTR, DWORD>> opens;  // callback, flags
    int closes = 0;
    int valueReads = 0;
    int lineRereads = 0;
    std::vector<Write> writes;
    std::vector<MIXERCONTROLDETAILS> listTextRequests;
    bool structureQueryByHandle = false;  // a line or control query used a handle
};

// The current system, emptied by Reset.
System& Current();
void Reset();
// The seam table routed to the current system.
const MixerApi& Api();
// The handle the fake gives mixer `id`.
HMIXER HandleOf(UINT id);

// Builders.
Control Volume(DWORD id, const char* name, DWORD minimum = 0, DWORD maximum = 65535,
               DWORD steps = 65536, DWORD channels = 1, DWORD value = 0);
Control Mute(DWORD id, const char* name, DWORD value = 0);
// A MUX (or another list type) over (line id, name) items with item `selected` set.
Control Selector(DWORD id, DWORD type, const std::vector<std::pair<DWORD, std::string>>& items,
                 int selected);
Control Other(DWORD id, DWORD type, const char* name);
Line MakeLine(DWORD lineId, DWORD componentType, const char* name, DWORD channels,
              std::vector<Control> controls);

// Appends a destination with its sources, numbering them and counting the connections.
void AddDestination(Card& card, Line line, std::vector<Line> sources = {});

// Finds a control anywhere in the current system.
Control* FindControl(UINT mixerId, DWORD controlId);

}  // namespace fake
