#include "display/drawing.h"

#include "expect.h"
#include "records.h"

#include <gtest/gtest.h>

namespace {

constexpr Color kBandColor = 0x0028285A;
constexpr PenSpec kBarPen = {30, 0x00FF0000};
constexpr PenSpec kPowerPen = {1, 0x00285A28};
constexpr PenSpec kWavePen = {0, 0x0000FF00};
constexpr unsigned kBandLabel = 0x29; // single line, bottom, centre
constexpr unsigned kBarLabel = 0x24;  // single line, vertical centre
constexpr unsigned kLineLabel = 0x28; // single line, bottom

ChannelConfig At(ChannelConfig c, int address) {
    c.Address = static_cast<uint8_t>(address);
    return c;
}

// One indicator drawn alone, with ChannelLevels[address] = level.
struct Indicator {
    PluginState state;
    CheckedCanvas canvas;

    void Draw(const ChannelConfig& channel, int32_t level, const Rect& rect) {
        if (channel.Address < kChannelCount) {
            state.ChannelLevels[channel.Address] = level;
        }
        DrawChannelIndicator(state, channel, canvas, rect);
    }
};

TEST(DrawChannelIndicator, BandFillsFreqRangeUpToLevelShareOfHeightWithLabelUnderIt) {
    Indicator d;
    // Height 200, offset from the origin: level 50 reaches half-way up.
    d.Draw(At(FrequencyChannel(FreqPeak, 73, 146), 2), 50, {10, 20, 810, 220});
    const auto fills = d.canvas.Of(Op::FillSolidRect);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].rect, (Rect{83, 120, 156, 220}));
    EXPECT_EQ(fills[0].color, kBandColor);
    const auto texts = d.canvas.Of(Op::DrawTextInRect);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "3");
    EXPECT_EQ(texts[0].rect, (Rect{83, 190, 156, 220}));
    EXPECT_EQ(texts[0].format, kBandLabel);
    EXPECT_TRUE(d.canvas.Of(Op::BeginPen).empty());
}

TEST(DrawChannelIndicator, BandTopFollowsLevelWithFloatCentAndTruncationTowardZero) {
    struct Case {
        Rect rect;
        int32_t level;
        int32_t top;
    } cases[] = {
        {{0, 0, 1024, 256}, 100, 0},      // 256 - 255.99999.. truncates to the top
        {{0, 0, 1024, 256}, 0, 256},      // empty band
        {{0, 0, 1024, 200}, 50, 100},     // 200 - 99.99999.. lies just above 100
        {{0, -100, 1024, 100}, 100, -99}, // -99.99999.. truncates toward zero, not down
        {{0, 0, 1024, 256}, 150, -127},   // not clamped; -127.99.. truncates toward zero
        {{0, 0, 1024, 256}, -20, 307},    // below the bottom: an inverted band
        {{0, 0, 1024, 256}, 33, 171},     // 256 - 84.479998.. = 171.52..
    };
    for (const Case& c : cases) {
        Indicator d;
        d.Draw(FrequencyChannel(FreqAverage, 0, 10), c.level, c.rect);
        const auto fills = d.canvas.Of(Op::FillSolidRect);
        ASSERT_EQ(fills.size(), 1u);
        EXPECT_EQ(fills[0].rect.top, c.top) << "level " << c.level << " in " << c.rect;
        EXPECT_EQ(fills[0].rect.bottom, c.rect.bottom);
    }
}

TEST(DrawChannelIndicator, EmptyBandStillShowsItsNumber) {
    Indicator d;
    d.Draw(At(FrequencyChannel(FreqNormalized, 300, 400), 4), 0, {0, 0, 1024, 256});
    const auto texts = d.canvas.Of(Op::DrawTextInRect);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "5");
    EXPECT_EQ(texts[0].rect, (Rect{300, 226, 400, 256}));
}

