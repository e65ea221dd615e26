#pragma once
// The picture of one frame: channel indicators, the spectrum and the waveform
// of the left audio channel, laid out one pixel column per bin or sample from
// the rectangle's left edge.

#include "analysis/plugin_state.h"
#include "wmp/timed_level.h"
#include "display/canvas.h"

// The channel's band, graph-width bar or power line, and its number when
// DrawChannelNumbers is set. Shows ChannelLevels[Address] (level 0 for an
// Address outside the table) and the label Address + 1; a graph-width bar
// takes row BarCounter and advances it. Draws nothing for a disabled record
// or one in any other mode.
void DrawChannelIndicator(PluginState& state, const ChannelConfig& channel, Canvas& canvas,
                          const Rect& rect);

// The left spectrum as vertical lines in foregroundColor: column x shows bin
// x - rect.left + 1, up to column 1022 and never past bin 1023.
void DrawFrequencyGraph(const PluginState& state, const TimedLevel& frame, Canvas& canvas,
                        const Rect& rect);

// The left waveform as a green polyline from sample 0 at rect.left, then
// sample x - rect.left + 1 in column x, with the spectrum's column bounds.
void DrawPowerWaveform(const TimedLevel& frame, Canvas& canvas, const Rect& rect);
