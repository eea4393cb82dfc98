// The mixer model and the recording panel on Wine's own mixer, with the bench's virtual card
// (PulseAudio with the "turntable" null sink).
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "mixer/level_range.h"
#include "mixer/mixer_device_list.h"
#include "mixer/mixer_log.h"
#include "mixer/recording_panel.h"
#include "tests/mixer/mixer_log_file.h"
#include "tests/mixer/panel_window.h"

namespace {

// The recording destination's VOLUME and MUTE of one mixer, as the platform lists them, with a
// handle of our own to read and write them behind the panel's back.
class RecordingControls {
public:
    explicit RecordingControls(UINT mixerId) {
        volume.dwControlID = kNone;
        mute.dwControlID = kNone;
        if (mixerOpen(&handle, mixerId, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) handle = nullptr;
        MIXERLINEA line{};
        line.cbStruct = sizeof line;
        line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
        if (mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(mixerId)), &line,
                              MIXER_GETLINEINFOF_COMPONENTTYPE) != MMSYSERR_NOERROR)
            return;
        lineName = line.szName;
        Find(mixerId, line.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, volume);
        Find(mixerId, line.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE, mute);
        found = volume.dwControlID != kNone && mute.dwControlID != kNone;
    }
    ~RecordingControls() {
        if (handle) mixerClose(handle);
    }
    RecordingControls(const RecordingControls&) = delete;
    RecordingControls& operator=(const RecordingControls&) = delete;

    DWORD Read(const MIXERCONTROLA& control) const {
        DWORD value = 0xDEADBEEF;
        MIXERCONTROLDETAILS details = Details(control, &value);
        mixerGetControlDetailsA(reinterpret_cast<HMIXEROBJ>(handle), &details,
                                MIXER_OBJECTF_HANDLE | MIXER_GETCONTROLDETAILSF_VALUE);
        return value;
    }
    bool Write(const MIXERCONTROLA& control, DWORD value) const {
        MIXERCONTROLDETAILS details = Details(control, &value);
        return mixerSetControlDetails(reinterpret_cast<HMIXEROBJ>(handle), &details,
                                      MIXER_OBJECTF_HANDLE | MIXER_SETCONTROLDETAILSF_VALUE) ==
               MMSYSERR_NOERROR;
    }

    static constexpr DWORD kNone = 0xFFFFFFFF;
    HMIXER handle = nullptr;
    bool found = false;
    std::string lineName;
    MIXERCONTROLA volume{};
    MIXERCONTROLA mute{};

private:
    void Find(UINT mixerId, DWORD lineId, DWORD type, MIXERCONTROLA& control) {
        MIXERLINECONTROLSA request{};
        request.cbStruct = sizeof request;
        request.dwLineID = lineId;
        request.dwControlType = type;
        request.cControls = 1;
        request.cbmxctrl = sizeof control;
        request.pamxctrl = &control;
        if (mixerGetLineControlsA(reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(mixerId)), &request,
                                  MIXER_GETLINECONTROLSF_ONEBYTYPE) != MMSYSERR_NOERROR)
            control.dwControlID = kNone;
    }
    static MIXERCONTROLDETAILS Details(const MIXERCONTROLA& control, DWORD* value) {
        MIXERCONTROLDETAILS details{};
        details.cbStruct = sizeof details;
        details.dwControlID = control.dwControlID;
        details.cChannels = 1;  // Wine's controls are uniform
        details.cbDetails = sizeof *value;
        details.paDetails = value;
        return details;
    }
};

class WineMixerTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteFileA(kMixerLogPath); }
    void TearDown() override {
        window.reset();
        panel.reset();
        devices.reset();
        DeleteFileA(kMixerLogPath);
    }

    std::unique_ptr<MixerDeviceList> devices = std::make_unique<MixerDeviceList>();
    std::unique_ptr<RecordingPanel> panel = std::make_unique<RecordingPanel>();
    std::unique_ptr<PanelWindow> window = std::make_unique<PanelWindow>(*devices, *panel);
};

