// The output formats grooval-split can be asked for by name: "pcm", or a codec format tag the
// installed codecs can make from 16-bit stereo PCM, named as the codec manager names it
// ("IMA ADPCM") or by its number ("0x0011").
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstdint>
#include <string>
#include <vector>

#include "output/format_record.h"
#include "split/status.h"

struct CodecFormatTag {
    WORD tag = 0;
    std::string name;  // the codec manager's name of the tag
};

// Every format tag but PCM that the codec manager can suggest a format of from `source`.
std::vector<CodecFormatTag> ListCodecFormats(const WAVEFORMATEX* source, uint32_t maxFormatSize);

// True when `name` names this tag: its number, or its name compared without case, spaces or
// punctuation ("ima-adpcm" names "IMA ADPCM").
bool NamesFormatTag(const std::string& name, const CodecFormatTag& tag);

// True when `name` asks for PCM: "pcm" as ChooseOutputFormat takes it, or tag 1.
bool NamesPcm(const std::string& name);

// Fills `chosen` with the format to write for `name`: 16-bit stereo PCM at the source's rate
// for "pcm", otherwise the codec manager's suggestion for that tag (stereo at the source's rate
// when it has one). A usage error when no such format is offered.
SplitStatus ChooseOutputFormat(const std::string& name, const WAVEFORMATEX* source,
                               uint32_t maxFormatSize, FormatBuffer& chosen);
