// OptionsDialog: the Options dialog (template 129): sound card, 78 mode, live mode, DirectSound
// capture, interface language and output format. It works on copies; the main window reads the
// choices after OK and applies, tests and stores them. The object outlives its window and may
// be run again (after a rejected format) keeping its format record and name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/dialog.h"
#include "output/format_record.h"

class MainDialog;

constexpr int kFormatNameBytes = 260;   // as the chooser writes it
constexpr int kFormatTextBytes = 260;
constexpr int kNativeLanguageNameBytes = 64;

// What LoadLibrary and GetProcAddress say about DirectSound capture.
enum class DirectSoundSupport { kNoLibrary, kNoCaptureEntry, kAvailable };
DirectSoundSupport ProbeDirectSound();

class OptionsDialog : public Dialog {
public:
    // Copies the main window's output format and name; asks the codec manager for the largest
    // format record itself.
    explicit OptionsDialog(MainDialog& main);

    // The choices, read by the main window after OK.
    uint16_t chosenLanguage = 0;
    uint32_t chosenMode78 = 0;
    uint32_t chosenDirectSound = 0;
    uint32_t chosenLiveMode = 0;
    std::string chosenSoundCard;

    WAVEFORMATEX* Format() { return formatRecord_.Get(); }
    const char* FormatName() const { return formatName_; }

    // Wine's DSOUND.DLL always has the capture entry; tests replace the probe.
    DirectSoundSupport (*directSoundProbe)() = &ProbeDirectSound;

protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    LRESULT OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;

private:
    void CheckDirectSound();
    void FillLanguages();
    void FillSoundCards();
    void ShowFormatText();
    void ChangeFormat();
    void ChoosePcm();
    void Accept();

    HWND languageList_ = nullptr;
    MainDialog& main_;
    uint32_t formatSize_ = 0;
    char formatName_[kFormatNameBytes] = {};
    FormatBuffer formatRecord_;
};
