// The --preview SVG: the side's levels, its cuts and its tracks.
#include "split/preview_svg.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/unique_handle.h"
#include "base/windows_error.h"
#include "engine/stream_format.h"
#include "split/silence_level.h"
#include "split/tool_file.h"
#include "split/utf8_text.h"

namespace {

constexpr int kWidth = 1200;
constexpr int kPlotLeft = 70;  // room for the level scale
constexpr int kPlotRight = kWidth - 20;
constexpr int kPlotTop = 64;
constexpr int kChannelHeight = 110;  // each channel's half of the level panel
constexpr int kCenter = kPlotTop + kChannelHeight;
constexpr int kPlotBottom = kPlotTop + 2 * kChannelHeight;
constexpr int kListTop = kPlotBottom + 80;
constexpr int kListLineHeight = 18;
constexpr int kListTimesAt = 28;  // the list's columns, from the plot's left edge
constexpr int kListLengthAt = 150;
constexpr int kListTitleAt = 220;
constexpr size_t kListTitleCharacters = 60;  // with the file name, the picture's width
constexpr size_t kListFileCharacters = 48;
constexpr char kDash[] = " \xE2\x80\x93 ";  // an en dash between two times
constexpr double kScaleTop = 1000.0;  // above a full-scale sine (604), so nothing is clipped
constexpr int kScaleMarks[] = {1, 10, 100, 1000};
constexpr const char* kTrackFills[] = {"#cfe2f3", "#d9ead3"};
constexpr char kDroppedFill[] = "#c8c8c8";
constexpr char kDeletedFill[] = "#a9a9a9";
constexpr char kLeftFill[] = "#38761d";
constexpr char kRightFill[] = "#0b5394";
constexpr char kPreviewFile[] = "the preview";  // for the tool file's messages
constexpr DWORD kSvgSniffBytes = 1024;  // an SVG names its root element within its first lines

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

// At most `characters` characters of UTF-8 text, an ellipsis in place of the rest.
std::string Shortened(const std::string& text, size_t characters) {
    size_t count = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        const bool starts = (uint8_t(text[at]) & 0xC0) != 0x80;
        if (starts && count++ == characters) return text.substr(0, at) + "\xE2\x80\xA6";
    }
    return text;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}


struct Scale {
    double frames;
    double X(uint64_t frame) const {
        return kPlotLeft + (kPlotRight - kPlotLeft) * (frames > 0 ? double(frame) / frames : 0.0);
    }
    static double Height(double level) {
        const double clamped = std::min(std::max(level, 0.0), kScaleTop);
        return kChannelHeight * std::log10(1.0 + clamped) / std::log10(1.0 + kScaleTop);
    }
};

// One channel as a filled step outline, at most one step per pixel column (its loudest block).
std::string ChannelPath(const SidePreview& side, const Scale& scale, bool left) {
    const size_t blocks = side.levels.size();
    const size_t columns = std::min<size_t>(blocks, size_t(kPlotRight - kPlotLeft));
    const double sign = left ? -1.0 : 1.0;
    std::string path = "M" + Number(kPlotLeft) + "," + Number(kCenter);
    for (size_t column = 0; column < columns; ++column) {
        const size_t first = column * blocks / columns, end = (column + 1) * blocks / columns;
        int32_t loudest = 0;
        for (size_t b = first; b < end; ++b) {
            loudest = std::max<int32_t>(loudest, left ? side.levels[b].left : side.levels[b].right);
        }
        const uint64_t endFrame =
            std::min<uint64_t>(uint64_t(end) * uint64_t(side.blockFrames), side.frames);
        path += "V" + Number(kCenter + sign * Scale::Height(loudest)) + "H" +
                Number(scale.X(endFrame));
    }
    return path + "V" + Number(kCenter) + "Z";
}

std::string Rect(double x0, double x1, int y0, int y1, const char* fill, const char* extra = "") {
    return "<rect x=\"" + Number(x0) + "\" y=\"" + std::to_string(y0) + "\" width=\"" +
           Number(std::max(x1 - x0, 0.5)) + "\" height=\"" + std::to_string(y1 - y0) +
           "\" fill=\"" + fill + "\"" + extra + "/>\n";
}

std::string Text(double x, double y, const std::string& text, const char* extra = "") {
    return "<text x=\"" + Number(x) + "\" y=\"" + Number(y) + "\"" + extra + ">" + Escaped(text) +
           "</text>\n";
}

std::string Line(double x0, double y0, double x1, double y1, const char* style) {
    return "<line x1=\"" + Number(x0) + "\" y1=\"" + Number(y0) + "\" x2=\"" + Number(x1) +
           "\" y2=\"" + Number(y1) + "\" " + style + "/>\n";
}

