#include "frame/frame_pipeline.h"

#include "expect.h"
#include "recording_link.h"
#include "records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace {

constexpr Rect kRect = {0, 0, 1024, 256};
constexpr PenSpec kFramePen = {0, 0x00FF0000};
constexpr PenSpec kGraphPen = {0, 0x000000FF};
constexpr PenSpec kWavePen = {0, 0x0000FF00};
constexpr PenSpec kBarPen = {30, 0x00FF0000};

// The first-run layout: 14 Peak bands of 73 bins from bin 0, then Power Peak
// Level on the left and on the right audio channel, every zero owed.
void FirstRunLayout(PluginState& state) {
    for (int i = 0; i < kChannelCount; ++i) {
        ChannelConfig& c = state.Channels[i];
        c = i < 14 ? FrequencyChannel(FreqPeak, 73 * i, 73 * (i + 1))
                   : PowerChannel(PowerPeakLevel, i == 15 ? 1 : 0);
        c.FreqStart = 73 * i;
        c.FreqEnd = 73 * (i + 1);
        c.Address = static_cast<uint8_t>(i);
        c.ZeroPending = 1;
    }
}

struct Frame {
    PluginState state;
    RecordingLink link{true};
    LevelSink* sink = &link;
    CheckedCanvas canvas;
    TimedLevel frame = SilentFrame();

    Frame() {
        for (int i = 0; i < kChannelCount; ++i) {
            state.Channels[i].Address = static_cast<uint8_t>(i);
        }
    }
    void Render(const Rect& rect = kRect) { ::Render(state, frame, canvas, rect, sink); }
    void AllFlags(uint8_t on) {
        state.DrawFrequency = state.DrawPower = state.DrawChannels = state.DrawChannelNumbers = on;
    }
};

TEST(Render, OverviewFrameDrawsChannelTwoToTheTopAndSendsItsFullLevel) {
    Frame f;
    FirstRunLayout(f.state);
    f.link.DeviceId = 7;
    f.frame.frequency[0][100] = 255;
    f.Render();

    EXPECT_EQ(f.state.ChannelLevels[1], 100);
    const auto fills = f.canvas.Of(Op::FillSolidRect);
    ASSERT_EQ(fills.size(), 14u);
    EXPECT_EQ(fills[1].rect, (Rect{73, 0, 146, 256}));
    EXPECT_EQ(fills[1].color, 0x0028285Au);
    for (size_t i = 0; i < fills.size(); ++i) {
        if (i != 1) {
            EXPECT_EQ(fills[i].rect.top, 256) << "band " << i;
        }
    }
    const auto texts = f.canvas.Of(Op::DrawTextInRect);
    ASSERT_EQ(texts.size(), 16u);
    EXPECT_EQ(texts[1].text, "2");
    EXPECT_EQ(texts[1].rect, (Rect{73, 226, 146, 256}));
    EXPECT_EQ(texts[1].format, 0x29u);
    EXPECT_EQ(texts[1].textColor, 0x00FFFFFFu);
    EXPECT_TRUE(texts[1].transparent);

    ASSERT_EQ(f.link.sent.size(), 16u);
    for (int i = 0; i < kChannelCount; ++i) {
        EXPECT_EQ(f.link.sent[i], (SentLevel{i, i == 1 ? 100 : 0}));
    }
    EXPECT_EQ(f.link.WireCommands()[1], (LevelCommand{0x00, 7, 0x03, 0x01, 0x81, 0x00}));
}

