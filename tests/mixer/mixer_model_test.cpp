// The mixer model against simulated cards: enumeration, lines and controls, value buffers,
// change messages, and queries that fail.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mixer/mixer_device_list.h"
#include "mixer/mixer_log.h"
#include "tests/mixer/fake_mixer.h"

namespace {

constexpr DWORD kEndOfSet = 0xFFFFFFFF;
constexpr DWORD kSpeakersLine = 0xFFFF0000;
constexpr DWORD kRecordingLine = 0xFFFF0001;
constexpr DWORD kMicLine = 0x1000;
constexpr DWORD kCdLine = 0x1001;

// Records what the model hands over; attaches what it is given when asked to.
class RecordingListener : public MixerListener {
public:
    explicit RecordingListener(bool attach = false) : attach(attach) {}
    ~RecordingListener() override {
        for (MixerControl* control : held) control->Detach();
    }
    void ControlAdded(HMIXER handle, MixerControl* control) override {
        handles.push_back(handle);
        added.push_back(control ? control->Info().dwControlID : kEndOfSet);
        if (control && attach) {
            control->Attach(this);
            held.push_back(control);
        }
    }
    void ControlChanged(HMIXER, DWORD controlId) override { changed.push_back(controlId); }
    void ExcludeSources(HMIXER, const DWORD* lineIds, int32_t count) override {
        excluded.emplace_back(lineIds, lineIds + count);
    }

    bool attach;
    std::vector<HMIXER> handles;
    std::vector<DWORD> added;
    std::vector<DWORD> changed;
    std::vector<std::vector<DWORD>> excluded;
    std::vector<MixerControl*> held;
};

// A card with speakers (one VOLUME) and a recording destination whose MUX and VOLUME have
// lower ids than the speakers' control, over a microphone and a control-less CD line.
fake::Card TypicalCard(const char* name) {
    fake::Card card;
    card.name = name;
    fake::AddDestination(card, fake::MakeLine(kSpeakersLine, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                                              "Speakers", 2, {fake::Volume(9, "Master")}));
    fake::AddDestination(
        card,
        fake::MakeLine(kRecordingLine, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", 2,
                       {fake::Selector(3, MIXERCONTROL_CONTROLTYPE_MUX,
                                       {{kMicLine, "Microphone"}, {kCdLine, "CD Player"}}, 0),
                        fake::Volume(1, "Recording Volume")}),
        {fake::MakeLine(kMicLine, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", 1,
                        {fake::Volume(5, "Mic Volume"), fake::Mute(6, "Mic Mute")}),
         fake::MakeLine(kCdLine, MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Player", 2, {})});
    return card;
}

class MixerModelTest : public ::testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
    void TearDown() override {
        DeleteFileA(kMixerLogPath);
        fake::Reset();
    }
    // One waveIn device per card, in card order.
    void UseCards(std::vector<fake::Card> cards) {
        fake::System& system = fake::Current();
        system.cards = std::move(cards);
        for (size_t id = 0; id < system.cards.size(); ++id)
            system.waveInMixers.push_back(static_cast<int>(id));
    }
    HWND notifyWindow = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x1234));
};

TEST_F(MixerModelTest, CountsTheDevicesOfTheRequestedKind) {
    fake::System& system = fake::Current();
    system.cards.resize(4);
    system.waveInMixers = {-1, -1};
    system.otherCounts = {{MIXER_OBJECTF_WAVEOUT, 1}, {MIXER_OBJECTF_MIDIOUT, 5},
                          {MIXER_OBJECTF_MIDIIN, 3}, {MIXER_OBJECTF_AUX, 6}};
    struct Case {
        DWORD kind;
        size_t indexes;
    };
    const Case cases[] = {
        {kMixerKindMixer, 4}, {kMixerKindWaveOut, 1}, {kMixerKindWaveIn, 2},
        {kMixerKindMidiOut, 5}, {kMixerKindMidiIn, 3}, {kMixerKindAux, 6},
        {0x60000000, 0},  // not a kind: nothing is counted or asked
    };
    for (const Case& c : cases) {
        system.getIdKinds.clear();
        MixerDeviceList devices(fake::Api());
        devices.Enumerate(c.kind, notifyWindow);
        EXPECT_EQ(system.getIdKinds, std::vector<DWORD>(c.indexes, c.kind)) << std::hex << c.kind;
    }
}

TEST_F(MixerModelTest, OneCardBehindTwoWaveInDevicesIsOneDevice) {
    UseCards({TypicalCard("Card A"), TypicalCard("Card B")});
    fake::Current().waveInMixers = {0, 0, 1};
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, notifyWindow);