std::string TrackName(const CueTrack& track) {
    return Utf8FromAnsi(track.file);
}

// Each kept track a coloured span with its number, title and cut, over the whole side in grey
// and the deleted tracks darker.
std::string TrackSpans(const SidePreview& side, const Scale& scale) {
    std::string svg = Rect(kPlotLeft, kPlotRight, kPlotTop, kPlotBottom, kDroppedFill);
    for (const CueTrack& track : side.discarded) {
        svg += Rect(scale.X(track.startFrame), scale.X(track.endFrame), kPlotTop, kPlotBottom,
                    kDeletedFill, " class=\"discarded\"");
    }
    for (size_t i = 0; i < side.tracks.size(); ++i) {
        const CueTrack& track = side.tracks[i];
        const double x0 = scale.X(track.startFrame), x1 = scale.X(track.endFrame);
        svg += "<g class=\"track\" data-number=\"" + std::to_string(track.number) +
               "\" data-start=\"" + std::to_string(track.startFrame) + "\" data-end=\"" +
               std::to_string(track.endFrame) + "\">\n";
        svg += Rect(x0, x1, kPlotTop, kPlotBottom, kTrackFills[i % 2]);
        // A nested viewport clips the labels to the span.
        svg += "<svg x=\"" + Number(x0) + "\" y=\"" + std::to_string(kPlotTop) + "\" width=\"" +
               Number(std::max(x1 - x0, 1.0)) + "\" height=\"40\">\n";
        svg += Text(3, 15, std::to_string(track.number), " font-weight=\"bold\"");
        if (!track.title.empty()) svg += Text(3, 31, track.title, " font-size=\"11\"");
        svg += "</svg>\n";
        svg += Line(x0, kPlotTop, x0, kPlotBottom + 18, "stroke=\"#1c4587\" stroke-width=\"1.5\"");
        svg += Line(x1, kPlotTop, x1, kPlotBottom, "stroke=\"#1c4587\" stroke-dasharray=\"3,2\"");
        svg += Text(x0 + 2, kPlotBottom + 16 + 14 * double(i % 2),
                    std::to_string(track.number) + " @ " +
                        PreviewTime(track.startFrame, side.rate),
                    " font-size=\"11\" fill=\"#1c4587\"");
        svg += "</g>\n";
    }
    return svg;
}

// Both channels' levels, the silence level and the level scale.
std::string Levels(const SidePreview& side, const Scale& scale) {
    std::string svg;
    for (const bool left : {true, false}) {
        svg += "<path d=\"" + ChannelPath(side, scale, left) + "\" fill=\"" +
               (left ? kLeftFill : kRightFill) + "\" opacity=\"0.8\"/>\n";
    }
    svg += Line(kPlotLeft, kCenter, kPlotRight, kCenter, "stroke=\"#666\" stroke-width=\"0.5\"");
    const double silence = Scale::Height(side.threshold);
    for (const double y : {kCenter - silence, kCenter + silence}) {
        svg += Line(kPlotLeft, y, kPlotRight, y,
                    "class=\"silence\" stroke=\"#cc0000\" stroke-dasharray=\"6,3\"");
    }
    svg += Text(kPlotRight - 4, kCenter - silence - 3, SilenceLevelName(side.threshold),
                " text-anchor=\"end\" font-size=\"11\" fill=\"#cc0000\"");
    if (side.floor.found) {
        const double floor = Scale::Height(EngineLevelOfDbfs(side.floor.db));
        for (const double y : {kCenter - floor, kCenter + floor}) {
            svg += Line(kPlotLeft, y, kPlotRight, y,
                        "class=\"floor\" stroke=\"#e69138\" stroke-dasharray=\"2,2\"");
        }
        svg += Text(kPlotLeft + 4, kCenter + floor + 12,
                    "noise floor " + NoiseFloorText(side.floor),
                    " font-size=\"11\" fill=\"#b45f06\"");
    }
    for (const int mark : kScaleMarks) {
        for (const double sign : {-1.0, 1.0}) {
            const double y = kCenter + sign * Scale::Height(mark);
            svg += Line(kPlotLeft - 4, y, kPlotLeft, y, "stroke=\"#444\"");
            svg += Text(kPlotLeft - 6, y + 4, std::to_string(mark),
                        " text-anchor=\"end\" font-size=\"10\"");
        }
    }
    svg += Text(4, kPlotTop + 14, "left", " font-size=\"11\" fill=\"#38761d\"");
    svg += Text(4, kPlotBottom - 4, "right", " font-size=\"11\" fill=\"#0b5394\"");
    return svg;
}

