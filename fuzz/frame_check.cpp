#include "frame_check.h"

#include "frame/frame_pipeline.h"
#include "link/protocol.h"
#include "recording_canvas.h"
#include "records.h"

#include <cstring>

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

namespace {

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
bool LineInside(const Segment& l, const Rect& r, int32_t halfWidth) {
    return Within(l.x0, r.left, r.right) && Within(l.x1, r.left, r.right) &&
           Within(l.y0, int64_t{r.top} + halfWidth, int64_t{r.bottom} - halfWidth) &&
           Within(l.y1, int64_t{r.top} + halfWidth, int64_t{r.bottom} - halfWidth);
}

bool RectInside(const Rect& inner, const Rect& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

void CheckIndicators(const PluginState& state, const RecordingCanvas& canvas, const Rect& rect,
                     bool notice) {
    const int64_t width = int64_t{rect.right} - rect.left;
    const int64_t height = int64_t{rect.bottom} - rect.top;
    const std::vector<Call> bands = canvas.Of(Op::FillSolidRect);
    const std::vector<Call> texts = canvas.Of(Op::DrawTextInRect);
    std::vector<Segment> bars, powerLines;
    for (const Segment& l : canvas.Segments()) {
        if (l.pen.width == 30) {
            bars.push_back(l);
        } else if (l.pen.width == 1) {
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
            FUZZ_CHECK(band < bands.size());
            const bool laidOut = Within(c.FreqStart, 0, c.FreqEnd) && c.FreqEnd <= width;
            FUZZ_CHECK(!laidOut || !Within(level, 0, 100) || RectInside(bands[band].rect, rect));
            ++band;
        } else if (c.Mode == ModeFrequency && c.FreqMode == FreqGraphWidth) {
            FUZZ_CHECK(bar < bars.size());
            const bool fits = 30 * (static_cast<int64_t>(bar) + 1) <= height;
            FUZZ_CHECK(!fits || !Within(level, 0, 100) || LineInside(bars[bar], rect, 15));
            ++bar;
        } else if (c.Mode == ModePower) {
            FUZZ_CHECK(power < powerLines.size());
            // Always 1024 pixels long; only its height follows the level.
            const Segment& l = powerLines[power];
            FUZZ_CHECK(l.y0 == l.y1 && l.x0 == rect.left);
            FUZZ_CHECK(!Within(level, -99, 100) || Within(l.y0, rect.top, rect.bottom));
            ++power;
        } else {
            continue;
        }
        if (state.DrawChannelNumbers) {
            FUZZ_CHECK(label < texts.size());
            FUZZ_CHECK(texts[label].text == std::to_string(c.Address + 1));
            FUZZ_CHECK(texts[label].transparent && texts[label].textColor == kWhite);
            ++label;
        }
    }
    FUZZ_CHECK(band == bands.size() && bar == bars.size() && power == powerLines.size());
    FUZZ_CHECK(label + notice == texts.size());
}

} // namespace

void RenderAndCheck(PluginState& state, RecordingLink& link, const FrameSetup& setup) {
    const Rect& rect = setup.rect;
    const PluginState before = state;
    RecordingCanvas canvas;
    link.ClearLevels();
    Render(state, setup.frame, canvas, rect, &link);
    // The device context's rules: every pen and brush given back, lines
    // drawn with a pen of the frame's own, the background's brush black.
    FUZZ_CHECK(canvas.Faults().empty());
    for (const Segment& l : canvas.Segments()) {
        FUZZ_CHECK(l.pen != kEntryPen);
    }
    for (const Call& brush : canvas.Of(Op::BeginBrush)) {
        FUZZ_CHECK(brush.color == kBlack);
    }

    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelConfig& c = state.Channels[i];
        FUZZ_CHECK(RecordDifferences(c, before.Channels[i], /*storedOnly=*/true).empty());
        const Range range = LevelRange(c);
        FUZZ_CHECK(Within(state.ChannelLevels[i], range.low, range.high));
        for (int32_t h : c.History) {
            FUZZ_CHECK(Within(h, 0, 255));
        }
    }

    // The frame's own parts: background, spectrum, waveform and notice.
    const std::vector<Call> backgrounds = canvas.Of(Op::FillRect);
    FUZZ_CHECK(backgrounds.size() == 1 && backgrounds[0].rect == rect);
    for (const Segment& l : canvas.Segments()) {
        if (l.pen.width == 0) {
            FUZZ_CHECK(LineInside(l, rect, 0) && l.x1 < rect.right);
        }
    }
    const bool open = link.IsOpen();
    if (!open) {
        const std::vector<Call> texts = canvas.Of(Op::DrawTextInRect);
        FUZZ_CHECK(!texts.empty());
        const Call& notice = texts.back();
        FUZZ_CHECK(notice.text == kPortErrorText && notice.rect == rect);
        FUZZ_CHECK(notice.textColor == kRed && !notice.transparent);
    }
    CheckIndicators(state, canvas, rect, !open);

    // The levels analysed go out unchanged, in channel order, with one zero
    // per owed record; the command carries them clamped to 0..100.
    std::vector<SentLevel> expected;
    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelConfig& was = before.Channels[i];
        if (open && (was.Enabled || was.ZeroPending)) {
            expected.push_back({i, was.Enabled ? state.ChannelLevels[i] : 0});
        }
        FUZZ_CHECK(state.Channels[i].ZeroPending == (was.ZeroPending && (was.Enabled || !open)));
    }
    FUZZ_CHECK(link.levels == expected);
    for (const auto& [channel, level] : link.levels) {
        const LevelCommand command = EncodeLevelCommand(channel, level, link.DeviceId);
        FUZZ_CHECK(Within(command[3], 0x01, 0xD3));
        FUZZ_CHECK((level >= 100) == (command[3] == 0x01) && (level <= 0) == (command[3] == 0xD3));
    }
}
