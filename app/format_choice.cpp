// The format chooser: its request, its hook and the way back to PCM.
#include "app/format_choice.h"

#include <msacm.h>

#include <cstring>

#include "engine/stream_format.h"
#include "output/format_description.h"
#include "output/format_record.h"
#include "output/text_fit.h"

FormatChooserState formatChooserState;

static_assert(sizeof(ACMFORMATCHOOSEA) == 232, "the manager expects a 232-byte request");

namespace {

// Tags the program keeps out of the chooser.
constexpr DWORD kExcludedTags[] = {0x0019, 0x0062, 0x0069, 0x0074, 0x0075, 0x0160, 0x0161};

UINT VerifyFormat(const WAVEFORMATEX* format) {
    FormatChooserState& state = formatChooserState;
    if (format->nSamplesPerSec > kChooserMaxRate) return 1;

    // An MPEG Layer-3 entry without its extra bytes is compared as it would be stored.
    BYTE completed[kMp3FormatBytes] = {};
    const WAVEFORMATEX* compared = format;
    if (format->wFormatTag == kFormatTagMp3 &&
        (format->cbSize != kMp3ExtraBytes ||
         reinterpret_cast<const MPEGLAYER3WAVEFORMAT*>(format)->nBlockSize == 0)) {
        std::memcpy(completed, format, kFormatHeaderBytes);
        CompleteMp3Format(reinterpret_cast<WAVEFORMATEX*>(completed));
        compared = reinterpret_cast<const WAVEFORMATEX*>(completed);
    }

    if (state.initialFormat && FormatsEqual(state.initialFormat, compared)) {
        if (state.currentIndex != -1) return 1;  // listed once already
        state.currentIndex = ++state.listedCount;
        return 0;
    }
    ++state.listedCount;
    return 0;
}

}  // namespace

bool IsExcludedFormatTag(DWORD tag) {
    for (DWORD excluded : kExcludedTags) {
        if (tag == excluded) return true;
    }
    return false;
}

UINT CALLBACK FormatChooserHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        formatChooserState.currentIndex = -1;
        formatChooserState.listedCount = -1;
        return 0;
    case WM_SHOWWINDOW:
        // Posted: the chooser fills its list after this message.
        PostMessageA(GetDlgItem(window, kChooserFormatList), CB_SETCURSEL,
                     WPARAM(formatChooserState.currentIndex), 0);
        return 0;
    case MM_ACM_FORMATCHOOSE:
        if (wParam == FORMATCHOOSE_FORMATTAG_VERIFY) return IsExcludedFormatTag(DWORD(lParam)) ? 1 : 0;
        if (wParam == FORMATCHOOSE_FORMAT_VERIFY && lParam != 0) {
            return VerifyFormat(reinterpret_cast<const WAVEFORMATEX*>(lParam));
        }
        return 0;
    default:
        return 0;
    }
}

MMRESULT RunFormatChooser(HWND owner, WAVEFORMATEX* record, uint32_t formatSize, char* name,
                          size_t nameBytes, char* text, size_t textBytes) {
    ACMFORMATCHOOSEA request;
    std::memset(&request, 0, sizeof(request));
    request.cbStruct = sizeof(request);
    request.fdwStyle = ACMFORMATCHOOSE_STYLEF_ENABLEHOOK;
    // Without a name the chooser starts from the record itself.
    if (name[0] == '\0') request.fdwStyle |= ACMFORMATCHOOSE_STYLEF_INITTOWFXSTRUCT;
    request.hwndOwner = owner;
    request.pwfx = record;
    request.cbwfx = formatSize;
    request.pszName = name;
    request.cchName = DWORD(nameBytes);
    request.pfnHook = FormatChooserHook;

    formatChooserState.initialFormat = record;
    MMRESULT result = acmFormatChooseA(&request);
    if (result == MMSYSERR_NOTSUPPORTED) {
        // A manager without hook support (Wine's) refuses the whole request: the user still
        // gets the chooser, unfiltered, and the format is tested when the Options are applied.
        request.fdwStyle &= ~DWORD(ACMFORMATCHOOSE_STYLEF_ENABLEHOOK);
        request.pfnHook = nullptr;
        result = acmFormatChooseA(&request);
    }
    formatChooserState.initialFormat = nullptr;
    if (result == MMSYSERR_NOERROR && text && textBytes > 0) {
        // The description of the chosen record is the text the chooser's own tag and format
        // strings would give; those come back as garbage from Wine's chooser.
        FormatFitted(text, textBytes, "%s\n", name);
        const size_t used = std::strlen(text);
        DescribeFormat(text + used, int(textBytes - used), formatSize, record);
    }
    return result;
}

void BackToPcm(WAVEFORMATEX* record, char* name) {
    MakePcmFormat(record, kCaptureRate);
    name[0] = '\0';
}
