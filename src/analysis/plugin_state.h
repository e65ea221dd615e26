#pragma once
// The plug-in object's shared state, apart from its host-boundary fields
// (window, player core, event subscription), which live in the COM object.

#include "analysis/channel_config.h"

#include <cstdint>

struct PluginState {
    // Graphics flags: nonzero means draw.
    uint8_t DrawFrequency = 1;
    uint8_t DrawPower = 1;
    uint8_t DrawChannels = 1;
    uint8_t DrawChannelNumbers = 1;

    int32_t CurrentPreset = 0;
    uint32_t foregroundColor = 0x000000FF; // COLORREF of the frequency graph pen

    // Mouse band editing.
    int32_t SelectedChannel = -1;
    uint8_t DragStartEdge = 0;
    uint8_t Dragging = 0;
    int32_t DraggableChannels = 8;

    int32_t BarCounter = 0; // row of the next Graph Width bar in this frame

    // The start couldn't read the stored settings nor keep a copy of them:
    // the first-run settings run unsaved, and the property dialog says so once.
    bool UnsavedReset = false;

    ChannelTable Channels = {};
    LevelTable ChannelLevels = {};
};

// Puts the mouse-drag fields and the bar counter back to a new object's
// values, which the initializers above state once.
inline void ResetDragAndBars(PluginState& state) {
    static const PluginState fresh;
    state.SelectedChannel = fresh.SelectedChannel;
    state.DragStartEdge = fresh.DragStartEdge;
    state.Dragging = fresh.Dragging;
    state.DraggableChannels = fresh.DraggableChannels;
    state.BarCounter = fresh.BarCounter;
}
