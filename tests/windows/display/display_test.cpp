// The frame pipeline drawing through the GDI canvas into a 1024 x 256 DIB
// section, read back pixel by pixel.
#include "display/win32/gdi_canvas.h"
#include "frame/win32/render_frame.h"

#include "common/win32/dib_surface.h"
#include "recording_link.h"
#include "records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr COLORREF kBlackPx = RGB(0, 0, 0);
constexpr COLORREF kWhitePx = RGB(255, 255, 255);
constexpr COLORREF kRedPx = RGB(255, 0, 0);
constexpr COLORREF kGreenPx = RGB(0, 255, 0);
constexpr COLORREF kBluePx = RGB(0, 0, 255);
constexpr COLORREF kBandPx = RGB(90, 40, 40);
constexpr COLORREF kPowerLinePx = RGB(40, 90, 40);

ChannelConfig Channel(int address, int32_t mode, int32_t freqMode, int32_t start, int32_t end) {
    ChannelConfig c = FrequencyChannel(freqMode, start, end);
    c.Address = static_cast<uint8_t>(address);
    c.Mode = mode;
    return c;
}

class Display : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(surface.ok());
        surface.Fill(kWhitePx);
        state.DrawFrequency = state.DrawPower = state.DrawChannels = 0;
        for (int i = 0; i < kChannelCount; ++i) {
            state.Channels[i].Address = static_cast<uint8_t>(i);
        }
    }

    HRESULT Render() {
        const RECT rect = surface.rect();
        return RenderFrame(state, &link, &frame, surface.dc(), &rect);
    }

    RECT Area(int left, int top, int right, int bottom) const {
        return RECT{left, top, right, bottom};
    }
    RECT Whole() const { return surface.rect(); }
    int Pixels() const { return surface.width() * surface.height(); }

    DibSurface surface{1024, 256};
    RecordingLink link{true};
    PluginState state;
    TimedLevel frame = SilentFrame();
};

TEST_F(Display, NothingToDrawWithThePortOpenLeavesPlainBlack) {
    state.Channels[0] = Channel(0, ModeFrequency, FreqPeak, 0, 100);
    state.DrawChannelNumbers = 1;
    frame.frequency[0][50] = 255;
    ASSERT_EQ(Render(), S_OK);
    EXPECT_EQ(surface.Count(Whole(), kBlackPx), Pixels());
    EXPECT_EQ(link.sent.size(), 1u);
}

TEST_F(Display, BandIsDarkRedFromItsFirstBinToItsEndAndUpToTheTopWithItsNumber) {
    state.DrawChannels = 1;
    state.Channels[1] = Channel(1, ModeFrequency, FreqPeak, 73, 146);
    frame.frequency[0][100] = 255; // level 100
    ASSERT_EQ(Render(), S_OK);

    EXPECT_EQ(surface.Pixel(73, 0), kBandPx);
    EXPECT_EQ(surface.Pixel(145, 100), kBandPx);
    EXPECT_EQ(surface.Pixel(72, 100), kBlackPx);
    EXPECT_EQ(surface.Pixel(146, 100), kBlackPx); // the end bin is outside
    // The band, with its white number "2" on it at the bottom.
    EXPECT_EQ(surface.Count(Area(73, 0, 146, 226), kBandPx), 73 * 226);
    EXPECT_GT(surface.Count(Area(73, 226, 146, 256), kWhitePx), 5);
    EXPECT_EQ(surface.Count(Whole(), kBlackPx), Pixels() - 73 * 256);
}

TEST_F(Display, SpectrumIsDrawnInForegroundColorFromTheNextFrameOn) {
    state.DrawFrequency = 1;
    frame.frequency[0][11] = 255; // column 10
    frame.frequency[0][21] = 128; // column 20, half-way up
    ASSERT_EQ(Render(), S_OK);
    EXPECT_EQ(surface.Count(Area(10, 0, 11, 256), kRedPx), 254); // up to, not including, y = 1
    EXPECT_EQ(surface.Count(Area(20, 0, 21, 256), kRedPx), 127);
    EXPECT_EQ(surface.Pixel(20, 128), kBlackPx);
    EXPECT_EQ(surface.Count(Whole(), kRedPx), 254 + 127);

    state.foregroundColor = 0x0000FF00;
    ASSERT_EQ(Render(), S_OK);
    EXPECT_EQ(surface.Count(Area(10, 0, 11, 256), kGreenPx), 254);
    EXPECT_EQ(surface.Count(Whole(), kRedPx), 0);
}