TEST(Render, LayersBackgroundIndicatorsSpectrumThenWaveformUnderOneFramePenAndBrush) {
    Frame f;
    FirstRunLayout(f.state);
    f.state.Channels[3].FreqMode = FreqGraphWidth;
    f.link.SetOpen(false);
    f.Render();
    const auto& calls = f.canvas.calls;
    ASSERT_GE(calls.size(), 7u);

    // The background brush is the first thing made and the last thing gone;
    // the frame's pen is inside it.
    EXPECT_EQ(calls[0].op, Op::BeginBrush);
    EXPECT_EQ(calls[0].color, 0x00000000u);
    EXPECT_EQ(calls[1].op, Op::FillRect);
    EXPECT_EQ(calls[1].rect, kRect);
    EXPECT_EQ(calls[2].op, Op::BeginPen);
    EXPECT_EQ((PenSpec{calls[2].width, calls[2].color}), kFramePen);
    EXPECT_EQ(calls[3].op, Op::SetBkModeTransparent);
    EXPECT_EQ(calls[4].op, Op::SetTextColor);
    EXPECT_EQ(calls[4].color, 0x00FFFFFFu);
    EXPECT_EQ(calls[calls.size() - 2].op, Op::EndPen);
    EXPECT_EQ(calls.back().op, Op::EndBrush);

    const int lastIndicator = [&] {
        int last = -1;
        for (size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].op == Op::FillSolidRect ||
                (calls[i].op == Op::DrawTextInRect && calls[i].transparent)) {
                last = static_cast<int>(i);
            }
        }
        return last;
    }();
    const int graph = f.canvas.IndexOf(Op::BeginPen, kGraphPen);
    const int wave = f.canvas.IndexOf(Op::BeginPen, kWavePen);
    const int error = f.canvas.IndexOf(Op::SetBkModeOpaque);
    EXPECT_LT(f.canvas.IndexOf(Op::BeginPen, kBarPen), lastIndicator);
    EXPECT_LT(lastIndicator, graph);
    EXPECT_LT(graph, wave);
    EXPECT_LT(wave, error);
    // Everything drawn in between uses the frame's pen or a pen of its own.
    for (const Segment& s : f.canvas.Segments()) {
        EXPECT_NE(s.pen, kEntryPen);
    }
    EXPECT_EQ(f.canvas.pensCreated, f.canvas.pensDeleted);
    EXPECT_EQ(f.canvas.brushesCreated, f.canvas.brushesDeleted);
}

TEST(Render, AllGraphicsOffWithPortOpenOnlyFillsBlack) {
    Frame f;
    FirstRunLayout(f.state);
    f.AllFlags(0);
    f.frame.frequency[0][100] = 255;
    f.Render({5, 6, 700, 400});
    const Op expected[] = {Op::BeginBrush,   Op::FillRect, Op::BeginPen, Op::SetBkModeTransparent,
                           Op::SetTextColor, Op::EndPen,   Op::EndBrush};
    ASSERT_EQ(f.canvas.calls.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(f.canvas.calls[i].op, expected[i]) << i;
    }
    EXPECT_EQ(f.canvas.calls[1].rect, (Rect{5, 6, 700, 400}));
    EXPECT_EQ(f.link.sent.size(), 16u); // the controller is still driven
}

TEST(Render, NumbersWithoutIndicatorsDrawNoNumbers) {
    Frame f;
    FirstRunLayout(f.state);
    f.state.DrawChannels = 0;
    f.Render();
    EXPECT_TRUE(f.canvas.Of(Op::DrawTextInRect).empty());
    EXPECT_TRUE(f.canvas.Of(Op::FillSolidRect).empty());
    EXPECT_EQ(f.canvas.SegmentsWith(kGraphPen).size(), 1023u);
    EXPECT_EQ(f.canvas.SegmentsWith(kWavePen).size(), 1023u);
}

TEST(Render, ClosedPortDrawsTheRedNoticeLastAndSendsNothing) {
    Frame f;
    FirstRunLayout(f.state);
    f.link.SetOpen(false);
    f.Render({0, 0, 640, 480});
    EXPECT_TRUE(f.link.sent.empty());
    const auto& calls = f.canvas.calls;
    const size_t n = calls.size();
    ASSERT_GE(n, 5u);
    EXPECT_EQ(calls[n - 5].op, Op::SetBkModeOpaque);
    EXPECT_EQ(calls[n - 4].op, Op::SetTextColor);
    EXPECT_EQ(calls[n - 4].color, 0x000000FFu);
    EXPECT_EQ(calls[n - 3].op, Op::DrawTextInRect);
    EXPECT_EQ(calls[n - 3].text, "ERROR: Unable to open serial port");
    EXPECT_EQ(calls[n - 3].rect, (Rect{0, 0, 640, 480}));
    EXPECT_EQ(calls[n - 3].format, 0u);
    EXPECT_FALSE(calls[n - 3].transparent);
    for (const ChannelConfig& c : f.state.Channels) {
        EXPECT_EQ(c.ZeroPending, 1);
    }
}

TEST(Render, MissingLinkReadsAsClosedPort) {
    Frame f;
    FirstRunLayout(f.state);
    f.state.Channels[4].Enabled = 0;
    f.sink = nullptr;
    f.AllFlags(0);
    f.Render();
    const auto texts = f.canvas.Of(Op::DrawTextInRect);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, kPortErrorText);
    EXPECT_EQ(f.state.Channels[4].ZeroPending, 1);
    EXPECT_TRUE(f.link.sent.empty());
}

