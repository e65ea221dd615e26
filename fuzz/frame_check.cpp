#include "frame_check.h"

#include "frame/frame_pipeline.h"
#include "link/protocol.h"

#include <cstring>

void FuzzLink::SendFrame(const ChannelLevel* levels, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        SetLevel(levels[i].channel, levels[i].level);
    }
}

void FuzzLink::SetLevel(int channelIndex, int32_t level) {
    if (open_) {
        sent.emplace_back(channelIndex, level);
    }
}

bool FuzzLink::Open(const LinkSettings& settings) {
    if (!AcceptsOutput(settings)) {
        return false;
    }
    DeviceId = settings.DeviceId;
    open_ = portExists;
    return open_;
}

FrameSetup ReadFrameSetup(FuzzInput& in) {
    FrameSetup s{};
    s.rect.left = in.Int16();
    s.rect.top = in.Int16();
    s.rect.right = s.rect.left + (in.Int16() & 0xFFF);
    s.rect.bottom = s.rect.top + (in.Int16() & 0xFFF);
    s.portExists = in.Byte() & 1;
    const std::vector<uint8_t> audio = in.Rest();
    auto* bytes = reinterpret_cast<unsigned char*>(&s.frame);
    for (size_t i = 0; i < offsetof(TimedLevel, state) && !audio.empty(); ++i) {
        bytes[i] = audio[i % audio.size()];
    }
    s.frame.state = 2;
    return s;
}

void WriteFrameSetup(FuzzOutput& out, const Rect& rect, bool portExists,
                     const std::vector<uint8_t>& audio) {
    out.Int16(static_cast<int16_t>(rect.left));
    out.Int16(static_cast<int16_t>(rect.top));
    out.Int16(static_cast<int16_t>(rect.right - rect.left));
    out.Int16(static_cast<int16_t>(rect.bottom - rect.top));
    out.Byte(portExists);
    out.Bytes(audio);
}

ChannelConfig ReadChannel(FuzzInput& in) {
    ChannelConfig c{};
    c.Enabled = in.Byte();
    c.ZeroPending = in.Byte() & 1;
    c.Address = in.Byte();
    for (int32_t* field : {&c.Mode, &c.FreqMode, &c.AudioChannel, &c.FreqStart, &c.FreqEnd,
                           &c.FreqWidth, &c.PowerMode}) {
        *field = in.Int32();
    }
    for (int32_t& h : c.History) {
        h = in.Byte();
    }
    return c;
}

void WriteChannel(FuzzOutput& out, const ChannelConfig& c) {
    out.Byte(c.Enabled);
    out.Byte(c.ZeroPending);
    out.Byte(c.Address);
    for (int32_t field :
         {c.Mode, c.FreqMode, c.AudioChannel, c.FreqStart, c.FreqEnd, c.FreqWidth, c.PowerMode}) {
        out.Int32(field);
    }
    for (int32_t h : c.History) {
        out.Byte(static_cast<uint8_t>(h));
    }
}

bool SamePersistentFields(const ChannelConfig& a, const ChannelConfig& b) {
    return a.Enabled == b.Enabled && a.Address == b.Address && a.Mode == b.Mode &&
           a.FreqMode == b.FreqMode && a.AudioChannel == b.AudioChannel &&
           a.FreqStart == b.FreqStart && a.FreqEnd == b.FreqEnd && a.FreqWidth == b.FreqWidth &&
           a.PowerMode == b.PowerMode;
}

namespace {

// Records what is drawn by kind and checks the object rules as it goes.
class CheckingCanvas final : public Canvas {
public:
    struct Line {
        int32_t x0, y0, x1, y1, penWidth;
    };
    struct Text {
        std::string text;
        Rect rect;
        Color color;
        bool transparent;
    };

    std::vector<Rect> backgrounds; // FillRect with the held brush
    std::vector<Rect> bands;       // FillSolidRect
    std::vector<Line> lines;
    std::vector<Text> texts;

    bool Balanced() const { return pens_.empty() && !brushHeld_; }

