// The recording panel and the main window's mixer handlers, on a stand-in window, against
// simulated cards: the worked start-up, source choices made here and elsewhere, selectors of
// other kinds, the level scale, the switch, and the panel's limits.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mixer/level_range.h"
#include "mixer/mixer_handlers.h"
#include "mixer/mixer_log.h"
#include "mixer/recording_panel.h"
#include "tests/mixer/fake_mixer.h"
#include "tests/mixer/panel_window.h"

namespace {

using Entries = std::vector<std::string>;
using Values = std::vector<DWORD>;

constexpr DWORD kRecordingLine = 0xFFFF0001;
constexpr DWORD kMic = 0x1000, kLineIn = 0x1001, kCd = 0x1002, kStereoMix = 0x1003;
constexpr DWORD kAux = 0x1004, kPhone = 0x1005;
constexpr DWORD kMuxId = 10, kRecordingVolumeId = 11;
constexpr DWORD kMicVolumeId = 20, kMicMuteId = 21, kLineVolumeId = 22, kLineMuteId = 23;
constexpr DWORD kAuxMuteId = 24, kPhoneVolumeId = 25;
constexpr int kTop = 32767;  // R for 65536 steps

fake::Line RecordingDestination(std::vector<fake::Control> controls) {
    return fake::MakeLine(kRecordingLine, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", 2,
                          std::move(controls));
}

// The typical card: a MUX over four sources (two without controls, Line In selected unless
// told otherwise) and a recording VOLUME; each live source has a VOLUME and a MUTE. Speakers
// come first, with a VOLUME that must never reach the panel.
fake::Card TypicalCard(DWORD muxType = MIXERCONTROL_CONTROLTYPE_MUX, int selected = 1) {
    fake::Card card;
    card.name = "Sim Card";
    fake::AddDestination(card, fake::MakeLine(0xFFFF0000, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                                              "Speakers", 2, {fake::Volume(1, "Master")}));
    fake::AddDestination(
        card,
        RecordingDestination(
            {fake::Selector(kMuxId, muxType,
                            {{kMic, "Microphone"}, {kLineIn, "Line In"}, {kCd, "CD Player"},
                             {kStereoMix, "Stereo Mix"}, {kAux, "Aux"}, {kPhone, "Phone"}},
                            selected),
             fake::Volume(kRecordingVolumeId, "Recording Level", 0, 65535, 65536, 1, 30000)}),
        {fake::MakeLine(kMic, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", 1,
                        {fake::Volume(kMicVolumeId, "Mic Volume", 0, 65535, 65536, 1, 2000),
                         fake::Mute(kMicMuteId, "Mic Mute", 0)}),
         fake::MakeLine(kLineIn, MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In", 2,
                        {fake::Volume(kLineVolumeId, "Line In Volume", 0, 65535, 65536, 1, 20000),
                         fake::Mute(kLineMuteId, "Line In Mute", 1)}),
         fake::MakeLine(kCd, MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Player", 2, {}),
         fake::MakeLine(kStereoMix, MIXERLINE_COMPONENTTYPE_SRC_ANALOG, "Stereo Mix", 2, {}),
         fake::MakeLine(kAux, MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY, "Aux", 2,
                        {fake::Mute(kAuxMuteId, "Aux Mute", 0)}),
         fake::MakeLine(kPhone, MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE, "Phone", 1,
                        {fake::Volume(kPhoneVolumeId, "Phone Volume", 0, 65535, 65536, 1, 0)})});
    return card;
}

class RecordingPanelTest : public ::testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
    void TearDown() override {
        window.reset();
        panel.reset();  // detaches before the devices go
        devices.reset();
        DeleteFileA(kMixerLogPath);
        fake::Reset();
    }
    void UseCard(fake::Card card) {
        fake::Current().cards = {std::move(card)};
        fake::Current().waveInMixers = {0};
    }
    // Positions the trackbar shows for a value of a 0..65535 level with 65536 steps.
    static int PositionOf(DWORD value) { return kTop - static_cast<int>(value / 2); }
    MixerControl& Control(DWORD id) { return *devices->Item(0).FindControl(id); }
    const std::vector<fake::Write>& Writes() { return fake::Current().writes; }

    std::unique_ptr<MixerDeviceList> devices = std::make_unique<MixerDeviceList>(fake::Api());
    std::unique_ptr<RecordingPanel> panel = std::make_unique<RecordingPanel>();
    std::unique_ptr<PanelWindow> window = std::make_unique<PanelWindow>(*devices, *panel);
};

TEST_F(RecordingPanelTest, WorkedStartUpStepByStep) {
    UseCard(TypicalCard());
    ASSERT_NE(window->Handle(), nullptr);
    devices->Enumerate(kMixerKindWaveIn, window->Handle());
    window->AttachPanel();
    window->SetSourceName("Sim Card");
    MixerDevice& device = devices->Item(0);
    HMIXER handle = device.Handle();

    // The MUX lists every source and selects the current one, without running source chosen.
    panel->ControlAdded(handle, device.FindControl(kMuxId));
    EXPECT_EQ(window->Entries(),
              (Entries{"Microphone", "Line In", "CD Player", "Stereo Mix", "Aux", "Phone"}));
    EXPECT_EQ(window->SelectedText(), "Line In");
    EXPECT_EQ(window->SourceChosenCount(), 0);

    // The VOLUME sets scale, caption and position.
    panel->ControlAdded(handle, device.FindControl(kRecordingVolumeId));
    EXPECT_EQ(window->SliderMax(), kTop);
    EXPECT_EQ(window->FirstTick(), 3276);
    EXPECT_EQ(window->Caption(), "Recording Level");
    EXPECT_EQ(window->SliderPosition(), PositionOf(30000));

    // The end of the set fixes the destination's places; no switch yet.
    panel->ControlAdded(handle, nullptr);
    EXPECT_TRUE(panel->ListComplete());
    EXPECT_EQ(panel->DestinationCount(), 2);
    EXPECT_FALSE(window->SwitchVisible());
    EXPECT_FALSE(window->SwitchEnabled());

    // Control-less sources leave the box; re-selecting Line In now runs source chosen, and
    // Line In's controls take the slider and the switch.
    ASSERT_EQ(device.SilentSourceCount(), 2);
    panel->ExcludeSources(handle, device.SilentSources(), device.SilentSourceCount());
    EXPECT_EQ(window->Entries(), (Entries{"Microphone", "Line In", "Aux", "Phone"}));
    EXPECT_EQ(window->SelectedText(), "Line In");
    EXPECT_EQ(window->SourceChosenCount(), 1);
    EXPECT_EQ(window->Caption(), "Line In Volume");
    EXPECT_EQ(window->SliderPosition(), PositionOf(20000));
    EXPECT_TRUE(window->SwitchVisible());
    EXPECT_TRUE(window->SwitchEnabled());
    EXPECT_EQ(window->SwitchText(), "Line In Mute");
    EXPECT_TRUE(window->SwitchChecked());
    EXPECT_EQ(panel->ControlCount(), 4);

    // The main window's own call drops and re-attaches the same controls, writing nothing.
    SourceChosen(*panel, *devices, "Sim Card");
    EXPECT_EQ(panel->ControlCount(), 4);
    EXPECT_EQ(panel->Level(), &Control(kLineVolumeId));
    EXPECT_EQ(panel->Switch(), &Control(kLineMuteId));
    EXPECT_EQ(Control(kMicVolumeId).AttachCount(), 0);
    EXPECT_TRUE(Writes().empty());
}

TEST_F(RecordingPanelTest, StartUpFallsBackToTheFirstCard) {
    UseCard(TypicalCard());
    window->StartUp("A card that is gone");
    EXPECT_EQ(window->SourceName(), "Sim Card");
    EXPECT_EQ(window->Entries(), (Entries{"Microphone", "Line In", "Aux", "Phone"}));
    EXPECT_EQ(window->SelectedText(), "Line In");
    EXPECT_EQ(window->SwitchText(), "Line In Mute");
    EXPECT_EQ(panel->ControlCount(), 4);
    EXPECT_TRUE(Writes().empty());
    // The speakers' VOLUME belongs to another destination.
    EXPECT_EQ(Control(1).AttachCount(), 0);
}

TEST_F(RecordingPanelTest, SourceChoicesMadeHereAndElsewhere) {
    UseCard(TypicalCard());
    window->StartUp("Sim Card");
    HMIXER handle = devices->Item(0).Handle();
    int chosen = window->SourceChosenCount();

    // The user picks the microphone: the MUX is written and its controls take over.
    window->ChooseEntry(0);
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0].controlId, kMuxId);
    EXPECT_EQ(Writes()[0].values, (Values{1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(window->Caption(), "Mic Volume");
    EXPECT_EQ(window->SliderPosition(), PositionOf(2000));
    EXPECT_EQ(window->SwitchText(), "Mic Mute");
    EXPECT_FALSE(window->SwitchChecked());
    EXPECT_EQ(Control(kLineVolumeId).AttachCount(), 0);
    chosen = window->SourceChosenCount();

    // The mixer's own message about that write changes nothing.
    window->PostControlChange(handle, kMuxId);
    EXPECT_EQ(window->SourceChosenCount(), chosen);

    // Another program selects Line In: the box follows and Line In's controls come back.
    fake::FindControl(0, kMuxId)->values = {0, 1, 0, 0, 0, 0};
    window->PostControlChange(handle, kMuxId);
    EXPECT_EQ(window->SelectedText(), "Line In");
    EXPECT_EQ(window->SourceChosenCount(), chosen + 1);
    EXPECT_EQ(window->Caption(), "Line In Volume");
    EXPECT_EQ(window->SwitchText(), "Line In Mute");
    EXPECT_EQ(Writes().size(), 1u);

    // It selects the CD, which is not listed: no entry is selected, Line In's controls go, and
    // the card keeps recording the CD.
    fake::FindControl(0, kMuxId)->values = {0, 0, 1, 0, 0, 0};
    window->PostControlChange(handle, kMuxId);
    EXPECT_EQ(window->Selection(), -1);
    EXPECT_EQ(panel->Level(), nullptr);
    EXPECT_FALSE(window->SwitchVisible());
    EXPECT_EQ(Writes().size(), 1u);
}

TEST_F(RecordingPanelTest, StartingOnASourceWithoutControlsWritesNothing) {
    UseCard(TypicalCard(MIXERCONTROL_CONTROLTYPE_MUX, 3));  // Stereo Mix, after Line In
    window->StartUp("Sim Card");
    EXPECT_EQ(window->Selection(), -1);
    EXPECT_TRUE(Writes().empty());
}

TEST_F(RecordingPanelTest, SourcesWithoutLevelOrSwitch) {
    UseCard(TypicalCard());
    window->StartUp("Sim Card");
    int lineInPosition = window->SliderPosition();

    // Aux has a switch but no level: the slider keeps its last look and no longer acts.
    window->ChooseEntry(2);
    EXPECT_EQ(panel->Level(), nullptr);
    EXPECT_EQ(window->Caption(), "Line In Volume");
    EXPECT_EQ(window->SliderMax(), kTop);
    EXPECT_EQ(window->SliderPosition(), lineInPosition);
    size_t writes = Writes().size();
    window->MoveSlider(100);
    EXPECT_EQ(Writes().size(), writes);
    EXPECT_EQ(window->SwitchText(), "Aux Mute");
    EXPECT_TRUE(window->SwitchVisible());

    // Phone has a level but no switch: 1007 is hidden and disabled.
    window->ChooseEntry(3);
    EXPECT_EQ(window->Caption(), "Phone Volume");
    EXPECT_FALSE(window->SwitchVisible());
    EXPECT_FALSE(window->SwitchEnabled());
    EXPECT_EQ(panel->Switch(), nullptr);
}

TEST_F(RecordingPanelTest, SelectedSourceFirstAndWithoutControlsSelectsNothing) {
    fake::Card card;
    card.name = "Sim Card";
    fake::AddDestination(
        card,
        RecordingDestination({fake::Selector(kMuxId, MIXERCONTROL_CONTROLTYPE_MUX,
                                             {{kCd, "CD Player"}, {kMic, "Microphone"}}, 0)}),
        {fake::MakeLine(kCd, MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Player", 2, {}),
         fake::MakeLine(kMic, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", 1,
                        {fake::Mute(kMicMuteId, "Mic Mute", 0)})});
    UseCard(card);
    window->StartUp("Sim Card");
    EXPECT_EQ(window->Entries(), Entries{"Microphone"});
    EXPECT_EQ(window->Selection(), -1);
    // No entry is chosen, so nothing is written: the card keeps recording the CD.
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(Control(kMicMuteId).AttachCount(), 0);
    EXPECT_FALSE(window->SwitchVisible());
}

TEST_F(RecordingPanelTest, MixerTypeSelectorOffersNoChoice) {
    UseCard(TypicalCard(MIXERCONTROL_CONTROLTYPE_MIXER));
    window->StartUp("Sim Card");
    EXPECT_EQ(window->Entries(), Entries{"Recording"});
    EXPECT_EQ(window->Selection(), 0);
    EXPECT_FALSE(window->SourceBoxEnabled());
    EXPECT_EQ(panel->Selector(), nullptr);
    EXPECT_EQ(panel->ControlCount(), 2);  // held, though it plays no role
    EXPECT_EQ(window->Caption(), "Recording Level");

    window->ChooseEntry(0);
    EXPECT_EQ(panel->ControlCount(), 2);
    EXPECT_TRUE(Writes().empty());
}

TEST_F(RecordingPanelTest, DestinationWithoutSelector) {
    fake::Card card;
    card.name = "Plain";
    fake::AddDestination(card, RecordingDestination({fake::Volume(kRecordingVolumeId, "Rec Volume"),
                                                     fake::Mute(kMicMuteId, "Rec Mute", 1)}));
    UseCard(card);
    window->StartUp("Plain");
    EXPECT_EQ(window->Entries(), Entries{"Recording"});
    EXPECT_EQ(window->Selection(), 0);
    EXPECT_FALSE(window->SourceBoxEnabled());
    EXPECT_EQ(window->SwitchText(), "Rec Mute");
    EXPECT_TRUE(window->SwitchChecked());
    window->ChooseEntry(0);
    EXPECT_EQ(panel->ControlCount(), 2);
    EXPECT_TRUE(Writes().empty());

    // Neither selector nor level: the box stays empty and enabled.
    fake::Card bare;
    bare.name = "Bare";
    fake::AddDestination(bare, RecordingDestination({fake::Mute(kMicMuteId, "Rec Mute")}));
    UseCard(bare);
    panel->Reset();
    window->StartUp("Bare");
    EXPECT_TRUE(window->Entries().empty());
    EXPECT_TRUE(window->SourceBoxEnabled());
}

TEST_F(RecordingPanelTest, LevelScaleOfASixteenBitControl) {
    fake::Card card;
    card.name = "Level";
    fake::AddDestination(card, RecordingDestination({fake::Volume(kRecordingVolumeId, "Rec Volume",
                                                                  0, 65535, 65536, 1, 40000)}));
    UseCard(card);
    window->StartUp("Level");
    EXPECT_EQ(window->SliderMax(), 32767);
    EXPECT_EQ(window->FirstTick(), 3276);
    EXPECT_EQ(window->SliderPosition(), 12767);

    window->MoveSlider(0);
    window->MoveSlider(32767);
    ASSERT_EQ(Writes().size(), 2u);
    EXPECT_EQ(Writes()[0].values, Values{65534});
    EXPECT_EQ(Writes()[1].values, Values{0});
    window->MoveSlider(32767);  // the same value again: nothing to write
    EXPECT_EQ(Writes().size(), 2u);
}

TEST_F(RecordingPanelTest, StereoLevelShowsTheMeanAndWritesBothChannels) {
    fake::Card card;
    card.name = "Stereo";
    fake::Control stereo = fake::Volume(kRecordingVolumeId, "Rec Volume", 0, 65535, 65536, 2);
    stereo.values = {100, 301};
    fake::AddDestination(card, RecordingDestination({stereo}));
    UseCard(card);
    window->StartUp("Stereo");
    EXPECT_EQ(window->SliderPosition(), kTop - 100);  // mean 50 + 150 = 200, step 2

    window->MoveSlider(kTop - 1000);
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0].values, (Values{2000, 2000}));
}

TEST_F(RecordingPanelTest, SwitchFollowsAndSetsTheMute) {
    UseCard(TypicalCard());
    window->StartUp("Sim Card");
    HMIXER handle = devices->Item(0).Handle();
    ASSERT_TRUE(window->SwitchChecked());

    window->ClickSwitch(false);
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0].controlId, kLineMuteId);
    EXPECT_EQ(Writes()[0].values, Values{0});

    fake::FindControl(0, kLineMuteId)->values = {1};
    window->PostControlChange(handle, kLineMuteId);
    EXPECT_TRUE(window->SwitchChecked());

    fake::FindControl(0, kLineVolumeId)->values = {50000};
    window->PostControlChange(handle, kLineVolumeId);
    EXPECT_EQ(window->SliderPosition(), PositionOf(50000));
}

