#include "link/win32/controller_link.h"

#include "common/win32/srw_lock.h"
#include "common/win32/unique_handle.h"
#include "link/output_schedule.h"
#include "link/win32/engine_thread.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr Micros kReopenPeriodUs = 2'000'000;
// A close lets pending writes go on this long, then cancels what is left.
constexpr Micros kDrainUs = 1'500'000;
// The last part of that is for the newest levels alone.
constexpr Micros kDrainNewestUs = 500'000;
constexpr DWORD kCancelWaitMs = 200;
constexpr DWORD kCloseWaitMs = 2000;

bool IsComName(const char* name) {
    if ((name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm' ||
        name[3] == '\0') {
        return false;
    }
    for (const char* p = name + 3; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
    }
    return true;
}

// The port at 115200 baud with RTS raised and its other line settings as they
// were, for overlapped writes; none when it can't be opened or set up.
// CreateFileA finds COM1..COM9 by their bare names only; every COMn opens
// through the device namespace, so all of them take that path alike.
UniqueFile OpenSerialPort(const char* name) {
    char path[4 + kPortNameSize] = "\\\\.\\";
    const char* target = name;
    if (IsComName(name)) {
        std::strcat(path, name);
        target = path;
    }
    UniqueFile port(::CreateFileA(target, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr));
    if (!port) {
        return port;
    }
    // Without the current settings there is nothing to keep unchanged, and a
    // guessed DCB could apply wrong ones: a failed read fails the open.
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port.get(), &dcb)) {
        return UniqueFile();
    }
    dcb.BaudRate = CBR_115200;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!::SetCommState(port.get(), &dcb)) {
        return UniqueFile();
    }
    return port;
}

} // namespace

// What the engine thread touches besides what every engine's block holds.
struct ControllerLink::Shared : EngineShared<Shared> {
    Pacing pacing = Pacing::WaitableTimer;
    UniqueHandleNull closed; // manual reset: the engine has closed the port on request
    std::atomic<bool> isOpen{false};

    // The message the engine has in flight. Here rather than on the thread's
    // stack, so that a write nothing could cancel never points at a dead frame.
    struct Write {
        OVERLAPPED overlapped = {};
        UniqueHandleNull done; // manual reset, set by the system when the write ends
        uint8_t bytes[6] = {};
        DWORD size = 0;
        HANDLE port = nullptr; // the handle it was written on
        bool inFlight = false; // only the engine thread reads or writes this
    } write;

    // Guarded by `lock`:
    SerialSchedule schedule;
    UniqueFile port;                     // handed over by Open; only the engine uses and closes it
    char reopenName[kPortNameSize] = {}; // tried again after a failed write; empty: never
    bool closeRequested = false;         // write what is pending, then close the port
    Counts counts = {};
};

namespace {

using Shared = ControllerLink::Shared;

// The engine thread's side: everything here runs on it.
class Engine {
public:
    explicit Engine(Shared& s) : s_(s) {
        if (s_.pacing == ControllerLink::Pacing::WaitableTimer) {
            timer_ = CreateEngineTimer();
        }
    }

    // Runs until a stop request has been carried out. False when a write
    // that nothing could cancel is still in flight: the shared block must
    // then outlive the thread, as the system may still finish that write.
    bool Run();

private:
    struct Step {
        enum Action { Wait, Write, Cancel, Reopen, Exit } action = Wait;
        Micros wakeAt = kNever; // for Wait
        HANDLE port = nullptr;  // for Write and Cancel
        uint8_t bytes[6] = {};  // for Write
        DWORD size = 0;
    };
    // What to do next, decided under the lock.
    Step Decide(Micros now);
    // After the write in flight has ended: counts it, or closes a failed line.
    void Finish(Micros now);
    void Start(const Step& step, Micros now);
    // Cancels the write in flight; false when it won't end.
    bool Cancel(HANDLE port);
    // With the lock held: the port goes, and with it what was pending.
    void ClosePortLocked();
    void Failed(Micros now);
    void TryReopen(Micros now);
    void WaitUntil(Micros wakeAt, Micros now);

