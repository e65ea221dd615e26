#pragma once
// Dragging band edges with the mouse in the visualization window. The window's
// client area starts at 0, so a pointer's x is a bin number.

#include "analysis/plugin_state.h"

#include <cstdint>

// Left button pressed at x: starts a drag and picks the first Frequency
// channel edge within one pixel (a channel's start before its end, channels
// in index order). With no edge in reach the held channel stays as it was.
void BandEditPress(PluginState& state, int32_t x);

// Pointer moved to x: while dragging, the held edge of a draggable channel
// and the touching edge of its neighbour follow the pointer.
void BandEditMove(PluginState& state, int32_t x);

// Left button released: the drag ends and no edge is held.
void BandEditRelease(PluginState& state);
