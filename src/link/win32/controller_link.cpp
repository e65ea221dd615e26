#include "link/win32/controller_link.h"

#include "common/win32/srw_lock.h"

#include <atomic>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr DWORD kKeepAlivePeriodMs = 500;
constexpr LONGLONG kKeepAliveDue = -5'000'000; // 500 ms from now, in 100-ns units
constexpr DWORD kCloseWaitMs = 2000;
// Open and Close wait this long for a write that holds the port, then cancel
// it, and after kPortLockMs give the port up to the writer to close.
constexpr ULONGLONG kCancelAfterMs = 100;
constexpr ULONGLONG kPortLockMs = 1000;

// Any address inside this module, to find the module the thread must pin.
const char kModuleAnchor = 0;

// `dueIn` in 100-ns units, negative (relative to now).
void ArmKeepAliveTimer(HANDLE timer, LONGLONG dueIn = kKeepAliveDue) {
    LARGE_INTEGER due;
    due.QuadPart = dueIn;
    ::SetWaitableTimer(timer, &due, kKeepAlivePeriodMs, nullptr, nullptr, FALSE);
}

LONGLONG CounterNow() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

LONGLONG CounterFrequency() {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

// One message, one write. Nothing is read back from the controller, so
// failures go unnoticed by design.
void WriteMessage(HANDLE port, const uint8_t* bytes, DWORD size) {
    DWORD written = 0;
    ::WriteFile(port, bytes, size, &written, nullptr);
    ::FlushFileBuffers(port);
}

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

// CreateFileA finds COM1..COM9 by their bare names only; every COMn opens
// through the device namespace, so all of them take that path alike.
UniqueFile OpenPort(const char* name) {
    char path[4 + kPortNameSize] = "\\\\.\\";
    const char* target = name;
    if (IsComName(name)) {
        std::strcat(path, name);
        target = path;
    }
    return UniqueFile(
        ::CreateFileA(target, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

} // namespace

// What the keep-alive thread touches. It lives until both the link and the
// thread have let go of it, so a link destroyed before its thread has ended
// leaves the thread nothing freed to touch.
struct ControllerLink::Shared {
    std::atomic<LONG> refs{1};
    std::atomic<bool> running{true};
    UniqueHandleNull stopEvent; // manual reset; set once, when the thread is to end
    HMODULE module = nullptr;   // the thread's pin on this module
    Pacing pacing = Pacing::WaitableTimer;

    SRWLOCK lock = SRWLOCK_INIT;
    // Guarded by `lock`:
    UniqueFile port;        // open while the link is
    UniqueHandleNull timer; // created by the thread
    bool commandSent = false;
    LONGLONG lastCommand = 0; // performance counter when the last command went out

    // How long, in 100-ns units, until a keep-alive period has passed since
    // the last command; 0 or less when it has.
    LONGLONG QuietLeft() const {
        if (!commandSent) {
            return 0;
        }
        static const LONGLONG frequency = CounterFrequency();
        const LONGLONG left = lastCommand + frequency * kKeepAlivePeriodMs / 1000 - CounterNow();
        return left <= 0 ? 0 : left * 10'000'000 / frequency + 1;
    }

    // Set when Open or Close gave up waiting for a writer stuck with the
    // port: whoever holds the lock next closes the port.
    std::atomic<bool> portAbandoned{false};

    // With `lock` held.
    void CloseAbandonedPort() {
        if (portAbandoned.exchange(false)) {
            port.reset();
        }
    }

    Shared() = default;
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    void AddRef() { refs.fetch_add(1); }
    void Release() {
        if (refs.fetch_sub(1) == 1) {
            delete this;
        }
    }
};

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

void ControllerLink::StartThread(Pacing pacing) {
    shared_->pacing = pacing;
    shared_->stopEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!shared_->stopEvent) {
        return; // a thread that couldn't be stopped quickly isn't started at all
    }
    // The pin is taken here, before the thread exists, so there is no moment
    // at which the thread runs in a module nobody holds.
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&kModuleAnchor), &module)) {
        return;
    }
    shared_->module = module;
    shared_->AddRef(); // the thread's reference
    thread_.reset(::CreateThread(nullptr, 0, KeepAliveLoop, shared_, 0, nullptr));
    if (!thread_) {
        shared_->module = nullptr;
        shared_->Release(); // the thread's reference, never handed over
        ::FreeLibrary(module);
    }
}

DWORD WINAPI ControllerLink::KeepAliveLoop(void* parameter) noexcept {
    Shared* const shared = static_cast<Shared*>(parameter);
    const HMODULE module = shared->module;

    HANDLE timer = nullptr;
    if (shared->pacing == Pacing::WaitableTimer) {
        // Unnamed: a named timer would be shared with every other process
        // hosting the link, and each expiry would wake only one of them.
        timer = ::CreateWaitableTimerA(nullptr, FALSE, nullptr);
        if (timer != nullptr) {
            ExclusiveLock lock(shared->lock);
            shared->timer.reset(timer);
            ArmKeepAliveTimer(timer);
        }
    }

    const HANDLE waits[] = {shared->stopEvent.get(), timer};
    for (;;) {
        {
            ExclusiveLock lock(shared->lock);
            shared->CloseAbandonedPort();
            if (!shared->running.load()) {
                break;
            }
            if (shared->port) {
                // Decided under the lock: a command may have gone out between
                // the timer's expiry and now. The keep-alive is then not due;
                // the timer waits out the rest of the quiet period.
                const LONGLONG left = timer != nullptr ? shared->QuietLeft() : 0;
                if (left <= 0) {
                    WriteMessage(shared->port.get(), KeepAliveMessage.data(),
                                 KeepAliveMessage.size());
                } else {
                    ArmKeepAliveTimer(timer, -left);
                }
            }
            // The owner may have given up on the port during a stalled write.
            shared->CloseAbandonedPort();
        }
        if (timer != nullptr) {
            ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        } else {
            ::WaitForSingleObject(waits[0], kKeepAlivePeriodMs);
        }
    }

    shared->Release(); // may free the block: nothing of it is used below
    ::FreeLibraryAndExitThread(module, 0);
    return 0;
}

