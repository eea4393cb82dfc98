// The values the main window displays: slider seconds, meter positions, the silence-level
// tick and the geometry of the level scale.
#include <gtest/gtest.h>

#include "app/level_scale.h"
#include "engine/track_rules.h"

namespace {

struct SecondsCase {
    int blocks;
    int perSecond;
    const char* separator;
    const char* expected;
};

TEST(SecondsText, BlocksBecomeSecondsWithTheLocaleSeparator) {
    const SecondsCase cases[] = {
        {14, 7, ".", "2.00"},  {10, 7, ".", "1.42"}, {3, 7, ".", "0.42"},
        {140, 7, ".", "20.00"}, {7, 7, ".", "1.00"}, {14, 4, ".", "3.50"},
        {7, 4, ".", "1.75"},   {10, 4, ".", "2.50"}, {140, 4, ".", "35.00"},
        {10, 7, ",", "1,42"},  {13, 7, "", "185"},   {0, 7, ".", "0.00"},
    };
    for (const SecondsCase& c : cases) {
        EXPECT_EQ(SecondsText(c.blocks, c.perSecond, c.separator), c.expected)
            << c.blocks << " blocks at " << c.perSecond;
    }
}

TEST(SecondsText, CaptionFillsTheTablePattern) {
    EXPECT_EQ(SliderCaption("&New Track after %s seconds of silence", 10, 7, "."),
              "&New Track after 1.42 seconds of silence");
    EXPECT_EQ(SliderCaption("&Discard tracks shorter than %s seconds", 3, 4, ","),
              "&Discard tracks shorter than 0,75 seconds");
    // A missing string shows nothing rather than a stray number.
    EXPECT_EQ(SliderCaption("", 10, 7, "."), "");
    // A percent sign in the seconds or the separator is not taken as a format.
    EXPECT_EQ(SliderCaption("%s s", 10, 7, "%d"), "1%d42 s");
}

TEST(MeterValues, PeaksAndLevels) {
    EXPECT_EQ(MeterPosition(32767), 127);
    EXPECT_EQ(MeterPosition(255), 0);
    EXPECT_EQ(MeterPosition(256), 1);
    EXPECT_EQ(MeterPosition(0), 0);
    EXPECT_EQ(TickValue(30, 250), 100);
    EXPECT_EQ(TickValue(250, 30), 100);
    EXPECT_EQ(TickValue(5, 3), 5);
    EXPECT_EQ(TickValue(0, 66), 66);
    EXPECT_EQ(TickValue(100, 0), 100);
}

TEST(LevelScale, BandsStackFromTheBottomAndAreCutAtTheTop) {
    const RECT strip{10, 20, 16, 120};  // h = 99, (h + 5) = 104
    const auto bands = LevelBandRects(strip);
    const int expectedTops[] = {120 - 41, 79 - 20, 59 - 20, 20};  // the red band is cut
    int bottom = strip.bottom;
    for (int i = 0; i < kLevelBands; ++i) {
        EXPECT_EQ(bands[i].left, strip.left);
        EXPECT_EQ(bands[i].right, strip.right);
        EXPECT_EQ(bands[i].bottom, bottom) << "band " << i;
        EXPECT_EQ(bands[i].top, expectedTops[i]) << "band " << i;
        bottom = bands[i].top;
    }
    EXPECT_EQ(kLevelBandTable[0].colour, COLORREF(0x0000C000));
    EXPECT_EQ(kLevelBandTable[1].colour, COLORREF(0x0000FF00));
    EXPECT_EQ(kLevelBandTable[2].colour, COLORREF(0x0000FFFF));
    EXPECT_EQ(kLevelBandTable[3].colour, COLORREF(0x000000FF));
}

TEST(LevelScale, TinyStripStaysInside) {
    const RECT strip{0, 50, 4, 52};
    for (const RECT& band : LevelBandRects(strip)) {
        EXPECT_GE(band.top, strip.top);
        EXPECT_LE(band.top, band.bottom);
    }
}

TEST(LevelScale, HeldPeakLines) {
    const RECT strip{0, 20, 6, 120};  // h = 99
    EXPECT_EQ(HeldPeakLineY(strip, 0), 119);
    EXPECT_EQ(HeldPeakLineY(strip, 255), 119);
    EXPECT_EQ(HeldPeakLineY(strip, 32767), 120 - 99 * 127 / 128 - 1);
    EXPECT_EQ(HeldPeakLineY(strip, 16384), 120 - 99 * 64 / 128 - 1);
}

}  // namespace
