// CreateOutputChain: builds the output chain that turns captured PCM into track files of the
// chosen format, with one conversion stage or two (through an intermediate PCM format).
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstdint>
#include <memory>

#include "engine/output_sink.h"
#include "output/wave_file.h"

// The stages that decode `input` (any format the codecs read) to the PCM `target` in front of
// `successor`: one codec stage, or two through the PCM the input's codec decodes to. None when
// the codecs know no way. `formatBufferSize` is maxFormatSize.
std::unique_ptr<OutputSink> CreateDecodingChain(const WAVEFORMATEX* input, const WAVEFORMATEX* target,
                                                uint32_t formatBufferSize,
                                                std::unique_ptr<OutputSink> successor);

// Returns the first stage of a new chain, or none when the codec manager knows no way from
// `source` to `chosen`. `chosen` is changed in place (fields the manager suggests put back or
// completed); callers keep and store the changed record. `formatBufferSize` is maxFormatSize:
// `chosen` must have room for it (a buffer of maxFormatSize + 18 bytes).
std::unique_ptr<OutputSink> CreateOutputChain(const WAVEFORMATEX* source, WAVEFORMATEX* chosen,
                                              uint32_t formatBufferSize,
                                              const WaveFileApi& fileApi = WaveFileApi());

// The writer's text while a recording runs in PCM because the chosen format cannot be used.
constexpr char kPcmFallbackMessage[] = "Output format not available: recording PCM";

// The chain a recording starts with, prepared for `blockBytes`: the chosen format's when it
// can be built and prepared (`chosen` is then changed as by CreateOutputChain), otherwise PCM
// at kDefaultOutputRate with kPcmFallbackMessage as the writer's text, `chosen` untouched, so
// the user's choice survives a system that cannot produce it today. `chosenUsable` false goes
// straight to PCM (a stored record that could not even be read). Null only when out of memory.
std::unique_ptr<OutputSink> CreateRecordingChain(const WAVEFORMATEX* source, WAVEFORMATEX* chosen,
                                                 uint32_t formatBufferSize, int32_t blockBytes,
                                                 bool chosenUsable = true);
