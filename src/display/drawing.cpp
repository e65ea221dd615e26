#include "display/drawing.h"

#include "common/saturate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The drawing's constants are single-precision values used in double
// arithmetic, so exact-looking products fall just short of whole numbers
// (100 x 1.27 truncates to 126, 1024 x 100 x 0.01 to 1023).
constexpr double kCent = static_cast<double>(0.01f);
constexpr double kPowerStep = static_cast<double>(1.27f);
constexpr double kScaleStep = 0.00390625; // 1/256: 256 steps over the height, exact
static_assert(kCent == 0.00999999977648258209228515625, "0.01 as a float");
static_assert(kPowerStep == 1.269999980926513671875, "1.27 as a float");

constexpr Color kBandColor = 0x0028285A;
constexpr Color kBarColor = 0x00FF0000;
constexpr Color kPowerLineColor = 0x00285A28;
constexpr Color kWaveformColor = 0x0000FF00;
constexpr int32_t kBarPenWidth = 30;
constexpr int32_t kRowHeight = 30;
constexpr int32_t kPowerLineLength = 1024;
constexpr int32_t kLabelHeight = 30;
constexpr int32_t kPowerLabelHeight = 20;
// Columns stop before this absolute x, as the window's layout has one column
// per bin from x = 0.
constexpr int64_t kColumnLimit = 1023;

// Every coordinate is formed in double, where all sums and differences of
// 32-bit values are exact, then saturated so that no rectangle or level can
// make the conversion undefined; such coordinates are far outside any device.
int32_t ToCoordinate(double v) {
    return SaturateToInt32(v);
}

double Height(const Rect& rect) {
    return static_cast<double>(rect.bottom) - static_cast<double>(rect.top);
}

// y of value v on the 256-step scale over the rectangle's height.
int32_t ScaleY(const Rect& rect, double height, double v) {
    return ToCoordinate(rect.bottom - std::trunc(height * kScaleStep * v));
}

// One past the last column of the spectrum and the waveform: inside the
// rectangle, before the column limit, and never past the last bin, which a
// negative left edge would otherwise reach.
int64_t ColumnEnd(const Rect& rect) {
    return std::min({int64_t{rect.right}, kColumnLimit, int64_t{rect.left} + kBinCount - 1});
}

Rect MakeRect(double left, double top, double right, double bottom) {
    return {ToCoordinate(left), ToCoordinate(top), ToCoordinate(right), ToCoordinate(bottom)};
}

void DrawBand(const PluginState& state, const ChannelConfig& channel, int32_t level,
              const char* label, Canvas& canvas, const Rect& rect) {
    const double left = static_cast<double>(rect.left) + channel.FreqStart;
    const double right = static_cast<double>(rect.left) + channel.FreqEnd;
    const double top = std::trunc(rect.bottom - Height(rect) * (level * kCent));
    canvas.FillSolidRect(MakeRect(left, top, right, rect.bottom), kBandColor);
    if (state.DrawChannelNumbers) {
        canvas.DrawTextInRect(
            label,
            MakeRect(left, static_cast<double>(rect.bottom) - kLabelHeight, right, rect.bottom),
            TextFormat::kSingleLine | TextFormat::kBottom | TextFormat::kCenter);
    }
}

void DrawGraphWidthBar(PluginState& state, int32_t level, const char* label, Canvas& canvas,
                       const Rect& rect) {
    const double rowTop =
        static_cast<double>(rect.top) + static_cast<double>(kRowHeight) * state.BarCounter;
    const int32_t y = ToCoordinate(rowTop + kRowHeight / 2);
    const double width = static_cast<double>(rect.right) - rect.left;
    {
        const ScopedPen pen(canvas, kBarPenWidth, kBarColor);
        canvas.MoveTo(rect.left, y);
        canvas.LineTo(ToCoordinate(rect.left + std::trunc(width * level * kCent)), y);
    }
    if (state.DrawChannelNumbers) {
        canvas.DrawTextInRect(label, MakeRect(rect.left, rowTop, rect.right, rowTop + kRowHeight),
                              TextFormat::kSingleLine | TextFormat::kVCenter);
    }
    state.BarCounter += 1;
}

void DrawPowerLine(const PluginState& state, int32_t level, const char* label, Canvas& canvas,
                   const Rect& rect) {
    // 127 for level 0, 253 for level 100: the product is truncated before the sum.
    const double k = 127.0 - std::trunc(level * -kPowerStep);
    const int32_t y = ScaleY(rect, Height(rect), k);
    {
        const ScopedPen pen(canvas, 1, kPowerLineColor);
        canvas.MoveTo(rect.left, y);
        // Always a full layout's width, whatever the rectangle's; the device clips.
        canvas.LineTo(ToCoordinate(static_cast<double>(rect.left) + kPowerLineLength), y);
    }
    if (state.DrawChannelNumbers) {
        canvas.DrawTextInRect(
            label, MakeRect(rect.left, static_cast<double>(y) - kPowerLabelHeight, rect.right, y),
            TextFormat::kSingleLine | TextFormat::kBottom);
    }
}

} // namespace

void DrawChannelIndicator(PluginState& state, const ChannelConfig& channel, Canvas& canvas,
                          const Rect& rect) {
    if (!channel.Enabled) {
        return;
    }
    // Only stored settings can carry an Address past the table; such a
    // channel shows level 0 rather than reading outside it.
    const int32_t level =
        channel.Address < kChannelCount ? state.ChannelLevels[channel.Address] : 0;
    char label[10];
    std::snprintf(label, sizeof label, "%d", channel.Address + 1);

    switch (channel.Mode) {
    case ModeFrequency:
        switch (channel.FreqMode) {
        case FreqPeak:
        case FreqAverage:
        case FreqNormalized:
            DrawBand(state, channel, level, label, canvas, rect);
            return;
        case FreqGraphWidth:
            DrawGraphWidthBar(state, level, label, canvas, rect);
            return;
        default:
            return;
        }
    case ModePower:
        DrawPowerLine(state, level, label, canvas, rect);
        return;
    default:
        return;
    }
}

void DrawFrequencyGraph(const PluginState& state, const TimedLevel& frame, Canvas& canvas,
                        const Rect& rect) {
    const unsigned char* bins = frame.frequency[0];
    const double height = Height(rect);
    const ScopedPen pen(canvas, 0, state.foregroundColor);
    const int64_t end = ColumnEnd(rect);
    for (int64_t x = rect.left; x < end; ++x) {
        const int32_t column = static_cast<int32_t>(x);
        canvas.MoveTo(column, rect.bottom);
        canvas.LineTo(column, ScaleY(rect, height, bins[x - rect.left + 1]));
    }
}

void DrawPowerWaveform(const TimedLevel& frame, Canvas& canvas, const Rect& rect) {
    const unsigned char* samples = frame.waveform[0];
    const double height = Height(rect);
    const ScopedPen pen(canvas, 0, kWaveformColor);
    canvas.MoveTo(rect.left, ScaleY(rect, height, samples[0]));
    const int64_t end = ColumnEnd(rect);
    for (int64_t x = rect.left; x < end; ++x) {
        canvas.LineTo(static_cast<int32_t>(x), ScaleY(rect, height, samples[x - rect.left + 1]));
    }
}