    ASSERT_EQ(devices.Count(), 2);
    EXPECT_STREQ(devices.Item(0).Name(), "Card A");
    EXPECT_STREQ(devices.Item(1).Name(), "Card B");
    EXPECT_EQ(devices.Item(0).Handle(), fake::HandleOf(0));
    EXPECT_EQ(devices.Item(1).MixerId(), 1u);
    // Opened once each, with change messages going to the window.
    ASSERT_EQ(fake::Current().opens.size(), 2u);
    for (const auto& open : fake::Current().opens) {
        EXPECT_EQ(open.first, reinterpret_cast<DWORD_PTR>(notifyWindow));
        EXPECT_EQ(open.second, static_cast<DWORD>(CALLBACK_WINDOW));
    }
}

TEST_F(MixerModelTest, SkippedIndexesLeaveTheirSlotToTheNext) {
    UseCards({TypicalCard("Card A"), TypicalCard("Card B"), TypicalCard("Card C")});
    fake::System& system = fake::Current();
    system.waveInMixers = {-1, 1, 1, 0, 2};
    system.cards[2].failCaps = true;  // no name, no lines: not a usable device

    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, notifyWindow);
    ASSERT_EQ(devices.Count(), 2);
    EXPECT_STREQ(devices.Item(0).Name(), "Card B");
    EXPECT_STREQ(devices.Item(1).Name(), "Card A");
    EXPECT_EQ(system.opens.size(), 2u);

    // The filter sees the capabilities and leaves out what it accepts. A left-out mixer holds
    // no slot, so its second waveIn device asks the filter again.
    std::vector<std::string> seen;
    devices.Enumerate(kMixerKindWaveIn, notifyWindow, [&seen](const MIXERCAPSA& caps) {
        seen.emplace_back(caps.szPname);
        return std::string(caps.szPname) == "Card B";
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"Card B", "Card B", "Card A"}));
    ASSERT_EQ(devices.Count(), 1);
    EXPECT_STREQ(devices.Item(0).Name(), "Card A");
    EXPECT_EQ(devices.FindByName("Card B"), nullptr);
    EXPECT_EQ(devices.FindByName("Card A"), &devices.Item(0));
}

TEST_F(MixerModelTest, EnumeratingAgainClosesTheEarlierDevices) {
    UseCards({TypicalCard("Card A"), TypicalCard("Card B")});
    {
        MixerDeviceList devices(fake::Api());
        devices.Enumerate(kMixerKindWaveIn, notifyWindow);
        EXPECT_EQ(fake::Current().closes, 0);
        devices.Enumerate(kMixerKindWaveIn, notifyWindow);
        EXPECT_EQ(fake::Current().closes, 2);
        EXPECT_EQ(devices.Count(), 2);
    }
    EXPECT_EQ(fake::Current().closes, 4);
}

TEST_F(MixerModelTest, NamesThatFillTheirFieldAreCut) {
    UseCards({TypicalCard("A card name longer than thirty-one characters")});
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, notifyWindow);
    ASSERT_EQ(devices.Count(), 1);
    EXPECT_STREQ(devices.Item(0).Name(), "A card name longer than thirty-");
}

TEST_F(MixerModelTest, HandsOverControlsInIdentifierOrder) {
    UseCards({TypicalCard("Card A")});
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, notifyWindow);
    MixerDevice& device = devices.Item(0);

    RecordingListener recording;
    device.AttachControlsOfType(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, recording);
    EXPECT_EQ(recording.added, (std::vector<DWORD>{1, 3, kEndOfSet}));
    EXPECT_EQ(recording.handles, std::vector<HMIXER>(3, device.Handle()));
    EXPECT_EQ(recording.excluded, (std::vector<std::vector<DWORD>>{{kCdLine}}));

    RecordingListener speakers;
    device.AttachControlsOfType(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, speakers);
    EXPECT_EQ(speakers.added, (std::vector<DWORD>{9, kEndOfSet}));

    RecordingListener mic;
    device.AttachControlsOfLine(kMicLine, mic);
    EXPECT_EQ(mic.added, (std::vector<DWORD>{5, 6, kEndOfSet}));
    EXPECT_TRUE(mic.excluded.empty());

    RecordingListener nothing;
    device.AttachControlsOfLine(0x4242, nothing);
    EXPECT_EQ(nothing.added, std::vector<DWORD>{kEndOfSet});

    // Structures are read by mixer id; only values go through the handle.
    EXPECT_FALSE(fake::Current().structureQueryByHandle);
    EXPECT_EQ(device.FindControl(5)->Line().dwLineID, kMicLine);
}

