#include "win32/message_pump.h"

#include <windows.h>

void PumpMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

bool PumpMessagesUntil(int timeoutMs, const std::function<bool()>& done) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        PumpMessages();
        if (done && done()) {
            return true;
        }
        if (::GetTickCount() - start >= static_cast<DWORD>(timeoutMs)) {
            return false;
        }
        ::Sleep(10);
    }
}