TEST_F(Display, SilentWaveformIsAGreenLineAtMidHeight) {
    state.DrawPower = 1;
    ASSERT_EQ(Render(), S_OK);
    EXPECT_EQ(surface.Pixel(0, 128), kGreenPx);
    EXPECT_EQ(surface.Pixel(500, 128), kGreenPx);
    EXPECT_EQ(surface.Pixel(500, 127), kBlackPx);
    EXPECT_EQ(surface.Pixel(500, 129), kBlackPx);
    // The polyline's last point, column 1022, is not drawn.
    EXPECT_EQ(surface.Count(Whole(), kGreenPx), 1022);
}

TEST_F(Display, GraphWidthBarIsBlueAndFillsItsThirtyPixelRow) {
    state.DrawChannels = 1;
    state.Channels[0] = Channel(0, ModeFrequency, FreqGraphWidth, 0, 0);
    std::fill(std::begin(frame.frequency[0]), std::end(frame.frequency[0]), 100);
    ASSERT_EQ(Render(), S_OK);
    ASSERT_EQ(state.ChannelLevels[0], 50); // a bar to x = 511

    const RECT column = Area(200, 0, 201, 256);
    EXPECT_EQ(surface.Count(column, kBluePx), 30);
    for (int y = 0; y < 30; ++y) {
        EXPECT_EQ(surface.Pixel(200, y), kBluePx) << "y " << y;
    }
    EXPECT_EQ(surface.Pixel(200, 30), kBlackPx);
    EXPECT_EQ(surface.Pixel(600, 15), kBlackPx);
}

TEST_F(Display, PowerLineIsDarkGreenOnTheWaveformScale) {
    state.DrawChannels = 1;
    state.DrawChannelNumbers = 0;
    state.Channels[14] = Channel(14, ModePower, 0, 0, 0);
    ASSERT_EQ(Render(), S_OK);
    ASSERT_EQ(state.ChannelLevels[14], 0);
    EXPECT_EQ(surface.Count(Area(0, 129, 1024, 130), kPowerLinePx), 1024);
    EXPECT_EQ(surface.Count(Whole(), kPowerLinePx), 1024);
}