TEST_F(MixerModelTest, ReportsAtMost127SilentSources) {
    fake::Card card;
    card.name = "Many inputs";
    std::vector<fake::Line> sources;
    for (DWORD j = 0; j < 200; ++j)
        sources.push_back(fake::MakeLine(0x2000 + j, MIXERLINE_COMPONENTTYPE_SRC_LINE, "In", 2, {}));
    fake::AddDestination(card,
                         fake::MakeLine(kRecordingLine, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Rec", 2,
                                        {fake::Volume(1, "Volume")}),
                         std::move(sources));
    UseCards({card});
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, notifyWindow);

    RecordingListener listener;
    devices.Item(0).AttachControlsOfType(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, listener);
    ASSERT_EQ(listener.excluded.size(), 1u);
    ASSERT_EQ(listener.excluded[0].size(), 127u);
    EXPECT_EQ(listener.excluded[0].front(), 0x2000u);
    EXPECT_EQ(listener.excluded[0].back(), 0x2000u + 126);
}

TEST_F(MixerModelTest, FailedQueriesLeaveNothingThatLooksRead) {
    fake::Card card = TypicalCard("Card A");
    fake::AddDestination(card, fake::MakeLine(0xFFFF0002, MIXERLINE_COMPONENTTYPE_DST_LINE, "Line", 2,
                                              {fake::Volume(20, "Line Volume")}));
    UseCards({card});
    fake::System& system = fake::Current();
    system.failLineInfoOf = {2};         // the line destination
    system.failControlsOfLine = {kMicLine};
    system.failListTextOf = {3};         // the MUX

    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, notifyWindow);
    ASSERT_EQ(devices.Count(), 1);
    MixerDevice& device = devices.Item(0);

    const MixerLine& unread = device.Destinations()[2];
    EXPECT_FALSE(unread.filled);
    EXPECT_EQ(unread.lineControls.count, 0u);
    EXPECT_TRUE(unread.sources.empty());
    EXPECT_EQ(device.FindControl(20), nullptr);

    // The microphone's controls are unknown, but it has some: not silent, and nothing from
    // the scribbled array became a control.
    EXPECT_EQ(device.FindControl(5), nullptr);
    EXPECT_EQ(device.FindControl(0xCCCCCCCC), nullptr);
    RecordingListener listener;
    device.AttachControlsOfType(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, listener);
    EXPECT_EQ(listener.added, (std::vector<DWORD>{1, 3, kEndOfSet}));
    EXPECT_EQ(listener.excluded, (std::vector<std::vector<DWORD>>{{kCdLine}}));

    // The selector's names could not be read: it offers no items.
    MixerControl* mux = device.FindControl(3);
    ASSERT_NE(mux, nullptr);
    ASSERT_EQ(mux->ItemEntries(), 2);
    for (int32_t k = 0; k < mux->ItemEntries(); ++k) {
        EXPECT_STREQ(mux->Items()[k].szName, "");
        EXPECT_EQ(mux->Items()[k].dwParam1, 0u);
    }
}