TEST_F(WineMixerTest, LogAndDeviceNamesFollowTheWaveInDevices) {
    UINT count = waveInGetNumDevs();
    ASSERT_GT(count, 0u) << "the bench's sound server is not reachable";
    std::string expectedLog;
    std::vector<UINT> distinct;
    for (UINT d = 0; d < count; ++d) {
        UINT id = static_cast<UINT>(-1);
        if (mixerGetID(reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(d)), &id, MIXER_OBJECTF_WAVEIN) !=
            MMSYSERR_NOERROR)
            id = static_cast<UINT>(-1);
        expectedLog += "Mixer id[" + std::to_string(d) + "]= " + std::to_string(static_cast<int>(id)) + "\n";
        bool seen = id == static_cast<UINT>(-1);
        for (UINT earlier : distinct) seen = seen || earlier == id;
        if (!seen) distinct.push_back(id);
    }

    devices->Enumerate(kMixerKindWaveIn, window->Handle());
    EXPECT_EQ(ReadLog(), expectedLog);
    ASSERT_EQ(devices->Count(), static_cast<int32_t>(distinct.size()));
    std::vector<std::string> names;
    for (int32_t k = 0; k < devices->Count(); ++k) {
        MIXERCAPSA caps{};
        ASSERT_EQ(mixerGetDevCapsA(distinct[k], &caps, sizeof caps), MMSYSERR_NOERROR);
        EXPECT_STREQ(devices->Item(k).Name(), caps.szPname);
        EXPECT_EQ(devices->Item(k).MixerId(), distinct[k]);
        EXPECT_NE(devices->Item(k).Handle(), nullptr);
        names.emplace_back(devices->Item(k).Name());
    }
    // The bench's two recording devices: the server's default and the turntable's monitor.
    EXPECT_EQ(names, (std::vector<std::string>{"PulseAudio", "Monitor of Null Output"}));
}

TEST_F(WineMixerTest, RecordingVolumeAndMuteDriveThePanel) {
    window->StartUp("PulseAudio");
    ASSERT_GT(devices->Count(), 0);
    ASSERT_EQ(window->SourceName(), "PulseAudio");
    MixerDevice& device = devices->Item(0);
    RecordingControls platform(device.MixerId());
    ASSERT_TRUE(platform.found);
    DWORD originalVolume = platform.Read(platform.volume);
    DWORD originalMute = platform.Read(platform.mute);

    // No selector: the box names the recording line, the slider and switch are its own.
    EXPECT_EQ(window->Entries(), std::vector<std::string>{platform.lineName});
    EXPECT_FALSE(window->SourceBoxEnabled());
    EXPECT_EQ(panel->Level(), device.FindControl(platform.volume.dwControlID));
    EXPECT_EQ(panel->Switch(), device.FindControl(platform.mute.dwControlID));
    LevelRange scale = LevelRange::Of(platform.volume);
    EXPECT_EQ(window->SliderMax(), static_cast<int>(scale.range));
    EXPECT_EQ(window->Caption(), platform.volume.szName);
    EXPECT_EQ(window->SwitchText(), platform.mute.szName);
    EXPECT_TRUE(window->SwitchVisible());
    EXPECT_EQ(window->SliderPosition(), static_cast<int>(scale.PositionOf(originalVolume)));

    // Moving the slider writes the mixer. Wine keeps the volume as a fraction, so the value
    // read back may be one below the value written.
    const int position = static_cast<int>(scale.range) / 3;
    window->MoveSlider(position);
    DWORD written = scale.ValueAt(static_cast<DWORD>(position));
    DWORD read = platform.Read(platform.volume);
    EXPECT_LE(written - read, 1u) << written << " " << read;

    // A write through another handle comes back as a change message and moves the slider.
    // Wine 8 does not post mixer change messages itself, so the test delivers the one the
    // platform owes; the panel then reads the new value from the real mixer.
    ASSERT_TRUE(platform.Write(platform.volume, 13000));
    window->PostControlChange(device.Handle(), platform.volume.dwControlID);
    EXPECT_EQ(window->SliderPosition(), static_cast<int>(scale.PositionOf(platform.Read(platform.volume))));
    EXPECT_NE(window->SliderPosition(), position);

    // The switch writes the mute, and follows another handle's write.
    window->ClickSwitch(originalMute == 0);
    EXPECT_EQ(platform.Read(platform.mute), originalMute == 0 ? 1u : 0u);
    ASSERT_TRUE(platform.Write(platform.mute, originalMute));
    window->PostControlChange(device.Handle(), platform.mute.dwControlID);
    EXPECT_EQ(window->SwitchChecked(), originalMute != 0);

    EXPECT_TRUE(platform.Write(platform.volume, originalVolume));
    EXPECT_TRUE(platform.Write(platform.mute, originalMute));
}

}  // namespace
