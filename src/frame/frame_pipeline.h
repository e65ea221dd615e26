#pragma once
// One frame, end to end: levels from the audio, the picture, and the levels
// out to the controller.

#include "analysis/plugin_state.h"
#include "wmp/timed_level.h"
#include "display/canvas.h"
#include "link/level_sink.h"

// The text drawn over the picture while the controller's port is closed.
constexpr char kPortErrorText[] = "ERROR: Unable to open serial port";

// Fills the rectangle black, computes ChannelLevels and either hands the sink
// the frame's levels (each enabled record's, with its Address as its network
// circuit, and the zero owed to each disabled record with ZeroPending,
// clearing it) or, when the sink is closed or missing, sends nothing; then
// draws what the graphics flags ask for, and the error text when nothing was
// sent. The canvas is left with the pen it had; its text colour and
// background mode are those of the last step that set them.
void Render(PluginState& state, const TimedLevel& frame, Canvas& canvas, const Rect& rect,
            LevelSink* sink);