TEST_F(MixerModelTest, ValueAndItemCountsFollowTheFlags) {
    fake::Card card;
    card.name = "Counts";
    fake::Control stereoVolume = fake::Volume(1, "Stereo", 0, 65535, 65536, 2);
    fake::Control uniformMute = fake::Mute(2, "Mute");
    fake::Control mux = fake::Selector(3, MIXERCONTROL_CONTROLTYPE_MUX,
                                       {{0x10, "A"}, {0x11, "B"}, {0x12, "C"}, {0x13, "D"}}, 2);
    fake::Control mixer = fake::Selector(4, MIXERCONTROL_CONTROLTYPE_MIXER, {{0x10, "A"}, {0x11, "B"}}, 0);
    mixer.info.fdwControl = MIXERCONTROL_CONTROLF_MULTIPLE;  // one value per item and channel
    mixer.values.assign(4, 0);
    mixer.items.insert(mixer.items.end(), mixer.items.begin(), mixer.items.end());
    fake::AddDestination(card, fake::MakeLine(kRecordingLine, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Rec",
                                              2, {stereoVolume, uniformMute, mux, mixer}));
    UseCards({card});
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, notifyWindow);
    MixerDevice& device = devices.Item(0);

    struct Case {
        DWORD id;
        DWORD channels, items, values;
        bool list;
    };
    const Case cases[] = {
        {1, 2, 1, 2, false},  // not uniform: one value per channel
        {2, 1, 1, 1, false},  // uniform, no items
        {3, 1, 4, 4, true},   // uniform list
        {4, 2, 2, 4, true},   // list with a value per item and channel
    };
    for (const Case& c : cases) {
        MixerControl* control = device.FindControl(c.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->ChannelCount(), c.channels) << c.id;
        EXPECT_EQ(control->ItemCount(), c.items) << c.id;
        EXPECT_EQ(control->ValueCount(), c.values) << c.id;
        EXPECT_EQ(control->IsListControl(), c.list) << c.id;
        EXPECT_EQ(control->ItemEntries(), c.list ? static_cast<int32_t>(c.values) : 0) << c.id;
    }
    // Item names are asked for through the mixer id, for channels x items entries.
    const auto& requests = fake::Current().listTextRequests;
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].cbStruct, 24u);
    EXPECT_EQ(requests[0].cChannels, 1u);
    EXPECT_EQ(requests[0].cMultipleItems, 4u);
    EXPECT_EQ(requests[0].cbDetails, 72u);
    EXPECT_EQ(requests[1].cChannels, 2u);
    EXPECT_STREQ(device.FindControl(3)->Items()[2].szName, "C");
    EXPECT_EQ(device.FindControl(3)->Items()[2].dwParam1, 0x12u);
}

TEST_F(MixerModelTest, AttachedControlsKeepValueBuffers) {
    UseCards({TypicalCard("Card A")});
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, notifyWindow);
    MixerControl& mux = *devices.Item(0).FindControl(3);
    RecordingListener listener;

    EXPECT_EQ(mux.Shadow(), nullptr);
    mux.Attach(&listener);
    mux.Attach(&listener);
    EXPECT_EQ(mux.AttachCount(), 2);
    EXPECT_EQ(mux.ValueBytes(), 8u);
    mux.Refresh(devices.Item(0).Handle());
    mux.Detach();
    ASSERT_NE(mux.Shadow(), nullptr);  // still attached once: values and validity kept
    EXPECT_TRUE(mux.ShadowValid());
    mux.Detach();
    EXPECT_EQ(mux.Shadow(), nullptr);
    EXPECT_EQ(mux.ValueBytes(), 0u);
    mux.Detach();
    EXPECT_EQ(mux.AttachCount(), 0);

    // A fresh attachment starts unread.
    mux.Attach(&listener);
    EXPECT_FALSE(mux.ShadowValid());
    mux.Detach();
}

TEST_F(MixerModelTest, RefreshReportsOnlyChanges) {
    UseCards({TypicalCard("Card A")});
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, notifyWindow);
    MixerDevice& device = devices.Item(0);
    RecordingListener listener(true);
    device.AttachControlsOfLine(kMicLine, listener);  // VOLUME 5, MUTE 6
    MixerControl& volume = *device.FindControl(5);

    volume.Refresh(device.Handle());
    volume.Refresh(device.Handle());
    EXPECT_EQ(listener.changed, std::vector<DWORD>{5});

    fake::FindControl(0, 5)->values = {1234};
    volume.Refresh(device.Handle());
    EXPECT_EQ(listener.changed, (std::vector<DWORD>{5, 5}));
    EXPECT_EQ(volume.Shadow()[0], 1234u);

    volume.SetShadowValid(false);
    volume.Refresh(device.Handle());
    EXPECT_EQ(listener.changed.size(), 3u);
}

