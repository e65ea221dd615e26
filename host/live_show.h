#pragma once
// The stand-in's live show on the console: the shared live pipeline, ended
// by its limits, the window or Ctrl+C, with a progress line and a summary.

#include "win32/live_capture.h"
#include "wmp/timed_level.h"

#include <functional>
#include <string>

struct LiveShowLimits {
    double fps = 30.0;
    long frames = -1;   // stop after this many frames rendered; -1: no limit
    double seconds = 0; // stop after this long; 0: until Ctrl+C
    bool quiet = false; // no progress line
    // When not empty: one line per frame, "<n> <captured> <started>
    // <rendered>", the capture time of its newest sample ("-" when it has
    // none) and the times Render was called and returned, in milliseconds of
    // the performance counter. Joined with the controller's arrival stamps, it
    // gives the audio-to-light time.
    std::string frameLog;
};

// Renders one frame and returns once the visualization's Render has
// returned; false ends the show (its window was closed).
using RenderLiveFrame = std::function<bool(TimedLevel& frame)>;

// Runs the show from an open source and prints its summary: frames rendered
// and skipped, audio gaps, latency and Render time (median, 99th percentile,
// maximum). `pump` handles the messages of the stand-in's window, if it has
// one. Returns 0 when the show ended by its limits, the window or Ctrl+C, and
// 6 with a message on stderr when the device failed.
int RunLiveShow(LiveCapture& capture, const LiveShowLimits& limits, const RenderLiveFrame& render,
                const std::function<void()>& pump, bool windowed);
