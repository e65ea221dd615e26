#include "live_show.h"

#include "common/win32/unique_handle.h"
#include "win32/live_pipeline.h"

#include <cstdio>
#include <memory>

namespace {

HANDLE g_stop = nullptr; // set by Ctrl+C while a show runs

BOOL WINAPI OnConsoleControl(DWORD type) noexcept {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
        ::SetEvent(g_stop);
        return TRUE; // the show ends by itself, with its summary
    }
    return FALSE;
}

// Ctrl+C ends the show instead of the process while this lives.
class CtrlCStopsShow {
public:
    explicit CtrlCStopsShow(HANDLE stop) {
        g_stop = stop;
        ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    }
    ~CtrlCStopsShow() { ::SetConsoleCtrlHandler(OnConsoleControl, FALSE); }
    CtrlCStopsShow(const CtrlCStopsShow&) = delete;
    CtrlCStopsShow& operator=(const CtrlCStopsShow&) = delete;
};

class ConsoleShow final : public LiveShowListener {
public:
    ConsoleShow(const RenderLiveFrame& render, const std::function<void()>& pump, bool quiet,
                FILE* frameLog)
        : render_(render), pump_(pump), quiet_(quiet), frameLog_(frameLog) {}

    void Attach(const LivePipeline* pipeline) { pipeline_ = pipeline; }
    bool Progressed() const { return lastProgress_ >= 0; }

    bool Render(const LiveFrame& frame) override {
        const double started = PerformanceTime() / 1e4;
        const bool open = render_(frame.level);
        if (frameLog_ != nullptr) {
            const double rendered = PerformanceTime() / 1e4;
            if (frame.timeMeasured) {
                std::fprintf(frameLog_, "%ld %.3f %.3f %.3f\n", frame.number,
                             frame.newestSampleTime / 1e4, started, rendered);
            } else {
                std::fprintf(frameLog_, "%ld - %.3f %.3f\n", frame.number, started, rendered);
            }
        }
        const long quarter = static_cast<long>(PerformanceTime() / 2500000);
        if (!quiet_ && quarter != lastProgress_) {
            lastProgress_ = quarter;
            const LiveShowCounts c = pipeline_->Counts();
            if (c.hasRecentLatency) {
                std::fprintf(stderr, "\rframe %ld  latency %.1f ms  skipped %ld  gaps %ld   ",
                             frame.number, c.recentLatencyMs, c.skipped, c.gaps);
            } else {
                std::fprintf(stderr, "\rframe %ld  latency --  skipped %ld  gaps %ld   ",
                             frame.number, c.skipped, c.gaps);
            }
        }
        return open;
    }
    void SourceChanged(const std::string& message) override {
        std::fprintf(stderr, "%stwinkla-host: %s\n", Progressed() ? "\n" : "", message.c_str());
    }
    void MessagesWaiting() override { pump_(); }

private:
    const RenderLiveFrame& render_;
    const std::function<void()>& pump_;
    const LivePipeline* pipeline_ = nullptr;
    bool quiet_;
    FILE* frameLog_;
    long lastProgress_ = -1;
};

void PrintSpread(const char* name, bool measured, const Spread& s, const char* format) {
    if (!measured) {
        std::printf("%s: none measured\n", name);
        return;
    }
    std::printf("%s: ", name);
    std::printf(format, s.median, s.p99, s.max);
    std::printf("\n");
}

} // namespace

int RunLiveShow(LiveCapture& capture, const LiveShowLimits& limits, const RenderLiveFrame& render,
                const std::function<void()>& pump, bool windowed) {
    const UniqueHandleNull stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const CtrlCStopsShow ctrlC(stop.get());
    LiveShowOptions options;
    options.fps = limits.fps;
    options.frames = limits.frames;
    options.seconds = limits.seconds;
    options.wakeMask = windowed ? QS_ALLINPUT : 0;
    LivePipeline pipeline(capture, options);
    FILE* frameLog = nullptr;
    if (!limits.frameLog.empty()) {
        frameLog = std::fopen(limits.frameLog.c_str(), "w");
        if (frameLog == nullptr) {
            std::fprintf(stderr, "twinkla-host: can't write %s\n", limits.frameLog.c_str());
            return 2;
        }
    }
    const std::unique_ptr<FILE, int (*)(FILE*)> closeLog(frameLog, std::fclose);
    ConsoleShow show(render, pump, limits.quiet, frameLog);
    show.Attach(&pipeline);

    std::string error;
    const bool ok = pipeline.Run(show, stop.get(), error);
    if (show.Progressed()) {
        std::fprintf(stderr, "\n");
    }
    const LiveShowCounts c = pipeline.Counts();
    if (c.frames > 0 || ok) {
        std::printf("frames rendered: %ld\n", c.frames);
        std::printf("frames skipped: %ld\n", c.skipped);
        std::printf("audio gaps: %ld\n", c.gaps);
        PrintSpread("latency ms", pipeline.LatencyMeasured(), pipeline.Latency(),
                    "median %.1f p99 %.1f max %.1f");
        PrintSpread("render ms", c.frames > 0, pipeline.RenderTimes(),
                    "median %.3f p99 %.3f max %.3f");
    }
    if (!ok) {
        std::fflush(stdout);
        std::fprintf(stderr, "twinkla-host: %s\n", error.c_str());
        return 6;
    }
    return 0;
}