TEST_F(Display, ClosedPortShowsTheRedNoticeInTheTopLeftCorner) {
    link.SetOpen(false);
    ASSERT_EQ(Render(), S_OK);
    const RECT corner = Area(0, 0, 400, 30);
    const int red = surface.Count(corner, kRedPx);
    EXPECT_GT(red, 50);
    // Opaque, on the device context's background colour (white by default).
    EXPECT_GT(surface.Count(corner, kWhitePx), 500);
    EXPECT_EQ(surface.Count(Whole(), kRedPx), red);
    EXPECT_EQ(surface.Pixel(700, 100), kBlackPx);
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(Display, DeviceContextLeavesRenderWithThePenItEnteredWith) {
    state.DrawFrequency = state.DrawPower = state.DrawChannels = 1;
    state.Channels[0] = Channel(0, ModeFrequency, FreqGraphWidth, 0, 0);
    state.Channels[1] = Channel(1, ModeFrequency, FreqAverage, 100, 300);
    state.Channels[2] = Channel(2, ModePower, 0, 0, 0);
    const UniquePen own(::CreatePen(PS_DASH, 1, RGB(1, 2, 3)));
    ASSERT_TRUE(own);
    const ScopedSelectObject selected(surface.dc(), own.get());
    for (bool open : {true, false}) {
        link.SetOpen(open);
        ASSERT_EQ(Render(), S_OK);
        EXPECT_EQ(::GetCurrentObject(surface.dc(), OBJ_PEN), own.get());
    }
}

TEST_F(Display, NullFrameDeviceContextOrRectangleIsRefusedUntouched) {
    state.DrawFrequency = state.DrawPower = state.DrawChannels = 1;
    state.Channels[0] = Channel(0, ModeFrequency, FreqPeak, 0, 100);
    state.Channels[3].ZeroPending = 1;
    state.ChannelLevels[5] = 42;
    state.BarCounter = 9;
    const RECT rect = surface.rect();
    EXPECT_EQ(RenderFrame(state, &link, nullptr, surface.dc(), &rect), E_POINTER);
    EXPECT_EQ(RenderFrame(state, &link, &frame, nullptr, &rect), E_POINTER);
    EXPECT_EQ(RenderFrame(state, &link, &frame, surface.dc(), nullptr), E_POINTER);
    EXPECT_EQ(surface.Count(Whole(), kWhitePx), Pixels());
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(state.ChannelLevels[5], 42);
    EXPECT_EQ(state.BarCounter, 9);
    EXPECT_EQ(state.Channels[3].ZeroPending, 1);
}

TEST_F(Display, CanvasEndsWhatACallerLeftBegun) {
    const HGDIOBJ entry = ::GetCurrentObject(surface.dc(), OBJ_PEN);
    {
        GdiCanvas canvas(surface.dc());
        ASSERT_TRUE(canvas.BeginBrush(0));
        ASSERT_TRUE(canvas.BeginPen(0, 0x00FF0000));
        ASSERT_TRUE(canvas.BeginPen(3, 0x0000FF00));
        EXPECT_NE(::GetCurrentObject(surface.dc(), OBJ_PEN), entry);
    }
    EXPECT_EQ(::GetCurrentObject(surface.dc(), OBJ_PEN), entry);
}

// Every kind of indicator, with numbers, every graph, the port opening and
// closing: a pen or brush leaked per frame would fill Wine's GDI handle table
// (about 16k objects) well before the end.
TEST_F(Display, TwentyThousandFramesLeakNoGdiObjects) {
    state.DrawFrequency = state.DrawPower = state.DrawChannels = state.DrawChannelNumbers = 1;
    for (int i = 0; i < kChannelCount; ++i) {
        const int32_t kind = i % 4;
        state.Channels[i] = kind == 0   ? Channel(i, ModeFrequency, FreqGraphWidth, 0, 0)
                            : kind == 1 ? Channel(i, ModeFrequency, i % 3, 64 * i, 64 * i + 60)
                            : kind == 2 ? Channel(i, ModePower, 0, 0, 0)
                                        : Channel(i, ModeBeatDetection, 0, 0, 0);
        state.Channels[i].PowerMode = i % 4;
        state.Channels[i].ZeroPending = 1;
    }
    state.Channels[15].Enabled = 0;
    const DWORD before = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    const HGDIOBJ entryPen = ::GetCurrentObject(surface.dc(), OBJ_PEN);

    uint32_t seed = 1;
    for (int n = 0; n < 20000; ++n) {
        for (int i = 0; i < kBinCount; i += 8) {
            seed = seed * 1664525u + 1013904223u;
            frame.frequency[0][i] = static_cast<unsigned char>(seed >> 24);
            frame.waveform[0][i] = static_cast<unsigned char>(seed >> 16);
        }
        link.SetOpen(n % 3 != 0);
        ASSERT_EQ(Render(), S_OK) << "frame " << n;
    }
    link.sent.clear();

    const DWORD after = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    std::printf("GDI objects before %lu, after %lu\n", static_cast<unsigned long>(before),
                static_cast<unsigned long>(after));
    if (before != 0) { // zero means this system doesn't count them
        EXPECT_EQ(after, before);
    }
    EXPECT_EQ(::GetCurrentObject(surface.dc(), OBJ_PEN), entryPen);
    const UniquePen pen(::CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
    const UniqueBrush brush(::CreateSolidBrush(RGB(4, 5, 6)));
    EXPECT_TRUE(pen);
    EXPECT_TRUE(brush);

    // And a frame still comes out right.
    for (ChannelConfig& c : state.Channels) {
        c.Enabled = 0;
        c.ZeroPending = 0;
    }
    state.Channels[1] = Channel(1, ModeFrequency, FreqPeak, 73, 146);
    state.DrawFrequency = state.DrawPower = 0;
    frame = SilentFrame();
    frame.frequency[0][100] = 255;
    link.SetOpen(true);
    ASSERT_EQ(Render(), S_OK);
    EXPECT_EQ(surface.Pixel(100, 10), kBandPx);
    EXPECT_EQ(surface.Pixel(500, 10), kBlackPx);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0], (SentLevel{1, 100}));
}

} // namespace