bool ControllerLink::Open(const char* portName, uint32_t deviceId) {
    if (deviceId < 1 || deviceId > 255 || portName == nullptr) {
        return false;
    }
    const size_t length = ::strnlen(portName, kPortNameSize);
    if (length >= kPortNameSize) {
        return false; // too long for PortName: refused like a bad id
    }

    DeviceId = static_cast<uint8_t>(deviceId);
    // Even when it is the same port: a failed Open always leaves the link
    // closed. An old port still held by a stalled write may keep the new one
    // from opening, so none is tried then.
    const bool closed = ClosePort();
    UniqueFile port;
    if (shared_ != nullptr && closed) {
        port = OpenPort(portName);
    }
    // Recorded even when the port can't be opened, so the settings show and
    // store the name that was tried.
    std::memmove(PortName, portName, length + 1); // the caller may pass PortName itself
    if (!port) {
        return false;
    }

    // Without the current settings there is nothing to keep unchanged, and a
    // guessed DCB could apply wrong ones: a failed read fails the Open.
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port.get(), &dcb)) {
        return false;
    }
    dcb.BaudRate = CBR_115200;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!::SetCommState(port.get(), &dcb)) {
        return false;
    }

    if (!LockPort()) {
        return false;
    }
    ExclusiveLock lock(shared_->lock, std::adopt_lock);
    shared_->CloseAbandonedPort();
    shared_->port = std::move(port);
    isOpen_ = true;
    return true;
}

void ControllerLink::SetLevel(int channelIndex, int32_t level) {
    SendCommand(EncodeLevelCommand(channelIndex, level, DeviceId));
}

void ControllerLink::SendCommand(const LevelCommand& command) {
    if (!isOpen_) {
        return;
    }
    LevelCommand bytes = command;
    bytes[0] = 0x00;
    bytes[1] = DeviceId;
    bytes[5] = 0x00;

    // Taken before the timer is re-armed, so the timer never falls due
    // before a keep-alive period has passed since this time.
    const LONGLONG now = CounterNow();
    ExclusiveLock lock(shared_->lock);
    shared_->lastCommand = now;
    shared_->commandSent = true;
    if (shared_->timer) {
        ArmKeepAliveTimer(shared_->timer.get());
    }
    WriteMessage(shared_->port.get(), bytes.data(), bytes.size());
}

bool ControllerLink::LockPort() {
    const ULONGLONG start = ::GetTickCount64();
    for (int tries = 0;; ++tries) {
        if (::TryAcquireSRWLockExclusive(&shared_->lock)) {
            return true;
        }
        const ULONGLONG waited = ::GetTickCount64() - start;
        if (waited >= kPortLockMs) {
            return false;
        }
        // Only the keep-alive thread writes while the owner is here, and no
        // write takes this long unless the line is stalled. The port's own
        // time-outs stay as they are; the write is cancelled instead.
        if (waited >= kCancelAfterMs && thread_) {
            ::CancelSynchronousIo(thread_.get());
        }
        if (tries < 100) {
            ::SwitchToThread();
        } else {
            ::Sleep(waited >= kCancelAfterMs ? 20 : 1);
        }
    }
}

bool ControllerLink::ClosePort() {
    if (!isOpen_) {
        return true;
    }
    isOpen_ = false;
    if (!LockPort()) {
        shared_->portAbandoned.store(true);
        return false;
    }
    ExclusiveLock lock(shared_->lock, std::adopt_lock);
    shared_->port.reset();
    return true;
}

void ControllerLink::Close() {
    const ULONGLONG start = ::GetTickCount64();
    ClosePort();
    if (stopped_ || shared_ == nullptr) {
        stopped_ = true;
        return;
    }
    stopped_ = true;
    shared_->running.store(false);
    if (shared_->stopEvent) {
        ::SetEvent(shared_->stopEvent.get());
    }
    if (thread_) {
        // At most 2000 ms in all: a thread stuck on a stalled line is left to
        // end on its own, holding the shared block and the module.
        const ULONGLONG spent = ::GetTickCount64() - start;
        ::WaitForSingleObject(thread_.get(),
                              spent < kCloseWaitMs ? static_cast<DWORD>(kCloseWaitMs - spent) : 0);
    }
}

void ControllerLink::Abandon() {
    if (shared_ == nullptr) {
        stopped_ = true;
        return;
    }
    // Stop first: once the flag is down the thread writes nothing more, even
    // if the port below has to stay open until the thread lets go of it.
    shared_->running.store(false);
    if (isOpen_) {
        // A failed try means a write is under way (or, at process exit, the
        // thread vanished holding the lock). The writer then closes the port
        // when its write ends, or the block when its last reference goes.
        if (::TryAcquireSRWLockExclusive(&shared_->lock)) {
            shared_->port.reset();
            ::ReleaseSRWLockExclusive(&shared_->lock);
        } else {
            shared_->portAbandoned.store(true);
        }
        isOpen_ = false;
    }
    stopped_ = true;
    if (shared_->stopEvent) {
        ::SetEvent(shared_->stopEvent.get());
    }
}