    void FillSolidRect(const Rect& rect, Color) override { bands.push_back(rect); }
    bool BeginBrush(Color color) override {
        FUZZ_CHECK(!brushHeld_ && color == kBlack);
        brushHeld_ = true;
        return true;
    }
    void FillRect(const Rect& rect) override {
        FUZZ_CHECK(brushHeld_);
        backgrounds.push_back(rect);
    }
    void EndBrush() override {
        FUZZ_CHECK(brushHeld_);
        brushHeld_ = false;
    }
    bool BeginPen(int32_t width, Color) override {
        pens_.push_back(width);
        return true;
    }
    void EndPen() override {
        FUZZ_CHECK(!pens_.empty());
        pens_.pop_back();
    }
    void MoveTo(int32_t x, int32_t y) override {
        x_ = x;
        y_ = y;
    }
    void LineTo(int32_t x, int32_t y) override {
        FUZZ_CHECK(!pens_.empty());
        lines.push_back({x_, y_, x, y, pens_.back()});
        x_ = x;
        y_ = y;
    }
    void DrawTextInRect(const char* text, const Rect& rect, unsigned) override {
        texts.push_back({text, rect, textColor_, transparent_});
    }
    void SetBkModeTransparent() override { transparent_ = true; }
    void SetBkModeOpaque() override { transparent_ = false; }
    void SetTextColor(Color color) override { textColor_ = color; }

private:
    std::vector<int32_t> pens_;
    bool brushHeld_ = false;
    int32_t x_ = 0, y_ = 0;
    Color textColor_ = kBlack;
    bool transparent_ = false;
};

struct Range {
    int32_t low, high;
};

// What AnalyzeChannels may give a record: each mode's own range, or nothing.
Range LevelRange(const ChannelConfig& c) {
    if (c.Enabled && c.Mode == ModeFrequency) {
        switch (c.FreqMode) {
        case FreqPeak:
        case FreqAverage:
        case FreqGraphWidth:
            return {0, 100};
        case FreqNormalized:
            return {-49, 150};
        }
    }
    if (c.Enabled && c.Mode == ModePower) {
        switch (c.PowerMode) {
        case PowerPeakLevel:
        case PowerAverageLevel:
            return {-99, 100};
        case PowerInstantLevel:
            return {0, 100};
        case PowerPeakCount:
            return {0, 255};
        }
    }
    return {0, 0};
}

bool Within(int64_t v, int64_t low, int64_t high) {
    return low <= v && v <= high;
}

// The frame's vertical scale puts value 0 on the bottom edge itself, so lines
// may touch row `bottom`; that row is the scale's, not a leak.
bool LineInside(const CheckingCanvas::Line& l, const Rect& r, int32_t halfWidth) {
    return Within(l.x0, r.left, r.right) && Within(l.x1, r.left, r.right) &&
           Within(l.y0, int64_t{r.top} + halfWidth, int64_t{r.bottom} - halfWidth) &&
           Within(l.y1, int64_t{r.top} + halfWidth, int64_t{r.bottom} - halfWidth);
}

bool RectInside(const Rect& inner, const Rect& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

void CheckIndicators(const PluginState& state, const CheckingCanvas& canvas, const Rect& rect,
                     bool notice) {
    const int64_t width = int64_t{rect.right} - rect.left;
    const int64_t height = int64_t{rect.bottom} - rect.top;
    std::vector<CheckingCanvas::Line> bars, powerLines;
    for (const CheckingCanvas::Line& l : canvas.lines) {
        if (l.penWidth == 30) {
            bars.push_back(l);
        } else if (l.penWidth == 1) {
            powerLines.push_back(l);
        }
    }
    size_t band = 0, bar = 0, power = 0, label = 0;
    for (const ChannelConfig& c : state.Channels) {
        if (!state.DrawChannels || !c.Enabled) {
            continue;
        }
        const int32_t level = c.Address < kChannelCount ? state.ChannelLevels[c.Address] : 0;
        // Indicators follow the records unclamped and leave the rest to the
        // device's clipping: each stays inside only while its record and
        // level lie within the layout.
        if (c.Mode == ModeFrequency && Within(c.FreqMode, FreqPeak, FreqNormalized)) {
            FUZZ_CHECK(band < canvas.bands.size());
            const bool laidOut = Within(c.FreqStart, 0, c.FreqEnd) && c.FreqEnd <= width;
            FUZZ_CHECK(!laidOut || !Within(level, 0, 100) || RectInside(canvas.bands[band], rect));
            ++band;
        } else if (c.Mode == ModeFrequency && c.FreqMode == FreqGraphWidth) {
            FUZZ_CHECK(bar < bars.size());
            const bool fits = 30 * (static_cast<int64_t>(bar) + 1) <= height;
            FUZZ_CHECK(!fits || !Within(level, 0, 100) || LineInside(bars[bar], rect, 15));
            ++bar;
        } else if (c.Mode == ModePower) {
            FUZZ_CHECK(power < powerLines.size());
            // Always 1024 pixels long; only its height follows the level.
            const CheckingCanvas::Line& l = powerLines[power];
            FUZZ_CHECK(l.y0 == l.y1 && l.x0 == rect.left);
            FUZZ_CHECK(!Within(level, -99, 100) || Within(l.y0, rect.top, rect.bottom));
            ++power;
        } else {
            continue;
        }
        if (state.DrawChannelNumbers) {
            FUZZ_CHECK(label < canvas.texts.size());
            FUZZ_CHECK(canvas.texts[label].text == std::to_string(c.Address + 1));
            FUZZ_CHECK(canvas.texts[label].transparent && canvas.texts[label].color == kWhite);
            ++label;
        }
    }
    FUZZ_CHECK(band == canvas.bands.size() && bar == bars.size() && power == powerLines.size());
    FUZZ_CHECK(label + notice == canvas.texts.size());
}

} // namespace

void RenderAndCheck(PluginState& state, FuzzLink& link, const FrameSetup& setup) {
    const Rect& rect = setup.rect;
    const PluginState before = state;
    CheckingCanvas canvas;
    link.sent.clear();
    Render(state, setup.frame, canvas, rect, &link);
    FUZZ_CHECK(canvas.Balanced());

    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelConfig& c = state.Channels[i];
        FUZZ_CHECK(SamePersistentFields(c, before.Channels[i]));
        const Range range = LevelRange(c);
        FUZZ_CHECK(Within(state.ChannelLevels[i], range.low, range.high));
        for (int32_t h : c.History) {
            FUZZ_CHECK(Within(h, 0, 255));
        }
    }

