// The encoded output formats, as a command line names them: "flac[:LEVEL]" and
// "mp3[:KBPS|vQUALITY]", with the settings each takes. Plain values: the encoders' own headers
// stay behind encode/encoder_stage.h.
#pragma once

#include <string>

constexpr int kFlacMinLevel = 0;
constexpr int kFlacMaxLevel = 8;
constexpr int kFlacDefaultLevel = 5;  // the flac tool's default

constexpr int kMp3MinVbrQuality = 0;  // the best
constexpr int kMp3MaxVbrQuality = 9;
constexpr int kMp3DefaultVbrQuality = 2;

struct Mp3Settings {
    int bitrate = 0;  // kbit/s of a constant bitrate; 0 for variable
    int vbrQuality = kMp3DefaultVbrQuality;
};

// The bitrates of MPEG-1 Layer III (LAME writes it at 32 to 48 kHz), in kbit/s.
constexpr int kMp3Bitrates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr int kMp3BitrateCount = int(sizeof kMp3Bitrates / sizeof kMp3Bitrates[0]);
bool IsMp3Bitrate(int kbps);

enum class EncoderKind { None, Flac, Mp3 };

struct EncoderFormat {
    EncoderKind kind = EncoderKind::None;
    int flacLevel = kFlacDefaultLevel;
    Mp3Settings mp3;
};

enum class EncoderNameResult {
    NotAnEncoder,  // a name for the codec manager ("pcm", a tag): not ours
    Valid,         // `format` is filled
    Invalid,       // "flac" or "mp3" with a level they do not have: `problem` says why
};

// Names are taken without regard to case: "FLAC:8", "mp3:V0".
EncoderNameResult ParseEncoderFormat(const std::string& name, EncoderFormat& format,
                                     std::string& problem);

// "32, 40, ... or 320": the bitrates mp3:KBPS takes.
std::string BitrateList();
