#include "link/win32/engine_thread.h"

#include <algorithm>

// Windows 10 1803 and later; elsewhere CreateWaitableTimerExW refuses it.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// Any address inside this module, to find the module a thread must pin.
const char kModuleAnchor = 0;

} // namespace

Micros NowUs() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart / frequency * 1'000'000 + now.QuadPart % frequency * 1'000'000 / frequency;
}

UniqueHandleNull StartPinnedThread(LPTHREAD_START_ROUTINE procedure, void* parameter,
                                   HMODULE& module) {
    module = nullptr;
    HMODULE pinned = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&kModuleAnchor), &pinned)) {
        return UniqueHandleNull();
    }
    module = pinned;
    UniqueHandleNull thread(::CreateThread(nullptr, 0, procedure, parameter, 0, nullptr));
    if (!thread) {
        module = nullptr;
        ::FreeLibrary(pinned);
    }
    return thread;
}

UniqueHandleNull CreateEngineTimer() {
    UniqueHandleNull timer(::CreateWaitableTimerExW(
        nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS));
    if (!timer) {
        timer.reset(::CreateWaitableTimerW(nullptr, FALSE, nullptr));
    }
    return timer;
}

void WaitForWorkOrTime(HANDLE* handles, DWORD count, HANDLE timer, Micros wakeAt, Micros now) {
    DWORD timeout = INFINITE;
    if (wakeAt != kNever) {
        const Micros left = std::max<Micros>(wakeAt - now, 0);
        LARGE_INTEGER due;
        due.QuadPart = -std::max<Micros>(left * 10, 1); // relative, in 100-ns units
        if (timer != nullptr && ::SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
            handles[count++] = timer;
        } else {
            timeout = static_cast<DWORD>(std::min<Micros>((left + 999) / 1000, 0x7FFFFFFF));
        }
    } else if (timer != nullptr) {
        ::CancelWaitableTimer(timer);
    }
    ::WaitForMultipleObjects(count, handles, FALSE, timeout);
}
