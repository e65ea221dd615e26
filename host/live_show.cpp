#include "live_show.h"

#include "frame_schedule.h"

#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <vector>

namespace {

std::atomic<bool> g_stopRequested{false};

BOOL WINAPI OnConsoleControl(DWORD type) noexcept {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
        g_stopRequested = true;
        return TRUE; // the show ends by itself, with its summary
    }
    return FALSE;
}

// Ctrl+C ends the show instead of the process while this lives.
class CtrlCStopsShow {
public:
    CtrlCStopsShow() {
        g_stopRequested = false;
        ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    }
    ~CtrlCStopsShow() { ::SetConsoleCtrlHandler(OnConsoleControl, FALSE); }
    CtrlCStopsShow(const CtrlCStopsShow&) = delete;
    CtrlCStopsShow& operator=(const CtrlCStopsShow&) = delete;
};

// A 1 ms system timer while the show runs, so that waiting for a slot
// doesn't overshoot by a whole default tick (15.6 ms).
class FineTimer {
public:
    FineTimer() : active_(::timeBeginPeriod(1) == TIMERR_NOERROR) {}
    ~FineTimer() {
        if (active_) {
            ::timeEndPeriod(1);
        }
    }
    FineTimer(const FineTimer&) = delete;
    FineTimer& operator=(const FineTimer&) = delete;

private:
    bool active_;
};

void PrintSpread(const char* name, const std::vector<double>& values, const char* format) {
    if (values.empty()) {
        std::printf("%s: none measured\n", name);
        return;
    }
    const Spread s = SpreadOf(values);
    std::printf("%s: ", name);
    std::printf(format, s.median, s.p99, s.max);
    std::printf("\n");
}

} // namespace

int RunLiveShow(LiveCapture& capture, const LiveShowOptions& options, const RenderLiveFrame& render,
                const std::function<void()>& idle) {
    LiveWindow window(capture.Layout());
    FrameBuilder builder;
    std::vector<TimedLevel> frame(1);
    std::vector<double> latencyMs;
    std::vector<double> renderMs;
    FrameSchedule schedule(options.fps);
    CtrlCStopsShow ctrlC;
    FineTimer timer;

    std::string error;
    if (!capture.Start(error)) {
        std::fprintf(stderr, "twinkla-host: %s\n", error.c_str());
        return 6;
    }
    const int64_t start = PerformanceTime();
    window.FillGap(start);
    const auto seconds = [start] { return (PerformanceTime() - start) / 1e7; };
    // A show of S seconds has the slots that start before S.
    const auto finished = [&] {
        return g_stopRequested || (options.frames > 0 && schedule.Taken() >= options.frames) ||
               (options.seconds > 0 && schedule.NextDue() >= options.seconds);
    };

    bool failed = false;
    long lastProgress = -1;
    while (!finished()) {
        // Until the slot starts, keep the device's buffer drained so that
        // it never fills up with audio that is old by the time it is read;
        // the last drain comes right before the frame is built.
        bool due = false;
        while (!finished()) {
            if (!capture.Drain(window, error)) {
                failed = true;
                break;
            }
            const double wait = schedule.WaitBefore(seconds());
            if (wait <= 0) {
                due = true;
                break;
            }
            idle();
            ::Sleep(wait > 0.002 ? 1 : 0);
        }
        if (!due) {
            break;
        }

        const int64_t frameStart = PerformanceTime();
        window.FillGap(frameStart);
        window.Build(builder, frame[0]);
        schedule.Take((frameStart - start) / 1e7);
        LARGE_INTEGER before;
        LARGE_INTEGER after;
        ::QueryPerformanceCounter(&before);
        const bool open = render(frame[0]);
        ::QueryPerformanceCounter(&after);
        const int64_t rendered = PerformanceTime(after);
        renderMs.push_back((rendered - PerformanceTime(before)) / 10000.0);
        int64_t age = 0;
        const bool measured = window.NewestSampleAge(rendered, age);
        if (measured) {
            latencyMs.push_back(age / 10000.0);
        }
        if (!open) {
            break;
        }

        const long quarter = static_cast<long>((rendered - start) / 2500000);
        if (!options.quiet && quarter != lastProgress) {
            lastProgress = quarter;
            if (measured) {
                std::fprintf(stderr, "\rframe %ld  latency %.1f ms  skipped %ld   ",
                             schedule.Taken(), age / 10000.0, schedule.Skipped());
            } else {
                std::fprintf(stderr, "\rframe %ld  latency --  skipped %ld   ", schedule.Taken(),
                             schedule.Skipped());
            }
        }
    }
    if (lastProgress >= 0) {
        std::fprintf(stderr, "\n");
    }

    std::printf("frames rendered: %ld\n", schedule.Taken());
    std::printf("frames skipped: %ld\n", schedule.Skipped());
    PrintSpread("latency ms", latencyMs, "median %.1f p99 %.1f max %.1f");
    PrintSpread("render ms", renderMs, "median %.3f p99 %.3f max %.3f");
    if (failed) {
        std::fflush(stdout);
        std::fprintf(stderr, "twinkla-host: %s\n", error.c_str());
        return 6;
    }
    return 0;
}
