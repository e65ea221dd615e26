#include "frame/frame_pipeline.h"

#include "analysis/analysis.h"
#include "display/drawing.h"

namespace {

void SendLevels(PluginState& state, LevelSink& sink) {
    ChannelLevel levels[kChannelCount];
    size_t count = 0;
    for (int i = 0; i < kChannelCount; ++i) {
        ChannelConfig& channel = state.Channels[i];
        if (channel.Enabled) {
            // Unclamped: the command encoder clamps to the controller's range.
            levels[count++] = {i, state.ChannelLevels[i], channel.Address};
        } else if (channel.ZeroPending) {
            levels[count++] = {i, 0, kNoCircuit};
            channel.ZeroPending = 0;
        }
    }
    sink.SendFrame(levels, count);
}

} // namespace

void Render(PluginState& state, const TimedLevel& frame, Canvas& canvas, const Rect& rect,
            LevelSink* sink) {
    const ScopedBrush brush(canvas, kBlack);
    if (brush) {
        canvas.FillRect(rect);
    }
    // Held for the whole frame, so that whatever the drawing selects and
    // restores, the device context gets back the pen it came with.
    const ScopedPen pen(canvas, 0, kBlue);

    for (int32_t& level : state.ChannelLevels) {
        level = 0;
    }
    state.BarCounter = 0;
    AnalyzeChannels(frame, state.Channels, state.ChannelLevels);

    // Handed over before the drawing, so the engine's writes run beside it
    // and the lights change that much sooner; the wire and the picture are
    // the same either way. No sink at all reads as a closed port: the owed
    // zeros stay owed.
    const bool open = sink != nullptr && sink->IsOpen();
    if (open) {
        SendLevels(state, *sink);
    }

    canvas.SetBkModeTransparent();
    canvas.SetTextColor(kWhite);
    if (state.DrawChannels) {
        for (const ChannelConfig& channel : state.Channels) {
            DrawChannelIndicator(state, channel, canvas, rect);
        }
    }
    if (state.DrawFrequency) {
        DrawFrequencyGraph(state, frame, canvas, rect);
    }
    if (state.DrawPower) {
        DrawPowerWaveform(frame, canvas, rect);
    }

    if (!open) {
        canvas.SetBkModeOpaque();
        canvas.SetTextColor(kRed);
        canvas.DrawTextInRect(kPortErrorText, rect, TextFormat::kLeft | TextFormat::kTop);
    }
}