TEST_F(MixerModelTest, ApplyWritesOnlyWhatChanged) {
    UseCards({TypicalCard("Card A")});
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, notifyWindow);
    MixerDevice& device = devices.Item(0);
    RecordingListener listener(true);
    device.AttachControlsOfLine(kMicLine, listener);
    MixerControl& volume = *device.FindControl(5);
    volume.Refresh(device.Handle());
    listener.changed.clear();
    fake::System& system = fake::Current();

    volume.Apply(device.Handle());
    EXPECT_TRUE(system.writes.empty());

    volume.Shadow()[0] = 40000;
    volume.Apply(device.Handle());
    volume.Apply(device.Handle());
    ASSERT_EQ(system.writes.size(), 1u);
    EXPECT_EQ(system.writes[0].controlId, 5u);
    EXPECT_EQ(system.writes[0].values, std::vector<DWORD>{40000});

    // The mixer's own message about our write finds nothing new...
    devices.OnControlChange(device.Handle(), 5);
    EXPECT_TRUE(listener.changed.empty());
    // ...unless the driver stored another value.
    system.adjustOnWrite[5] = 39999;
    volume.Shadow()[0] = 30000;
    volume.Apply(device.Handle());
    devices.OnControlChange(device.Handle(), 5);
    EXPECT_EQ(listener.changed, std::vector<DWORD>{5});
    EXPECT_EQ(volume.Shadow()[0], 39999u);
}

TEST_F(MixerModelTest, ChangeMessagesThatMatchNothingDoNothing) {
    UseCards({TypicalCard("Card A")});
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, notifyWindow);
    MixerDevice& device = devices.Item(0);
    RecordingListener listener(true);
    device.AttachControlsOfLine(kMicLine, listener);
    fake::System& system = fake::Current();
    int reads = system.valueReads;

    devices.OnControlChange(fake::HandleOf(7), 5);  // no device has that handle
    devices.OnControlChange(nullptr, 5);
    devices.OnControlChange(device.Handle(), 999);   // no such control
    devices.OnControlChange(device.Handle(), 1);     // not attached
    EXPECT_EQ(system.valueReads, reads);
    EXPECT_TRUE(listener.changed.empty());

    devices.OnControlChange(device.Handle(), 5);
    EXPECT_EQ(listener.changed, std::vector<DWORD>{5});
}

TEST_F(MixerModelTest, FailedOpenLeavesAControlThatNeverReports) {
    UseCards({TypicalCard("Card A")});
    fake::Current().cards[0].failOpen = true;
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, notifyWindow);
    ASSERT_EQ(devices.Count(), 1);
    MixerDevice& device = devices.Item(0);
    EXPECT_EQ(device.Handle(), nullptr);

    // Lines and controls are known by id; their values cannot be read.
    RecordingListener listener(true);
    device.AttachControlsOfLine(kMicLine, listener);
    EXPECT_EQ(listener.added, (std::vector<DWORD>{5, 6, kEndOfSet}));
    device.FindControl(5)->Refresh(device.Handle());
    devices.OnControlChange(nullptr, 5);
    EXPECT_TRUE(listener.changed.empty());
    EXPECT_EQ(fake::Current().closes, 0);
}

TEST_F(MixerModelTest, LineChangeRereadsOnlyThatDestination) {
    UseCards({TypicalCard("Card A")});
    MixerDeviceList devices(fake::Api());
    devices.Enumerate(kMixerKindWaveIn, notifyWindow);
    MixerDevice& device = devices.Item(0);
    fake::System& system = fake::Current();
    std::strcpy(system.cards[0].destinations[1].line.info.szName, "Renamed");

    devices.OnLineChange(device.Handle(), kMicLine);  // a source: not read again
    devices.OnLineChange(fake::HandleOf(5), kRecordingLine);
    EXPECT_EQ(system.lineRereads, 0);

    system.failLineReread = true;
    devices.OnLineChange(device.Handle(), kRecordingLine);
    EXPECT_STREQ(device.Destinations()[1].info.szName, "Recording");

    system.failLineReread = false;
    devices.OnLineChange(device.Handle(), kRecordingLine);
    EXPECT_EQ(system.lineRereads, 2);
    EXPECT_STREQ(device.Destinations()[1].info.szName, "Renamed");
    // Controls refer to the line's info, so they see the new name too.
    EXPECT_STREQ(device.FindControl(1)->Line().szName, "Renamed");
}

}  // namespace
