#pragma once
// One analysed and drawn frame with checked properties, for the targets that
// end with the records they produced: levels within their mode's range, the
// levels sent being the ones analysed, the frame's own parts drawn inside the
// rectangle, one indicator per drawn record, and the device context's object
// rules.

#include "fuzz_input.h"

#include "analysis/plugin_state.h"
#include "display/canvas.h"
#include "recording_link.h"
#include "wmp/timed_level.h"

#include <vector>

// The rectangle (never inverted), whether the port opens, and the audio.
struct FrameSetup {
    Rect rect;
    bool portExists;
    TimedLevel frame;
};
// Reads everything left: the audio repeats what remains after the header.
FrameSetup ReadFrameSetup(FuzzInput& in);
void WriteFrameSetup(FuzzOutput& out, const Rect& rect, bool portExists,
                     const std::vector<uint8_t>& audio);

// A record as the fuzzer lays it out: persistent fields whole, the owed zero
// as a flag and the history as band maxima, the only values they can hold.
ChannelConfig ReadChannel(FuzzInput& in);
void WriteChannel(FuzzOutput& out, const ChannelConfig& c);

// Renders one frame of `state` into `link` and checks it.
void RenderAndCheck(PluginState& state, RecordingLink& link, const FrameSetup& setup);
