// MainDialog: the program's main window. Its Recorder keeps the track engine and one capture
// back-end running for the window's whole life, so the meters move as soon as it is open; the
// window shows levels, track number, elapsed time, output format and the writer's status,
// drives the detection sliders, and runs the commands (record button, Options, folder, prefix,
// help, About).
//
// How it works: the display is polled, not pushed. A 62 ms timer reads the engine's level
// records and track number directly (plain aligned values) and asks everything about the
// current sink through the engine's locked queries; only the level scale is invalidated on each
// tick. The capture thread ending by itself is noticed by the same timer. Engine, capture and
// chains belong to the Recorder; the window only tells it what the user chose.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/context_help.h"
#include "app/dialog.h"
#include "app/prefix_filter.h"
#include "app/recorder.h"
#include "capture/capture_device.h"
#include "engine/stream_format.h"
#include "engine/track_engine.h"
#include "base/unique_handle.h"
#include "mixer/mixer_device_list.h"
#include "mixer/mixer_handlers.h"
#include "mixer/recording_panel.h"
#include "output/format_record.h"
#include "engine/output_sink.h"
#include "settings/settings_store.h"

class OptionsDialog;

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMilliseconds = 62;
constexpr int kFormatLabelBytes = 260;
constexpr char kMode78LabelPrefix[] = "78 RPM, ";
constexpr int kPrefixCharacters = 255;            // the prefix edit is read up to this length
constexpr char kHelpFileName[] = "\\grooval.chm";
constexpr char kRecordingMixer[] = "sndvol32.exe";
constexpr char kRecordingMixerParameter[] = "/record";
constexpr char kConvertFailedText[] = "Can't convert...";  // the same in every language
constexpr char kConvertFailedCaption[] = "Sorry";
// The engine did not let go of its chain in time, so no other format could be tried.
constexpr char kEngineBusyText[] = "The recorder is busy: the output format was not changed.";

// The dialog results of the main window: Close ends the program, a new interface language
// builds the window again.
constexpr INT_PTR kMainDialogClosed = 1;
constexpr INT_PTR kMainDialogNewLanguage = 2;

// What tests replace where Wine cannot produce the case: how capture back-ends are made, and
// the folder dialog, which no test can drive to a choice.
struct MainDialogApi {
    RecorderApi recorder;
    LPITEMIDLIST(WINAPI* browseForFolder)(LPBROWSEINFOA) = &SHBrowseForFolderA;
};

class MainDialog : public Dialog {
public:
    // Prepares everything that does not need the window: help library, device-change message,
    // working folder, default folder, format records. The settings load follows.
    explicit MainDialog(const MainDialogApi& api = MainDialogApi());
    ~MainDialog() override;

    // The settings the window works with; the start-up cycle loads them before the window
    // exists and they are saved at the shutdown.
    Settings& CurrentSettings() { return settings_; }
    const Settings& CurrentSettings() const { return settings_; }
    // The locale's decimal separator for the slider captions, set by the start-up cycle.
    void SetDecimalSeparator(const char* separator);

    // What the Options dialog reads.
    MixerDeviceList& Mixers() { return mixers_; }
    uint32_t MaxFormatSize() const { return maxFormatSize_; }
    const ContextHelpSource& HelpSource() const { return help_; }

    // Observation for tests.
    TrackEngine* Engine() { return recorder_.Engine(); }
    CaptureDevice* Capture() { return recorder_.Capture(); }
    bool IsRecording() const { return recorder_.Recording(); }
    bool CaptureFailed() const { return recorder_.CaptureFailed(); }
    const RECT& LevelScaleRect() const { return levelScaleRect_; }

protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    LRESULT OnInitDialog() override;
    bool OnTimer(UINT_PTR id) override;
    bool OnHScroll(HWND control, int code) override;

private:
    // Display (main_dialog.cpp).
    void LoadTexts();
    void AdjustSystemMenu();
    void KeepControlHandles();
    void PlaceStatusArea();
    void SetUpMetersAndSliders();
    void AttachMixer();
    void Refresh();
    void Paint();
    void ApplySlider(HWND slider);
    void ShowFormatLabel();
    int BlocksPerSecond() const;
    bool OnHelp(const HELPINFO* info);
    bool OnContextMenu(LPARAM point);
    void ReleaseWindowResources();
    void ShowSourceName();
    bool RouteMixerMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Hands the recording panel the source box, level trackbar and line switch.
    void AttachPanelControls();
    void SourceChosen();

    // Commands (main_commands.cpp).
    CaptureChoice ChosenCapture() const;
    void RecordButton();
    void ShowRecordState();
    void Shutdown();
    void Close();
    void RestartCapture();
    void Options();
    enum class FormatTrial { kTaken, kRefused, kEngineBusy };
    FormatTrial TryOutputFormat(OptionsDialog& dialog);
    void ApplySoundCard(const std::string& chosen);
    void SaveFilesTo();
    void PrefixEdited();
    void OpenHelpFile();
    void ShowRecordingControls();
    void ShowAbout();
    void EnableNamingControls(bool enable);
    // After a Stop: the naming controls come back once the engine has ended the track.
    void ReleaseNamingControls();
    void ShowCaptureFailure(int32_t code);

    // Fields, in the order the window's data model lists them.
    MixerDeviceList mixers_;
    RecordingPanel panel_;
    BrushHandle bandBrushes_[4];
    char decimalSeparator_[kSeparatorBytes] = ".";
    struct Texts {
        std::string cueing;          // 106
        std::string notRecording;    // 107
        std::string programName;     // 57344
        std::string trackNumber;     // 105
        std::string aboutMenu;       // 101
        std::string soundCardBusy;   // 103
        std::string monitor;         // 258
        std::string newTrackAfter;   // 102
        std::string discardShorter;  // 104
        std::string whatsThis;       // 512
    } texts_;
    PrefixFilter prefixFilter_;
    RECT levelScaleRect_{};
    HWND leftMeter_ = nullptr;        // 1012
    HWND rightMeter_ = nullptr;       // 1013
    HWND gapSlider_ = nullptr;        // 1015
    HWND discardSlider_ = nullptr;    // 1018
    HWND silenceSlider_ = nullptr;    // 1003
    HWND folderText_ = nullptr;       // 1010
    HWND recordButton_ = nullptr;     // 1000
    HWND prefixEdit_ = nullptr;       // 1008
    HWND saveFilesTo_ = nullptr;      // 1009
    HWND trackText_ = nullptr;        // 1011
    HWND elapsedText_ = nullptr;      // 1014
    HWND statusArea_ = nullptr;       // 1004
    HWND gapCaption_ = nullptr;       // 1016
    HWND discardCaption_ = nullptr;   // 1019
    std::string helpFolder_;
    HICON largeIcon_ = nullptr;       // a shared resource icon: never destroyed
    IconHandle smallIcon_;
    int32_t statusAreaHidden_ = 1;
    bool namingControlsOn_ = true;  // folder, Save Files To, prefix and Options enabled
    uint32_t maxFormatSize_ = 0;
    // folder, sourceName, prefix, useDirectSound, mode78, liveMode, outputName, outputFormat,
    // Discard, Duration, Silence.
    Settings settings_;
    char sinkStatus_[kSinkMessageBytes] = {};
    Recorder recorder_;  // the engine, the capture back-end and their chains
    UINT deviceChangeMessage_ = 0;
    const MainDialogApi api_;
    LibraryHandle helpLibrary_;
    ContextHelpSource help_;  // the HtmlHelpA entry, the help file and "What's This?"
};