TEST_F(RecordingPanelTest, MessagesTheHandlersLeaveAlone) {
    UseCard(TypicalCard());
    window->StartUp("Sim Card");
    HWND box = GetDlgItem(window->Handle(), 1001);
    INT_PTR result = -1;

    // A scroll message from another control is not ours.
    EXPECT_FALSE(HandleMixerMessage(*devices, *panel, "Sim Card", window->DeviceChangeMessage(),
                                    WM_VSCROLL, SB_LINEDOWN, reinterpret_cast<LPARAM>(box), result));
    // A device change is acknowledged and nothing is enumerated again.
    size_t asked = fake::Current().getIdKinds.size();
    EXPECT_TRUE(HandleMixerMessage(*devices, *panel, "Sim Card", window->DeviceChangeMessage(),
                                   window->DeviceChangeMessage(), 0, 0, result));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(fake::Current().getIdKinds.size(), asked);
    // Change messages for an unknown handle or control.
    int reads = fake::Current().valueReads;
    window->PostControlChange(fake::HandleOf(3), kLineVolumeId);
    window->PostControlChange(devices->Item(0).Handle(), 4242);
    EXPECT_EQ(fake::Current().valueReads, reads);
    EXPECT_TRUE(Writes().empty());
}

TEST_F(RecordingPanelTest, ResetEmptiesThePanelForAnotherCard) {
    UseCard(TypicalCard());
    window->StartUp("Sim Card");
    panel->Reset();
    EXPECT_TRUE(window->Entries().empty());
    EXPECT_TRUE(window->SourceBoxEnabled());
    EXPECT_EQ(panel->ControlCount(), 0);
    EXPECT_FALSE(panel->ListComplete());
    for (DWORD id : {kMuxId, kRecordingVolumeId, kLineVolumeId, kLineMuteId})
        EXPECT_EQ(Control(id).AttachCount(), 0) << id;

    // A card name that no device has attaches nothing (no fallback after a change).
    EXPECT_EQ(AttachRecordingCard(*devices, *panel, "Other", false), nullptr);
    EXPECT_EQ(panel->ControlCount(), 0);

    // The same card again goes through a first set once more.
    ASSERT_NE(AttachRecordingCard(*devices, *panel, "Sim Card", false), nullptr);
    SourceChosen(*panel, *devices, "Sim Card");
    EXPECT_EQ(window->Entries(), (Entries{"Microphone", "Line In", "Aux", "Phone"}));
    EXPECT_EQ(panel->ControlCount(), 4);
    EXPECT_TRUE(Writes().empty());
}