    // The frame's own parts: background, spectrum, waveform and notice.
    FUZZ_CHECK(canvas.backgrounds.size() == 1 && canvas.backgrounds[0] == rect);
    for (const CheckingCanvas::Line& l : canvas.lines) {
        if (l.penWidth == 0) {
            FUZZ_CHECK(LineInside(l, rect, 0) && l.x1 < rect.right);
        }
    }
    const bool open = link.IsOpen();
    if (!open) {
        FUZZ_CHECK(!canvas.texts.empty());
        const CheckingCanvas::Text& notice = canvas.texts.back();
        FUZZ_CHECK(notice.text == kPortErrorText && notice.rect == rect);
        FUZZ_CHECK(notice.color == kRed && !notice.transparent);
    }
    CheckIndicators(state, canvas, rect, !open);

    // The levels analysed go out unchanged, in channel order, with one zero
    // per owed record; the command carries them clamped to 0..100.
    std::vector<std::pair<int, int32_t>> expected;
    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelConfig& was = before.Channels[i];
        if (open && (was.Enabled || was.ZeroPending)) {
            expected.emplace_back(i, was.Enabled ? state.ChannelLevels[i] : 0);
        }
        FUZZ_CHECK(state.Channels[i].ZeroPending == (was.ZeroPending && (was.Enabled || !open)));
    }
    FUZZ_CHECK(link.sent == expected);
    for (const auto& [channel, level] : link.sent) {
        const LevelCommand command = EncodeLevelCommand(channel, level, link.DeviceId);
        FUZZ_CHECK(Within(command[3], 0x01, 0xD3));
        FUZZ_CHECK((level >= 100) == (command[3] == 0x01) && (level <= 0) == (command[3] == 0xD3));
    }
}