    Shared& s_;
    UniqueHandleNull timer_;
    Micros reopenAt_ = kNever;
    Micros drainUntil_ = kNever; // while a close request is being carried out
};

bool Engine::Run() {
    for (;;) {
        const Micros now = NowUs();
        // Read from the OVERLAPPED itself: no call into the system per message.
        if (s_.write.inFlight && HasOverlappedIoCompleted(&s_.write.overlapped)) {
            Finish(now);
        }
        const Step step = Decide(now);
        switch (step.action) {
        case Step::Write:
            Start(step, now);
            break;
        case Step::Cancel:
            if (!Cancel(step.port)) {
                s_.isOpen.store(false);
                ::SetEvent(s_.closed.get());
                return false;
            }
            break;
        case Step::Reopen:
            TryReopen(now);
            break;
        case Step::Exit:
            return true;
        case Step::Wait:
            WaitUntil(step.wakeAt, now);
            break;
        }
    }
}

Engine::Step Engine::Decide(Micros now) {
    Step step;
    const auto write = [&step](const uint8_t* bytes, size_t size, HANDLE port) {
        step.action = Step::Write;
        step.port = port;
        std::memcpy(step.bytes, bytes, size);
        step.size = static_cast<DWORD>(size);
    };
    const bool inFlight = s_.write.inFlight;
    ExclusiveLock lock(s_.lock);
    s_.idle = false;
    // The port's "none" is INVALID_HANDLE_VALUE, not null: ask the owner.
    const bool hasPort = static_cast<bool>(s_.port);
    const HANDLE port = s_.port.get();
    const bool abandoned = s_.abandoned.load();

    if (s_.closeRequested || s_.stopRequested || abandoned) {
        if (drainUntil_ == kNever) {
            drainUntil_ = now + kDrainUs;
        }
        if (abandoned) {
            drainUntil_ = std::min(drainUntil_, now);
        }
        if (inFlight) {
            step.action = now >= drainUntil_ ? Step::Cancel : Step::Wait;
            step.wakeAt = drainUntil_;
            step.port = s_.write.port;
            return step;
        }
        if (hasPort && now < drainUntil_) {
            // What is pending and delayed goes out now, frame after frame;
            // near the end only the newest levels, so the lights end right.
            const auto drain = now < drainUntil_ - kDrainNewestUs ? SerialSchedule::Drain::InOrder
                                                                  : SerialSchedule::Drain::Newest;
            const SerialSchedule::Next next = s_.schedule.Take(now, drain);
            if (next.kind == SerialSchedule::Next::Command) {
                write(next.command.data(), next.command.size(), port);
                return step;
            }
        }
        ClosePortLocked();
        s_.closeRequested = false;
        drainUntil_ = kNever;
        ::SetEvent(s_.closed.get());
        step.action = s_.stopRequested || abandoned ? Step::Exit : Step::Wait;
        return step;
    }
    if (inFlight) {
        return step; // the write's end wakes the engine
    }
    if (!hasPort) {
        step.action = now >= reopenAt_ ? Step::Reopen : Step::Wait;
        step.wakeAt = reopenAt_;
        return step;
    }
    const SerialSchedule::Next next = s_.schedule.Take(now);
    if (next.kind == SerialSchedule::Next::Command) {
        write(next.command.data(), next.command.size(), port);
    } else if (next.kind == SerialSchedule::Next::KeepAlive) {
        write(KeepAliveMessage.data(), KeepAliveMessage.size(), port);
    } else {
        step.wakeAt = next.wakeAt;
        s_.idle = true; // decided under the lock, so no frame handed over can be missed
    }
    return step;
}

void Engine::Start(const Step& step, Micros now) {
    Shared::Write& w = s_.write;
    std::memcpy(w.bytes, step.bytes, step.size);
    w.size = step.size;
    w.port = step.port;
    w.overlapped = {};
    w.overlapped.hEvent = w.done.get(); // WriteFile resets it
    // One message, one write: a message is never split.
    const BOOL done = ::WriteFile(step.port, w.bytes, step.size, nullptr, &w.overlapped);
    if (done || ::GetLastError() == ERROR_IO_PENDING) {
        w.inFlight = true;
        if (done) {
            Finish(now); // a line with room takes it at once
        }
        return;
    }
    ExclusiveLock lock(s_.lock);
    Failed(now);
}

void Engine::Finish(Micros now) {
    Shared::Write& w = s_.write;
    DWORD written = 0;
    const BOOL ok = ::GetOverlappedResult(w.port, &w.overlapped, &written, FALSE);
    w.inFlight = false;
    ExclusiveLock lock(s_.lock);
    if (ok && written == w.size) {
        s_.schedule.Written(now);
        s_.counts.commandsWritten += w.size == sizeof(LevelCommand);
    } else {
        Failed(now);
    }
}

// The line is gone (or took part of a message): the picture says so, and the
// same port is tried again every 2 s until it comes back.
void Engine::Failed(Micros now) {
    ++s_.counts.failedWrites;
    ClosePortLocked();
    if (s_.reopenName[0] != '\0' && !s_.closeRequested && !s_.stopRequested) {
        reopenAt_ = now + kReopenPeriodUs;
    }
}

bool Engine::Cancel(HANDLE port) {
    Shared::Write& w = s_.write;
    ::CancelIoEx(port, &w.overlapped);
    if (::WaitForSingleObject(w.done.get(), kCancelWaitMs) != WAIT_OBJECT_0) {
        // Closing the handle cancels what CancelIoEx couldn't reach.
        ExclusiveLock lock(s_.lock);
        ClosePortLocked();
        if (::WaitForSingleObject(w.done.get(), kCancelWaitMs) != WAIT_OBJECT_0) {
            return false;
        }
    }
    w.inFlight = false;
    ExclusiveLock lock(s_.lock);
    drainUntil_ = std::min(drainUntil_, NowUs()); // whatever is left is dropped
    return true;
}

void Engine::ClosePortLocked() {
    s_.isOpen.store(false);
    s_.schedule.Drop();
    // With a write in flight the handle is closed all the same, which
    // cancels the write; its end is still awaited through the event.
    s_.port.reset();
    reopenAt_ = kNever;
}

void Engine::TryReopen(Micros now) {
    char name[kPortNameSize];
    {
        ExclusiveLock lock(s_.lock);
        std::memcpy(name, s_.reopenName, sizeof name);
    }
    UniqueFile port = name[0] != '\0' ? OpenSerialPort(name) : UniqueFile();
    ExclusiveLock lock(s_.lock);
    const bool wanted = name[0] != '\0' && std::strcmp(name, s_.reopenName) == 0 && !s_.port &&
                        !s_.closeRequested && !s_.stopRequested;
    if (!wanted) {
        reopenAt_ = kNever;
        return;
    }
    if (!port) {
        reopenAt_ = now + kReopenPeriodUs;
        return;
    }
    s_.port = std::move(port);
    s_.schedule.Opened(NowUs());
    ++s_.counts.reopens;
    reopenAt_ = kNever;
    s_.isOpen.store(true);
}

void Engine::WaitUntil(Micros wakeAt, Micros now) {
    HANDLE handles[3] = {s_.wake.get()};
    DWORD count = 1;
    if (s_.write.inFlight) {
        handles[count++] = s_.write.done.get();
    }
    WaitForWorkOrTime(handles, count, timer_.get(), wakeAt, now);
}

} // namespace

