#pragma once
// A live light show: frames of the newest captured audio at the player's
// pace, each handed to the visualization, with the audio-to-light latency of
// every frame measured.

#include "live_capture.h"

#include <functional>

struct LiveShowOptions {
    double fps = 30.0;
    long frames = -1;   // stop after this many frames rendered; -1: no limit
    double seconds = 0; // stop after this long; 0: until Ctrl+C
    bool quiet = false; // no progress line
};

// Renders one frame and returns once the visualization's Render has
// returned; false ends the show (its window was closed).
using RenderLiveFrame = std::function<bool(TimedLevel& frame)>;

// Runs the show from an open source and prints its summary: frames rendered
// and skipped, latency and Render time (median, 99th percentile, maximum).
// `idle` runs while waiting for a frame's slot. Returns 0 when the show ended
// by its limits, the window or Ctrl+C, and 6 with a message on stderr when
// the device failed.
int RunLiveShow(LiveCapture& capture, const LiveShowOptions& options, const RenderLiveFrame& render,
                const std::function<void()>& idle);
