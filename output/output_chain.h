// CreateOutputChain: builds the output chain that turns captured PCM into track files of the
// chosen format, with one conversion stage or two (through an intermediate PCM format).
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstdint>
#include <memory>

#include "output/output_sink.h"

// Returns the first stage of a new chain, or none when the codec manager knows no way from
// `source` to `chosen`. `chosen` is changed in place (fields the manager suggests put back or
// completed); callers keep and store the changed record. `formatBufferSize` is maxFormatSize:
// `chosen` must have room for it (a buffer of maxFormatSize + 18 bytes).
std::unique_ptr<OutputSink> CreateOutputChain(const WAVEFORMATEX* source, WAVEFORMATEX* chosen,
                                              uint32_t formatBufferSize);