TEST(DrawChannelIndicator, GraphWidthBarsStackInRowsInTableOrderAndDisabledOnesTakeNone) {
    PluginState state;
    CheckedCanvas canvas;
    const Rect rect{0, 40, 1024, 296};
    for (int i = 0; i < kChannelCount; ++i) {
        state.Channels[i] = At(FrequencyChannel(FreqGraphWidth, 0, 0), i);
        // The disabled graph-width channels in between take no row.
        state.Channels[i].Enabled = (i == 2 || i == 5 || i == 9) ? 1 : 0;
        state.ChannelLevels[i] = 10 * i;
    }
    for (const ChannelConfig& c : state.Channels) {
        DrawChannelIndicator(state, c, canvas, rect);
    }
    EXPECT_EQ(state.BarCounter, 3);

    const auto bars = canvas.SegmentsWith(kBarPen);
    ASSERT_EQ(bars.size(), 3u);
    const int32_t ys[] = {55, 85, 115};
    const int32_t ends[] = {204, 511,
                            921}; // trunc(1024 x level x 0.01f): 204.79.., 511.99.., 921.59..
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(bars[n].x0, 0);
        EXPECT_EQ(bars[n].y0, ys[n]);
        EXPECT_EQ(bars[n].x1, ends[n]);
        EXPECT_EQ(bars[n].y1, ys[n]);
    }
    const auto texts = canvas.Of(Op::DrawTextInRect);
    ASSERT_EQ(texts.size(), 3u);
    const char* labels[] = {"3", "6", "10"};
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(texts[n].text, labels[n]);
        EXPECT_EQ(texts[n].rect, (Rect{0, 40 + 30 * n, 1024, 70 + 30 * n}));
        EXPECT_EQ(texts[n].format, kBarLabel);
        // The label comes after the bar's pen is gone.
        EXPECT_EQ(texts[n].pen, kEntryPen);
    }
    EXPECT_EQ(canvas.pensCreated, 3);
    EXPECT_EQ(canvas.pensDeleted, 3);
}

TEST(DrawChannelIndicator, FullGraphWidthBarEndsOneShortOfTheWidth) {
    Indicator d;
    d.Draw(FrequencyChannel(FreqGraphWidth, 0, 0), 100, {0, 0, 1024, 256});
    d.Draw(FrequencyChannel(FreqGraphWidth, 0, 0), 100, {-24, 0, 1000, 256});
    const auto bars = d.canvas.SegmentsWith(kBarPen);
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[0].x1, 1023);
    EXPECT_EQ(bars[1].x0, -24);
    EXPECT_EQ(bars[1].x1, 999);
    EXPECT_EQ(bars[1].y0, 45); // second row
}

TEST(DrawChannelIndicator, PowerLineSitsOnTheWaveformScaleAndRunsFullLayoutWidth) {
    struct Case {
        int32_t level;
        int32_t k; // steps above the bottom, for height 256
    } cases[] = {{0, 127}, {100, 253}, {50, 190}, {-50, 64}, {-99, 2}, {255, 450}};
    for (const Case& c : cases) {
        Indicator d;
        d.Draw(At(PowerChannel(PowerPeakLevel), 14), c.level, {0, 0, 800, 256});
        const auto lines = d.canvas.SegmentsWith(kPowerPen);
        ASSERT_EQ(lines.size(), 1u) << "level " << c.level;
        EXPECT_EQ(lines[0].x0, 0);
        EXPECT_EQ(lines[0].x1, 1024); // past the 800-wide rectangle
        EXPECT_EQ(lines[0].y0, 256 - c.k) << "level " << c.level;
        EXPECT_EQ(lines[0].y1, 256 - c.k);
        const auto texts = d.canvas.Of(Op::DrawTextInRect);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].text, "15");
        EXPECT_EQ(texts[0].rect, (Rect{0, 256 - c.k - 20, 800, 256 - c.k}));
        EXPECT_EQ(texts[0].format, kLineLabel);
    }
}

TEST(DrawChannelIndicator, PowerLineScalesStepsToTheHeightAndTruncates) {
    Indicator d;
    // Height 100 at an offset: 127 steps are 49.6 pixels, 253 are 98.8.
    d.Draw(PowerChannel(PowerAverageLevel), 0, {50, 300, 600, 400});
    d.Draw(PowerChannel(PowerAverageLevel), 100, {50, 300, 600, 400});
    const auto lines = d.canvas.SegmentsWith(kPowerPen);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].y0, 400 - 49);
    EXPECT_EQ(lines[1].y0, 400 - 98);
    EXPECT_EQ(lines[1].x0, 50);
    EXPECT_EQ(lines[1].x1, 50 + 1024);
}

