#pragma once
// A live light show: frames of the newest captured audio at the player's
// pace, each handed to a renderer, with every frame's audio-to-light latency
// measured. The stand-in and Twinkla Live both run their shows through it.
//
// Waiting costs nothing while there is nothing to do: the show sleeps until
// the device has a packet, the next frame's slot comes (a waitable timer), a
// device change is reported, or the caller's stop event is set. Its
// statistics take fixed memory however long it runs.

#include "common/win32/unique_handle.h"
#include "frame_builder.h"
#include "frame_schedule.h"
#include "live_capture.h"
#include "live_stats.h"

#include <windows.h>

#include <memory>
#include <string>

// One frame as the renderer gets it.
struct LiveFrame {
    TimedLevel& level;
    long number;              // 1 for the show's first frame
    int64_t newestSampleTime; // PerformanceTime() at which the newest sample in it was captured
    bool timeMeasured;        // false: that sample is silence filled in, with no capture time
};

class LiveShowListener {
public:
    // Renders the frame and returns once the visualization's Render has
    // returned; false ends the show.
    virtual bool Render(const LiveFrame& frame) = 0;
    // The show goes on from another device; `message` says which and why.
    virtual void SourceChanged(const std::string& message) = 0;
    // Window messages are waiting (only with a wake mask in the options).
    virtual void MessagesWaiting() {}

protected:
    ~LiveShowListener() = default;
};

struct LiveShowOptions {
    double fps = 30.0;
    long frames = -1;   // stop after this many frames rendered; -1: no limit
    double seconds = 0; // stop after this long; 0: no limit
    // MsgWaitForMultipleObjectsEx's mask: QS_ALLINPUT to hear of the
    // messages of a window the show's thread owns; 0 for none.
    DWORD wakeMask = 0;
    // A recording device that goes away is replaced by the default one (and
    // that, if there is none, by what the computer plays); otherwise the show
    // ends. Loopback always moves to the new default playback device.
    bool replaceLostDevice = false;
};

// How a show stands, for a status line; any thread may ask.
struct LiveShowCounts {
    long frames = 0;
    long skipped = 0;
    long gaps = 0; // audio the device dropped, see LiveCapture::Gaps
    bool hasRecentLatency = false;
    double recentLatencyMs = 0; // median over the last second
    std::string source;         // LiveCapture::Describe of the device in use
};

class LivePipeline {
public:
    // `capture` must be open; it may be reopened on another device.
    LivePipeline(LiveCapture& capture, const LiveShowOptions& options);
    LivePipeline(const LivePipeline&) = delete;
    LivePipeline& operator=(const LivePipeline&) = delete;

    // Runs the show until its limits, the renderer or `stop` end it: true.
    // False with a plain message in `error` when the source failed and
    // couldn't be replaced (the frames shown until then are counted).
    bool Run(LiveShowListener& listener, HANDLE stop, std::string& error);

    LiveShowCounts Counts() const;
    // The whole show's figures: latency and Render time in milliseconds.
    Spread Latency() const { return latencyMs_.Summary(); }
    bool LatencyMeasured() const { return latencyMs_.Count() > 0; }
    Spread RenderTimes() const { return renderMs_.Summary(); }

private:
    // Renders the frame of the slot that has come; false when the renderer
    // ended the show.
    bool Frame(LiveShowListener& listener, int64_t start);
    // Reopens the source after `change` (or a failed read, with its message
    // in `lost`), as the options say; false with `error` when the show ends.
    bool Recover(LiveCapture::Change change, const std::string& lost, LiveShowListener& listener,
                 std::string& error);
    void ArmTimer(int64_t start);
    void Publish(int64_t now);

    LiveCapture& capture_;
    LiveShowOptions options_;
    std::unique_ptr<LiveWindow> window_; // made again for a new device's format
    FrameBuilder builder_;
    std::unique_ptr<TimedLevel> frame_;
    FrameSchedule schedule_;
    UniqueHandleNull timer_;
    bool highResolution_ = false;
    TimingHistogram latencyMs_;
    TimingHistogram renderMs_;
    RecentLatency recent_;

    mutable SRWLOCK lock_ = SRWLOCK_INIT; // guards counts_
    LiveShowCounts counts_;
};