ControllerLink::ControllerLink(Pacing pacing) {
    shared_ = new (std::nothrow) Shared;
    if (shared_ != nullptr) {
        StartThread(pacing);
    }
}

ControllerLink::~ControllerLink() {
    if (!stopped_) {
        Close();
    }
    if (shared_ != nullptr) {
        shared_->Release();
    }
}

bool ControllerLink::EngineRunning() const {
    return thread_ && ::WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT;
}

void ControllerLink::StartThread(Pacing pacing) {
    shared_->pacing = pacing;
    shared_->wake.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    shared_->closed.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    shared_->write.done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!shared_->wake || !shared_->closed || !shared_->write.done) {
        return; // a thread that couldn't be woken or stopped isn't started at all
    }
    shared_->AddRef(); // the thread's reference
    thread_ = StartPinnedThread(EngineLoop, shared_, shared_->module);
    if (!thread_) {
        shared_->Release(); // the thread's reference, never handed over
    }
}

DWORD WINAPI ControllerLink::EngineLoop(void* parameter) noexcept {
    Shared* const shared = static_cast<Shared*>(parameter);
    const HMODULE module = shared->module;
    bool done = false;
    {
        Engine engine(*shared);
        done = engine.Run();
    }
    if (done && !shared->write.inFlight) {
        shared->Release(); // may free the block: nothing of it is used below
    }
    ::FreeLibraryAndExitThread(module, 0);
    return 0;
}

bool ControllerLink::IsOpen() const {
    return shared_ != nullptr && shared_->isOpen.load();
}

OutputHealth ControllerLink::Health() const {
    return IsOpen() ? OutputHealth::Working : OutputHealth::Closed;
}

bool ControllerLink::Open(const LinkSettings& settings) {
    if (!AcceptsPort(settings.PortName, settings.DeviceId)) {
        return false;
    }
    lightDelayMs_ = ClampLightDelay(settings.LightDelayMs);
    return Open(settings.PortName, settings.DeviceId);
}

