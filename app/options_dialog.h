// OptionsDialog: the Options dialog (template 129): sound card, 78 mode, live mode, DirectSound
// capture, interface language and output format. It edits an OptionsChoice made from the
// current settings; the main window reads it after the dialog ends and applies, tests and
// stores it. The object outlives its window and may be run again (after a rejected format)
// keeping its format record and name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/context_help.h"
#include "app/dialog.h"
#include "app/format_choice.h"
#include "capture/direct_sound_capture.h"
#include "output/format_record.h"
#include "settings/settings_store.h"

constexpr int kNativeLanguageNameBytes = 64;

// What the dialog hands back. The flags and names are read after OK; directSoundRuledOut
// holds whatever the dialog ended with.
struct OptionsChoice {
    uint16_t language = 0;
    uint32_t mode78 = 0;
    uint32_t directSound = 0;
    uint32_t liveMode = 0;
    std::string soundCard;
    // The library has no capture entry: DirectSound capture is off, even after Cancel.
    bool directSoundRuledOut = false;
};

class OptionsDialog : public Dialog {
public:
    // Starts from copies of `current`; `soundCards` are the names the sound card list offers,
    // `directSound` what ProbeDirectSound found. Asks the codec manager for the largest format
    // record itself.
    OptionsDialog(const Settings& current, std::vector<std::string> soundCards,
                  const ContextHelpSource& help, DirectSoundSupport directSound);

    const OptionsChoice& Choice() const { return choice_; }
    // The format record and name as chosen; the record is changed in place by the chain test.
    WAVEFORMATEX* Format() { return formatRecord_.Get(); }
    const char* FormatName() const { return formatName_; }

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
    const Settings& current_;
    const std::vector<std::string> soundCards_;
    const ContextHelpSource& help_;
    const DirectSoundSupport directSound_;
    OptionsChoice choice_;
    uint32_t formatSize_ = 0;
    char formatName_[kChooserNameBytes] = {};
    FormatBuffer formatRecord_;
};
