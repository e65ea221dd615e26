#include "link/win32/engine_thread.h"

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
