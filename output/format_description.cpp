// DescribeFormat through the codec manager's tag and format details.
#include "output/format_description.h"

#include <msacm.h>

#include <cstring>

#include "output/text_fit.h"

static_assert(sizeof(ACMFORMATDETAILSA) == 152, "the manager expects a 152-byte request");
static_assert(sizeof(ACMFORMATTAGDETAILSA) == 72, "the manager expects a 72-byte request");

void DescribeFormat(char* text, int size, uint32_t formatSize, const WAVEFORMATEX* format) {
    if (size <= 0) return;
    text[0] = '\0';

    ACMFORMATDETAILSA details;
    std::memset(&details, 0, sizeof(details));
    details.cbStruct = sizeof(details);
    details.dwFormatIndex = 0;
    details.dwFormatTag = format->wFormatTag;
    details.pwfx = const_cast<WAVEFORMATEX*>(format);  // only read by the manager
    details.cbwfx = formatSize;
    if (acmFormatDetailsA(nullptr, &details, ACM_FORMATDETAILSF_FORMAT) != MMSYSERR_NOERROR) return;

    ACMFORMATTAGDETAILSA tag;
    std::memset(&tag, 0, sizeof(tag));
    tag.cbStruct = sizeof(tag);
    tag.dwFormatTagIndex = details.dwFormatIndex;
    tag.dwFormatTag = format->wFormatTag;
    if (acmFormatTagDetailsA(nullptr, &tag, ACM_FORMATTAGDETAILSF_FORMATTAG) != MMSYSERR_NOERROR) {
        tag.szFormatTag[0] = '\0';
    }
    FormatFitted(text, size_t(size), "%s, %d KB/s\n%s", tag.szFormatTag, KilobytesPerSecond(format),
                 details.szFormat);
}