TEST(DrawChannelIndicator, DisabledBeatDetectionAndUnknownModesDrawNothingNotEvenANumber) {
    ChannelConfig disabled = FrequencyChannel(FreqPeak, 0, 100);
    disabled.Enabled = 0;
    ChannelConfig beat = FrequencyChannel(FreqPeak, 0, 100);
    beat.Mode = ModeBeatDetection;
    ChannelConfig unknownFreq = FrequencyChannel(4, 0, 100);
    ChannelConfig unknownMode = FrequencyChannel(FreqPeak, 0, 100);
    unknownMode.Mode = -1;
    for (const ChannelConfig& c : {disabled, beat, unknownFreq, unknownMode}) {
        Indicator d;
        d.Draw(c, 80, {0, 0, 1024, 256});
        EXPECT_TRUE(d.canvas.calls.empty());
        EXPECT_EQ(d.state.BarCounter, 0);
    }
}

TEST(DrawChannelIndicator, NumbersOffDrawsTheShapesOnly) {
    Indicator d;
    d.state.DrawChannelNumbers = 0;
    d.Draw(FrequencyChannel(FreqPeak, 0, 100), 50, {0, 0, 1024, 256});
    d.Draw(FrequencyChannel(FreqGraphWidth, 0, 0), 50, {0, 0, 1024, 256});
    d.Draw(PowerChannel(PowerPeakCount), 50, {0, 0, 1024, 256});
    EXPECT_TRUE(d.canvas.Of(Op::DrawTextInRect).empty());
    EXPECT_EQ(d.canvas.Of(Op::FillSolidRect).size(), 1u);
    EXPECT_EQ(d.canvas.Segments().size(), 2u);
    EXPECT_EQ(d.state.BarCounter, 1); // the row is taken even without its number
}

TEST(DrawChannelIndicator, ShowsTheLevelAndNumberOfItsAddressNotItsPosition) {
    PluginState state;
    CheckedCanvas canvas;
    for (int i = 0; i < kChannelCount; ++i) {
        state.ChannelLevels[i] = i == 7 ? 100 : 0;
    }
    DrawChannelIndicator(state, At(FrequencyChannel(FreqPeak, 0, 50), 7), canvas,
                         {0, 0, 1024, 256});
    ASSERT_EQ(canvas.Of(Op::FillSolidRect).size(), 1u);
    EXPECT_EQ(canvas.Of(Op::FillSolidRect)[0].rect.top, 0);
    EXPECT_EQ(canvas.Of(Op::DrawTextInRect)[0].text, "8");
}

TEST(DrawChannelIndicator, AddressPastTheTableShowsLevelZero) {
    PluginState state;
    CheckedCanvas canvas;
    for (int32_t& level : state.ChannelLevels) {
        level = 77;
    }
    const Rect rect{0, 0, 1024, 256};
    DrawChannelIndicator(state, At(FrequencyChannel(FreqPeak, 0, 50), 16), canvas, rect);
    DrawChannelIndicator(state, At(PowerChannel(PowerPeakLevel), 255), canvas, rect);
    DrawChannelIndicator(state, At(FrequencyChannel(FreqGraphWidth, 0, 0), 200), canvas, rect);

    const auto fills = canvas.Of(Op::FillSolidRect);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].rect.top, 256);
    ASSERT_EQ(canvas.SegmentsWith(kPowerPen).size(), 1u);
    EXPECT_EQ(canvas.SegmentsWith(kPowerPen)[0].y0, 256 - 127);
    ASSERT_EQ(canvas.SegmentsWith(kBarPen).size(), 1u);
    EXPECT_EQ(canvas.SegmentsWith(kBarPen)[0].x1, 0);
    const auto texts = canvas.Of(Op::DrawTextInRect);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].text, "17");
    EXPECT_EQ(texts[1].text, "256");
    EXPECT_EQ(texts[2].text, "201");
}