bool ControllerLink::Open(const char* portName, uint32_t deviceId) {
    if (!AcceptsPort(portName, deviceId)) {
        return false;
    }
    DeviceId = static_cast<uint8_t>(deviceId);
    // Even when it is the same port: a failed Open always leaves the link
    // closed. An old port the engine couldn't let go of in time may keep the
    // new one from opening, so none is tried then.
    const bool released = ClosePort();
    UniqueFile port;
    if (released && EngineRunning()) {
        port = OpenSerialPort(portName);
    }
    // Recorded even when the port can't be opened, so the settings show and
    // store the name that was tried. The caller may pass PortName itself.
    std::memmove(PortName, portName, std::strlen(portName) + 1);
    if (!port) {
        return false;
    }
    {
        ExclusiveLock lock(shared_->lock);
        shared_->port = std::move(port);
        std::memcpy(shared_->reopenName, PortName, sizeof PortName);
        shared_->schedule.SetDelay(static_cast<Micros>(lightDelayMs_) * 1000);
        shared_->schedule.Opened(NowUs());
        shared_->isOpen.store(true);
    }
    ::SetEvent(shared_->wake.get());
    return true;
}

void ControllerLink::Adopt(const LinkSettings& settings) {
    DeviceId = settings.DeviceId;
    lightDelayMs_ = ClampLightDelay(settings.LightDelayMs);
    if (shared_ != nullptr) {
        ExclusiveLock lock(shared_->lock);
        shared_->schedule.SetDelay(static_cast<Micros>(lightDelayMs_) * 1000);
    }
}

void ControllerLink::SendFrame(const ChannelLevel* levels, size_t count) {
    LevelCommand commands[CommandBatch::kCapacity];
    while (count > 0) {
        const size_t n = std::min(count, CommandBatch::kCapacity);
        for (size_t i = 0; i < n; ++i) {
            commands[i] = EncodeLevelCommand(levels[i].channel, levels[i].level, DeviceId);
        }
        Submit(commands, n, true);
        levels += n;
        count -= n;
    }
}

void ControllerLink::SetLevel(int channelIndex, int32_t level) {
    const LevelCommand command = EncodeLevelCommand(channelIndex, level, DeviceId);
    Submit(&command, 1, false);
}

void ControllerLink::Submit(const LevelCommand* commands, size_t count, bool frame) {
    if (!IsOpen()) {
        return; // dropped without a trace, as on a closed port
    }
    // Taken before the lock: the delay counts from when the frame was handed over.
    const Micros now = NowUs();
    shared_->HandOver([&] { shared_->schedule.Submit(commands, count, frame, now); });
}

ControllerLink::Counts ControllerLink::GetCounts() const {
    if (shared_ == nullptr) {
        return {};
    }
    ExclusiveLock lock(shared_->lock);
    Counts counts = shared_->counts;
    counts.levelsMerged = shared_->schedule.Pending().Replaced();
    return counts;
}

bool ControllerLink::ClosePort() {
    if (!EngineRunning()) {
        return true;
    }
    {
        ExclusiveLock lock(shared_->lock);
        if (!shared_->port && shared_->reopenName[0] == '\0') {
            return true; // nothing open and nothing to reopen
        }
        shared_->reopenName[0] = '\0';
        shared_->closeRequested = true;
        ::ResetEvent(shared_->closed.get());
    }
    ::SetEvent(shared_->wake.get());
    // The engine drains for at most kDrainUs and then cancels; this is the
    // bound for that, with room to spare.
    return ::WaitForSingleObject(shared_->closed.get(), kCloseWaitMs - 100) == WAIT_OBJECT_0;
}

void ControllerLink::Close() {
    const ULONGLONG start = ::GetTickCount64();
    ClosePort();
    if (stopped_) {
        return;
    }
    stopped_ = true;
    if (!thread_) {
        return;
    }
    shared_->RequestStop();
    // At most 2000 ms in all: an engine still busy is left to end on its own,
    // holding the shared block and the module.
    const ULONGLONG spent = ::GetTickCount64() - start;
    ::WaitForSingleObject(thread_.get(),
                          spent < kCloseWaitMs ? static_cast<DWORD>(kCloseWaitMs - spent) : 0);
}

void ControllerLink::Abandon() {
    stopped_ = true;
    if (shared_ == nullptr) {
        return;
    }
    // No lock: at process exit the engine may have vanished holding it.
    shared_->isOpen.store(false);
    shared_->abandoned.store(true);
    if (shared_->wake) {
        ::SetEvent(shared_->wake.get());
    }
}
