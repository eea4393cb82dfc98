// DescribeFormat: the two-line text by which a format record is shown, "<tag name>, <n> KB/s"
// and the codec manager's description of the format.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstdint>

// Writes the description into `text` (`size` bytes, cut at a whole character when it does not
// fit); an empty text when the codec manager cannot describe the format. `formatSize` is the
// size of the record's buffer as the manager should see it (maxFormatSize).
void DescribeFormat(char* text, int size, uint32_t formatSize, const WAVEFORMATEX* format);

// The byte rate in units of 1024 bytes, to the nearest unit: 176400 gives 172.
inline int KilobytesPerSecond(const WAVEFORMATEX* format) {
    return int((format->nAvgBytesPerSec + 512) / 1024);
}