TEST_F(RecordingPanelTest, DestroyingThePanelDetachesEverything) {
    UseCard(TypicalCard());
    window->StartUp("Sim Card");
    window.reset();
    panel.reset();
    for (DWORD id : {kMuxId, kRecordingVolumeId, kLineVolumeId, kLineMuteId})
        EXPECT_EQ(Control(id).AttachCount(), 0) << id;
}

TEST_F(RecordingPanelTest, MoreControlsThanPlacesAreNotAttached) {
    std::vector<fake::Control> many;
    for (DWORD id = 100; id < 170; ++id)
        many.push_back(fake::Other(id, MIXERCONTROL_CONTROLTYPE_BASS, "Bass"));
    many.push_back(fake::Volume(200, "Late Volume"));
    fake::Card card;
    card.name = "Crowded";
    fake::AddDestination(card, RecordingDestination(std::move(many)));
    UseCard(card);
    window->StartUp("Crowded");

    EXPECT_EQ(panel->ControlCount(), kPanelPlaces);
    EXPECT_EQ(panel->DestinationCount(), kPanelPlaces);
    EXPECT_EQ(Control(163).AttachCount(), 1);
    EXPECT_EQ(Control(164).AttachCount(), 0);
    EXPECT_EQ(Control(200).AttachCount(), 0);
    EXPECT_EQ(panel->Level(), nullptr);
    EXPECT_EQ(window->Caption(), "-");
    panel->Reset();
    EXPECT_EQ(Control(163).AttachCount(), 0);
}