TEST(DrawChannelIndicator, PenThatCannotBeCreatedLeavesLinesToTheSelectedPen) {
    Indicator d;
    d.canvas.penFails = [](int32_t, Color) { return true; };
    d.Draw(FrequencyChannel(FreqGraphWidth, 0, 0), 50, {0, 0, 1024, 256});
    d.Draw(PowerChannel(PowerPeakLevel), 50, {0, 0, 1024, 256});
    ASSERT_EQ(d.canvas.Segments().size(), 2u);
    EXPECT_EQ(d.canvas.Segments()[0].pen, kEntryPen);
    EXPECT_EQ(d.canvas.Segments()[1].pen, kEntryPen);
    EXPECT_TRUE(d.canvas.Of(Op::EndPen).empty());
    EXPECT_EQ(d.canvas.Of(Op::DrawTextInRect).size(), 2u);
    EXPECT_EQ(d.state.BarCounter, 1);
}

// Spectrum and waveform.

TimedLevel RampFrame() {
    TimedLevel f = SilentFrame();
    for (int i = 0; i < kBinCount; ++i) {
        f.frequency[0][i] = static_cast<unsigned char>(i % 256);
        f.frequency[1][i] = 255; // the right channel is never drawn
        f.waveform[0][i] = static_cast<unsigned char>((i * 7) % 256);
        f.waveform[1][i] = 0;
    }
    return f;
}

struct Columns {
    int32_t first;
    int32_t last;
    size_t count;
};

Columns ColumnsOf(const std::vector<Segment>& lines) {
    if (lines.empty()) {
        return {0, -1, 0};
    }
    return {lines.front().x1, lines.back().x1, lines.size()};
}

TEST(DrawFrequencyGraph, ColumnXShowsBinXPlusOneFromTheBottomInForegroundColor) {
    PluginState state;
    CheckedCanvas canvas;
    TimedLevel frame = RampFrame();
    frame.frequency[0][0] = 255; // bin 0 is never drawn
    DrawFrequencyGraph(state, frame, canvas, {0, 0, 1024, 256});

    const auto lines = canvas.Segments();
    ASSERT_EQ(lines.size(), 1023u);
    for (int32_t x = 0; x < 1023; ++x) {
        const Segment& s = lines[x];
        ASSERT_EQ(s.pen, (PenSpec{0, 0x000000FF}));
        ASSERT_EQ(s.x0, x);
        ASSERT_EQ(s.y0, 256);
        ASSERT_EQ(s.x1, x);
        ASSERT_EQ(s.y1, 256 - (x + 1) % 256) << "column " << x;
    }
    EXPECT_EQ(canvas.pensCreated, 1);
    EXPECT_EQ(canvas.pensDeleted, 1);
}

TEST(DrawFrequencyGraph, ScalesBinValuesToTheHeightTruncating) {
    PluginState state;
    CheckedCanvas canvas;
    TimedLevel frame = SilentFrame();
    frame.frequency[0][1] = 255; // 200 x 255 / 256 = 199.2
    frame.frequency[0][2] = 128; // mid-height
    frame.frequency[0][3] = 1;   // 0.78: no length
    DrawFrequencyGraph(state, frame, canvas, {0, 300, 1024, 500});
    const auto lines = canvas.Segments();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].y1, 500 - 199);
    EXPECT_EQ(lines[1].y1, 400);
    EXPECT_EQ(lines[2].y1, 500);
}

TEST(DrawFrequencyGraph, StopsAtTheRectangleTheColumnLimitAndTheLastBin) {
    struct Case {
        Rect rect;
        Columns columns;
        int32_t lastBin;
    } cases[] = {
        {{0, 0, 800, 256}, {0, 799, 800}, 800},
        {{100, 0, 1124, 256}, {100, 1022, 923}, 923},
        {{-50, 0, 1100, 256}, {-50, 972, 1023}, 1023}, // the column limit alone would read past it
        {{-2000, 0, 1024, 256}, {-2000, -978, 1023}, 1023},
        {{1023, 0, 2047, 256}, {0, -1, 0}, 0},
        {{300, 0, 300, 256}, {0, -1, 0}, 0},
    };
    TimedLevel frame = SilentFrame();
    for (int i = 0; i < kBinCount; ++i) {
        frame.frequency[0][i] = static_cast<unsigned char>(i % 200 + 1);
    }
    for (const Case& c : cases) {
        PluginState state;
        CheckedCanvas canvas;
        DrawFrequencyGraph(state, frame, canvas, c.rect);
        const auto lines = canvas.Segments();
        const Columns got = ColumnsOf(lines);
        EXPECT_EQ(got.count, c.columns.count) << c.rect;
        if (c.columns.count == 0) {
            continue;
        }
        EXPECT_EQ(got.first, c.columns.first) << c.rect;
        EXPECT_EQ(got.last, c.columns.last) << c.rect;
        EXPECT_EQ(lines.back().y1, 256 - (c.lastBin % 200 + 1)) << c.rect;
        EXPECT_EQ(lines.front().y1, 256 - 2) << c.rect; // bin 1
    }
}

