// Twinkla Live: lights the show from whatever the computer plays, through
// the registered plug-in, in a window of its own. One runs at a time: a
// second start shows the first one's window.
#include "main_window.h"

#include "common/win32/unique_handle.h"

#include <commctrl.h>
#include <objbase.h>

namespace {

// The plug-in's modeless dialogs get their keyboard handling (Tab, Enter,
// Esc) from the loop that runs them.
bool IsDialogKey(MSG& msg) {
    const HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
    char className[8] = {};
    return root && ::GetClassNameA(root, className, sizeof className) &&
           lstrcmpA(className, "#32770") == 0 && ::IsDialogMessageA(root, &msg);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
    const UniqueHandleNull running(::CreateMutexA(nullptr, FALSE, "Local\\TwinklaLive"));
    if (running && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        if (const HWND other = ::FindWindowA(CMainWindow::kClassName, nullptr)) {
            ::AllowSetForegroundWindow(ASFW_ANY);
            ::PostMessageA(other, CMainWindow::kShowWindowMessage, 0, 0);
        }
        return 0;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        ::MessageBoxA(nullptr, "Twinkla Live can't start: COM can't be initialised.",
                      "Twinkla Live", MB_OK | MB_ICONERROR);
        return 1;
    }
    // The status bar, and the up-down controls of the plug-in's dialogs.
    const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    ::InitCommonControlsEx(&controls);

    int status = 1;
    {
        CMainWindow window;
        if (window.Create(showCommand)) {
            MSG msg;
            while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
                if (!IsDialogKey(msg)) {
                    ::TranslateMessage(&msg);
                    ::DispatchMessageA(&msg);
                }
            }
            status = 0;
        }
    }
    // Let the plug-in go as a player does when it closes: its port is closed
    // and its thread stopped before COM is torn down.
    ::CoFreeUnusedLibrariesEx(0, 0);
    ::CoUninitialize();
    return status;
}