// The time axis: a mark a minute, or every 10 s on a short side.
std::string TimeAxis(const SidePreview& side, const Scale& scale) {
    std::string svg;
    const double seconds = side.rate ? double(side.frames) / side.rate : 0.0;
    const int step = seconds > 180 ? 60 : 10;
    for (int at = 0; at <= int(seconds); at += step) {
        const double x = scale.X(uint64_t(at) * side.rate);
        svg += Line(x, kPlotBottom + 36, x, kPlotBottom + 42, "stroke=\"#444\"");
        char clock[16];
        std::snprintf(clock, sizeof clock, "%d:%02d", at / 60, at % 60);
        svg += Text(x, kPlotBottom + 54, clock, " text-anchor=\"middle\" font-size=\"10\"");
    }
    return svg;
}

// The list, in columns: number, start to end, length, title and file.
std::string TrackList(const SidePreview& side) {
    std::string svg;
    int y = kListTop;
    const auto row = [&](const std::string& number, const CueTrack& track, const std::string& what,
                         const std::string& file) {
        svg += Text(kPlotLeft, y, number, " font-weight=\"bold\"");
        svg += Text(kPlotLeft + kListTimesAt, y,
                    PreviewTime(track.startFrame, side.rate) + kDash +
                        PreviewTime(track.endFrame, side.rate));
        svg += Text(kPlotLeft + kListLengthAt, y,
                    "(" + PreviewTime(track.endFrame - track.startFrame, side.rate) + ")");
        svg += "<text x=\"" + Number(kPlotLeft + kListTitleAt) + "\" y=\"" + Number(y) + "\">" +
               Escaped(Shortened(what, kListTitleCharacters)) +
               "<tspan dx=\"10\" fill=\"#777\">" + Escaped(Shortened(file, kListFileCharacters)) +
               "</tspan></text>\n";
        y += kListLineHeight;
    };
    for (const CueTrack& track : side.tracks) {
        row(std::to_string(track.number), track, track.title, TrackName(track));
    }
    for (const CueTrack& track : side.discarded) {
        row("-", track, "discarded: shorter than the minimum", std::string());
    }
    return svg;
}

}  // namespace

std::string PreviewSvg(const SidePreview& side) {
    const Scale scale{double(side.frames)};
    const size_t listLines = side.tracks.size() + side.discarded.size();
    const int height = kListTop + int(listLines) * kListLineHeight + 16;
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kWidth) +
           "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(kWidth) +
           " " + std::to_string(height) + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += Rect(0, kWidth, 0, height, "white");
    svg += Text(kPlotLeft, 22, side.heading, " font-size=\"16\" font-weight=\"bold\"");
    svg += Text(kPlotLeft, 42, side.subheading, " fill=\"#444\"");
    svg += TrackSpans(side, scale) + Levels(side, scale) + TimeAxis(side, scale) + TrackList(side);
    return svg + "</svg>\n";
}

std::string PreviewTime(uint64_t frames, uint32_t rate) {
    if (rate == 0) rate = 1;
    // Rounded to tenths first, so 59.97 s is "1:00.0", never "0:60.0".
    const uint64_t tenths = (frames * 10 + rate / 2) / rate;
    char text[40];
    std::snprintf(text, sizeof text, "%llu:%02llu.%llu", (unsigned long long)(tenths / 600),
                  (unsigned long long)(tenths / 10 % 60), (unsigned long long)(tenths % 10));
    return text;
}

SplitStatus ProbePreview(const std::string& path) {
    SplitStatus failure;
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        FileHandle made = OpenToolFile(path, kPreviewFile, FileUse::CreateNew, failure);
        if (!made) return failure;
        made.Reset();
        DeleteFileA(path.c_str());
        return SplitStatus();
    }
    FileHandle file = OpenToolFile(path, kPreviewFile, FileUse::Update, failure);
    if (!file) return failure;
    char head[kSvgSniffBytes];
    DWORD read = 0;
    if (!ReadFile(file.Get(), head, sizeof head, &read, nullptr)) {
        return SplitStatus::OutputFailed(
            path, "the file the preview would replace cannot be read (" +
                      WindowsErrorText(GetLastError()) + "); not overwritten");
    }
    if (read == 0 || std::string(head, read).find("<svg") != std::string::npos) {
        return SplitStatus();
    }
    return SplitStatus::OutputFailed(
        path, "not an SVG picture; the preview does not replace it");
}

SplitStatus WritePreview(const std::string& path, const std::string& text) {
    const SplitStatus probed = ProbePreview(path);
    if (!probed.Ok()) return probed;
    return WriteToolFile(path, kPreviewFile, FileUse::Replace, text);
}