TEST(DrawFrequencyGraph, PenFollowsForegroundColor) {
    PluginState state;
    CheckedCanvas canvas;
    const TimedLevel frame = RampFrame();
    DrawFrequencyGraph(state, frame, canvas, {0, 0, 1024, 256});
    state.foregroundColor = 0x0000FF00;
    DrawFrequencyGraph(state, frame, canvas, {0, 0, 1024, 256});
    const auto pens = canvas.Of(Op::BeginPen);
    ASSERT_EQ(pens.size(), 2u);
    EXPECT_EQ(pens[0].color, 0x000000FFu);
    EXPECT_EQ(pens[1].color, 0x0000FF00u);
    EXPECT_EQ(pens[1].width, 0);
}

TEST(DrawFrequencyGraph, PenThatCannotBeCreatedDrawsWithTheSelectedOneAndEndsNothing) {
    PluginState state;
    CheckedCanvas canvas;
    canvas.penFails = [](int32_t, Color) { return true; };
    DrawFrequencyGraph(state, RampFrame(), canvas, {0, 0, 1024, 256});
    EXPECT_EQ(canvas.SegmentsWith(kEntryPen).size(), 1023u);
    EXPECT_TRUE(canvas.Of(Op::EndPen).empty());
}

TEST(DrawPowerWaveform, PolylineStartsAtSampleZeroThenColumnXShowsSampleXPlusOne) {
    CheckedCanvas canvas;
    TimedLevel frame = RampFrame();
    frame.waveform[0][0] = 0;
    frame.waveform[0][1] = 255;
    DrawPowerWaveform(frame, canvas, {0, 0, 1024, 256});

    const auto moves = canvas.Of(Op::MoveTo);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].x, 0);
    EXPECT_EQ(moves[0].y, 256);
    const auto lines = canvas.Segments();
    ASSERT_EQ(lines.size(), 1023u);
    // The first segment rises in column 0 from sample 0 to sample 1.
    EXPECT_EQ(lines[0].x0, 0);
    EXPECT_EQ(lines[0].y0, 256);
    EXPECT_EQ(lines[0].x1, 0);
    EXPECT_EQ(lines[0].y1, 1);
    for (int32_t x = 1; x < 1023; ++x) {
        ASSERT_EQ(lines[x].pen, kWavePen);
        ASSERT_EQ(lines[x].x1, x);
        ASSERT_EQ(lines[x].y1, 256 - ((x + 1) * 7) % 256) << "column " << x;
    }
}

TEST(DrawPowerWaveform, SilenceLiesAtMidHeightAndStopsWithTheGraph) {
    const TimedLevel frame = SilentFrame();
    struct Case {
        Rect rect;
        Columns columns;
    } cases[] = {
        {{0, 0, 800, 256}, {0, 799, 800}},
        {{100, 50, 1124, 250}, {100, 1022, 923}},
        {{-50, 0, 1100, 256}, {-50, 972, 1023}},
    };
    for (const Case& c : cases) {
        CheckedCanvas canvas;
        DrawPowerWaveform(frame, canvas, c.rect);
        const auto lines = canvas.Segments();
        const Columns got = ColumnsOf(lines);
        EXPECT_EQ(got.count, c.columns.count) << c.rect;
        EXPECT_EQ(got.first, c.columns.first) << c.rect;
        EXPECT_EQ(got.last, c.columns.last) << c.rect;
        const int32_t mid = c.rect.bottom - (c.rect.bottom - c.rect.top) / 2;
        for (const Segment& s : lines) {
            ASSERT_EQ(s.y1, mid) << c.rect;
        }
    }
}

} // namespace
