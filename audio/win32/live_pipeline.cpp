#include "live_pipeline.h"

#include <mmsystem.h>

#include <algorithm>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// A 1 ms system timer while the show runs, for a waitable timer that is not
// a high-resolution one: its slots would otherwise come a whole default tick
// (15.6 ms) late.
class FineTimer {
public:
    explicit FineTimer(bool wanted) : active_(wanted && ::timeBeginPeriod(1) == TIMERR_NOERROR) {}
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

} // namespace

LivePipeline::LivePipeline(LiveCapture& capture, const LiveShowOptions& options)
    : capture_(capture), options_(options), window_(std::make_unique<LiveWindow>(capture.Layout())),
      frame_(std::make_unique<TimedLevel>()), schedule_(options.fps) {
    // Windows 10 1803 and later; older systems get a plain timer and a
    // finer system tick.
    timer_.reset(::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS));
    highResolution_ = static_cast<bool>(timer_);
    if (!timer_) {
        timer_.reset(::CreateWaitableTimerW(nullptr, FALSE, nullptr));
    }
    counts_.source = capture.Describe();
}

LiveShowCounts LivePipeline::Counts() const {
    ::AcquireSRWLockShared(&lock_);
    LiveShowCounts copy = counts_;
    ::ReleaseSRWLockShared(&lock_);
    return copy;
}

void LivePipeline::Publish(int64_t now) {
    double recent = 0;
    const bool hasRecent = recent_.MedianOfLastSecond(now, recent);
    ::AcquireSRWLockExclusive(&lock_);
    counts_.frames = schedule_.Taken();
    counts_.skipped = schedule_.Skipped();
    counts_.gaps = capture_.Gaps();
    counts_.hasRecentLatency = hasRecent;
    counts_.recentLatencyMs = recent;
    ::ReleaseSRWLockExclusive(&lock_);
}

void LivePipeline::ArmTimer(int64_t start) {
    const int64_t due = start + static_cast<int64_t>(schedule_.NextDue() * 1e7);
    LARGE_INTEGER relative;
    relative.QuadPart = -std::max<int64_t>(due - PerformanceTime(), 1); // negative: from now
    ::SetWaitableTimer(timer_.get(), &relative, 0, nullptr, nullptr, FALSE);
}

bool LivePipeline::Run(LiveShowListener& listener, HANDLE stop, std::string& error) {
    if (!timer_) {
        error = "out of system resources (no timer)";
        return false;
    }
    const FineTimer fine(!highResolution_);
    if (!capture_.Start(error)) {
        return false;
    }
    const int64_t start = PerformanceTime();
    window_->FillGap(start);
    ArmTimer(start);
    Publish(start);
    const auto finished = [&] {
        return (options_.frames > 0 && schedule_.Taken() >= options_.frames) ||
               (options_.seconds > 0 && schedule_.NextDue() >= options_.seconds);
    };
    while (!finished()) {
        HANDLE handles[4] = {stop, timer_.get(), capture_.ChangeEvent(), capture_.AudioEvent()};
        const DWORD count = handles[3] ? 4 : 3;
        // Without the device's event, its buffer is read every 10 ms.
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(count, handles, handles[3] ? INFINITE : 10,
                                                         options_.wakeMask, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) {
            return true;
        }
        if (woke == WAIT_OBJECT_0 + count) {
            listener.MessagesWaiting();
            continue;
        }
        if (woke == WAIT_FAILED) {
            error = "waiting for audio failed";
            return false;
        }
        const LiveCapture::Change change = capture_.TakeChange();
        std::string lost;
        if (change != LiveCapture::Change::None || !capture_.Drain(*window_, lost)) {
            if (!Recover(change, lost, listener, error)) {
                Publish(PerformanceTime());
                return false;
            }
            ArmTimer(start); // its slot may have been the wake that found the loss
            continue;
        }
        // Time for a frame: the drain above was the last before it.
        if (woke == WAIT_OBJECT_0 + 1) {
            if (!Frame(listener, start)) {
                return true;
            }
            ArmTimer(start);
        }
    }
    return true;
}

bool LivePipeline::Frame(LiveShowListener& listener, int64_t start) {
    const int64_t frameStart = PerformanceTime();
    window_->FillGap(frameStart);
    window_->Build(builder_, *frame_);
    schedule_.Take((frameStart - start) / 1e7);
    const LiveFrame frame{*frame_, schedule_.Taken(), window_->NewestTime(),
                          window_->NewestMeasured()};
    LARGE_INTEGER before;
    LARGE_INTEGER after;
    ::QueryPerformanceCounter(&before);
    const bool open = listener.Render(frame);
    ::QueryPerformanceCounter(&after);
    const int64_t rendered = PerformanceTime(after);
    renderMs_.Add((rendered - PerformanceTime(before)) / 10000.0);
    if (frame.timeMeasured) {
        const double latency = (rendered - frame.newestSampleTime) / 10000.0;
        latencyMs_.Add(latency);
        recent_.Add(rendered, latency);
    }
    Publish(rendered);
    return open;
}

bool LivePipeline::Recover(LiveCapture::Change change, const std::string& lost,
                           LiveShowListener& listener, std::string& error) {
    const LiveSourceChoice was = capture_.Choice();
    const bool deviceLost = change != LiveCapture::Change::DefaultChanged;
    const std::string why =
        deviceLost ? (lost.empty() ? "the device " + capture_.Describe() + " went away" : lost)
                   : "the default device changed";
    LiveSourceChoice next = was;
    if (deviceLost && was.kind == LiveSource::Recording) {
        if (!was.FollowsDefault() && !options_.replaceLostDevice) {
            error = why;
            return false;
        }
        next = LiveSourceChoice{LiveSource::Recording, {}, {}};
    }
    std::string openError;
    bool opened = capture_.Open(next, openError) && capture_.Start(openError);
    if (!opened && next.kind == LiveSource::Recording && options_.replaceLostDevice) {
        next = LiveSourceChoice{LiveSource::Loopback, {}, {}};
        opened = capture_.Open(next, openError) && capture_.Start(openError);
    }
    if (!opened) {
        error = why + ", and " + openError;
        return false;
    }
    // A new device may mix in another format; this happens once per change.
    window_ = std::make_unique<LiveWindow>(capture_.Layout());
    window_->FillGap(PerformanceTime());
    ::AcquireSRWLockExclusive(&lock_);
    counts_.source = capture_.Describe();
    ::ReleaseSRWLockExclusive(&lock_);
    listener.SourceChanged(why + ": now live from " + capture_.Describe());
    return true;
}
