#include "display/band_editor.h"

#include <algorithm>

namespace {

bool Within(int32_t x, int32_t edge) {
    // 64 bits: an edge near the int32 limits must not overflow the tolerance.
    return int64_t{edge} - 1 <= x && x <= int64_t{edge} + 1;
}

} // namespace

void BandEditPress(PluginState& state, int32_t x) {
    state.Dragging = 1;
    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelConfig& c = state.Channels[i];
        if (c.Mode != ModeFrequency) {
            continue;
        }
        if (Within(x, c.FreqStart)) {
            state.SelectedChannel = i;
            state.DragStartEdge = 1;
            return;
        }
        if (Within(x, c.FreqEnd)) {
            state.SelectedChannel = i;
            state.DragStartEdge = 0;
            return;
        }
    }
}

void BandEditMove(PluginState& state, int32_t x) {
    const int32_t c = state.SelectedChannel;
    // The neighbour bound keeps every index inside the table whatever
    // DraggableChannels holds.
    const int32_t draggable = std::min<int32_t>(state.DraggableChannels, kChannelCount);
    if (!state.Dragging || c < 0 || c >= draggable) {
        return;
    }
    // x is stored as it is; the analysis confines bands to the spectrum.
    if (state.DragStartEdge) {
        state.Channels[c].FreqStart = x;
        if (c > 0) {
            state.Channels[c - 1].FreqEnd = x;
        }
    } else {
        state.Channels[c].FreqEnd = x;
        if (c + 1 < draggable) {
            state.Channels[c + 1].FreqStart = x;
        }
    }
}

void BandEditRelease(PluginState& state) {
    state.Dragging = 0;
    state.SelectedChannel = -1;
}