// The trackbar's range and the value-position arithmetic, boundaries side by side.
TEST(LevelRangeTest, RangeAndArithmetic) {
    struct Case {
        DWORD steps, minimum, maximum;
        DWORD range;
        DWORD value, position;     // value shown at position
        DWORD written, writtenAt;  // value written from position
    };
    const Case cases[] = {
        {65536, 0, 65535, 32767, 40000, 12767, 65534, 0},
        {65536, 0, 65535, 32767, 65535, 0, 0, 32767},
        {192, 0, 65535, 191, 13000, 154, 65513, 0},   // step 343
        {0, 0, 65535, 32767, 0, 32767, 65534, 0},     // 0 steps: the cap
        {1, 0, 100, 1, 100, 0, 100, 0},               // 1 step: range 1
        {2, 10, 20, 1, 15, 1, 20, 0},
        {1000, 0, 100, 999, 50, 949, 0, 0},           // bounds narrower than the range
        {11, 100, 200, 10, 50, 10, 200, 0},           // below the minimum: the bottom
        {11, 100, 200, 10, 900, 0, 100, 10},          // above the maximum: the top
    };
    for (const Case& c : cases) {
        MIXERCONTROLA control{};
        control.Metrics.cSteps = c.steps;
        control.Bounds.dwMinimum = c.minimum;
        control.Bounds.dwMaximum = c.maximum;
        LevelRange scale = LevelRange::Of(control);
        EXPECT_EQ(scale.range, c.range) << c.steps;
        EXPECT_EQ(scale.PositionOf(c.value), c.position) << c.steps << " " << c.value;
        EXPECT_EQ(scale.ValueAt(c.writtenAt), c.written) << c.steps << " " << c.writtenAt;
    }
    EXPECT_EQ(LevelRange::Of(MIXERCONTROLA{}).TickFrequency(), 3276u);

    const DWORD stereo[] = {100, 301};
    EXPECT_EQ(LevelAverage(stereo, 2), 200u);
    const DWORD loud[] = {0xFFFFFFFF, 0xFFFFFFFF};  // no overflow
    EXPECT_EQ(LevelAverage(loud, 2), 0xFFFFFFFEu);
}

}  // namespace