TEST(Render, OwedZerosGoOutOnceInChannelOrderAndOnlyWhenThePortIsOpen) {
    Frame f;
    FirstRunLayout(f.state);
    for (ChannelConfig& c : f.state.Channels) {
        c.Enabled = 0;
    }
    f.link.SetOpen(false);
    f.Render();
    f.Render();
    EXPECT_TRUE(f.link.sent.empty());

    f.link.SetOpen(true);
    f.Render();
    ASSERT_EQ(f.link.sent.size(), 16u);
    for (int i = 0; i < kChannelCount; ++i) {
        EXPECT_EQ(f.link.sent[i], (SentLevel{i, 0}));
        EXPECT_EQ(f.link.circuits[i], kNoCircuit) << "a network frame starts dark anyway";
        EXPECT_EQ(f.state.Channels[i].ZeroPending, 0);
    }
    f.Render();
    f.Render();
    EXPECT_EQ(f.link.sent.size(), 16u);
}

TEST(Render, EnabledChannelsSendTheirOwnUnclampedLevelEveryFrameUnderTheirPosition) {
    Frame f;
    // Power Peak Level over a waveform all below the middle: negative.
    f.state.Channels[0] = PowerChannel(PowerPeakLevel);
    // Normalized: a quiet band after loud frames lies above 100.
    f.state.Channels[2] = FrequencyChannel(FreqNormalized, 0, 10);
    std::fill(std::begin(f.state.Channels[2].History), std::end(f.state.Channels[2].History), 255);
    // Addresses only pick what is shown, never what is sent.
    f.state.Channels[5] = FrequencyChannel(FreqPeak, 20, 30);
    f.state.Channels[5].Address = 0;
    f.state.Channels[9] = FrequencyChannel(FreqPeak, 20, 30);
    f.state.Channels[9].Enabled = 0; // disabled, nothing owed: never sent
    std::fill(std::begin(f.frame.waveform[0]), std::end(f.frame.waveform[0]), 27);
    std::fill(f.frame.frequency[0] + 20, f.frame.frequency[0] + 30, 255);

    f.Render();
    f.Render();
    ASSERT_EQ(f.link.sent.size(), 6u);
    for (int n = 0; n < 2; ++n) {
        EXPECT_EQ(f.link.sent[3 * n + 0], (SentLevel{0, -78}));
        EXPECT_EQ(f.link.sent[3 * n + 1].channel, 2);
        EXPECT_GT(f.link.sent[3 * n + 1].level, 100);
        EXPECT_EQ(f.link.sent[3 * n + 2], (SentLevel{5, 100}));
    }
    EXPECT_EQ(f.link.sent[4].level, f.state.ChannelLevels[2]);
    // A network output puts each level into the slot of its record's Address.
    EXPECT_EQ(f.link.circuits[0], f.state.Channels[0].Address);
    EXPECT_EQ(f.link.circuits[2], 0) << "record 5's Address";
    EXPECT_EQ(f.link.WireCommands()[0][3], 0xD3); // below 0 goes out as 0
    EXPECT_EQ(f.link.WireCommands()[1][3], 0x01); // above 100 as 100
}

TEST(Render, ResetsLevelsAndBarRowsEveryFrame) {
    Frame f;
    f.state.Channels[3] = FrequencyChannel(FreqGraphWidth, 0, 0);
    f.state.Channels[3].Address = 3;
    f.state.ChannelLevels[6] = 55;
    f.state.BarCounter = 7;
    f.Render();
    f.Render();
    EXPECT_EQ(f.state.ChannelLevels[6], 0);
    EXPECT_EQ(f.state.BarCounter, 1);
    const auto bars = f.canvas.SegmentsWith(kBarPen);
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[0].y0, 15);
    EXPECT_EQ(bars[1].y0, 15);
}

TEST(Render, FailedBrushOrPenReleasesOnlyWhatWasMadeAndTheFrameStillGoesOut) {
    {
        Frame f;
        FirstRunLayout(f.state);
        f.canvas.brushFails = [](Color) { return true; };
        f.Render();
        EXPECT_TRUE(f.canvas.Of(Op::FillRect).empty());
        EXPECT_TRUE(f.canvas.Of(Op::EndBrush).empty());
        EXPECT_EQ(f.canvas.pensCreated, f.canvas.pensDeleted);
        EXPECT_EQ(f.link.sent.size(), 16u);
    }
    {
        Frame f;
        FirstRunLayout(f.state);
        f.canvas.penFails = [](int32_t width, Color color) {
            return PenSpec{width, color} == kFramePen;
        };
        f.Render();
        EXPECT_EQ(f.canvas.Of(Op::BeginPen).size(), 5u); // frame, 2 power lines, graph, wave
        EXPECT_EQ(f.canvas.Of(Op::EndPen).size(), 4u);
        EXPECT_EQ(f.canvas.Of(Op::EndBrush).size(), 1u);
        EXPECT_EQ(f.link.sent.size(), 16u);
    }
}

} // namespace
