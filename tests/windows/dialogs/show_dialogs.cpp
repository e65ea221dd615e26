// Opens one of the dialogs with sample settings and keeps it on screen for
// tools/screenshot-dialogs:
//   show_dialogs property|channel|output DONE_FILE
// Prints the dialog's window rectangle ("left top width height") once it is
// shown, then runs the message loop until DONE_FILE exists (at most 30 s).

#include "config/win32/channel_dialog.h"
#include "config/win32/property_dialog.h"
#include "link/level_sink.h"
#include "resource.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

class SampleLink final : public OutputLink {
public:
    bool IsOpen() const override { return true; }
    void SendFrame(const ChannelLevel*, size_t) override {}
    void SetLevel(int, int32_t) override {}
    bool Open(const LinkSettings&) override { return true; }
    void Adopt(const LinkSettings&) override {}
};

class SampleHost final : public IDialogHost {
public:
    SampleHost() {
        std::strcpy(settings.PortName, "COM3");
        settings.DeviceId = 1;
        std::strcpy(settings.OutputAddress, "10.0.0.5");
        state.DrawChannelNumbers = 0;
        ChannelConfig& c = state.Channels[0];
        c.Enabled = 1;
        c.Mode = ModeFrequency;
        c.FreqMode = FreqAverage;
        c.AudioChannel = 0;
        c.FreqStart = 2;
        c.FreqEnd = 24;
        c.FreqWidth = 50;
    }
    PluginState& State() override { return state; }
    LinkSettings& Link() override { return settings; }
    OutputLink* Output() override { return &link; }
    bool OutputProblem(char*, size_t) override { return false; }
    void SaveSettings() override {}
    HRESULT SetCurrentPreset(LONG) override { return S_OK; }
    HINSTANCE ResourceModule() override { return ::GetModuleHandleA(nullptr); }
    bool DialogOpened(HWND dialog) noexcept override {
        last = dialog;
        return true;
    }
    void DialogClosed(HWND) noexcept override {}

    SampleLink link;
    LinkSettings settings;
    PluginState state;
    HWND last = nullptr;
};

} // namespace

int main(int argc, char** argv) {
    const bool channel = argc == 3 && std::strcmp(argv[1], "channel") == 0;
    const bool output = argc == 3 && std::strcmp(argv[1], "output") == 0;
    if (argc != 3 || (std::strcmp(argv[1], "property") != 0 && !channel && !output)) {
        std::fprintf(stderr, "usage: show_dialogs property|channel|output DONE_FILE\n");
        return 2;
    }
    SampleHost host;
    OpenPropertyDialog(host, nullptr);
    const HWND properties = host.last;
    if (properties == nullptr) {
        return 1;
    }
    HWND shown = properties;
    if (channel || output) {
        ::SendMessageA(::GetDlgItem(properties, channel ? IDC_CHANNEL_1 : IDC_OUTPUT_BUTTON),
                       BM_CLICK, 0, 0);
        shown = host.last;
        if (shown == properties) {
            return 1;
        }
        if (output) {
            // sACN chosen, as a user pointing the show at a receiver sees it.
            ::SendDlgItemMessageA(shown, IDC_OUTPUT_KIND, CB_SETCURSEL, 1, 0);
            ::SendMessageA(shown, WM_COMMAND, MAKEWPARAM(IDC_OUTPUT_KIND, CBN_SELCHANGE),
                           reinterpret_cast<LPARAM>(::GetDlgItem(shown, IDC_OUTPUT_KIND)));
        }
        // Alone on the screen, where the property dialog was.
        ::ShowWindow(properties, SW_HIDE);
        RECT at{};
        ::GetWindowRect(properties, &at);
        ::SetWindowPos(shown, nullptr, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    // Without a window manager nothing hands the new window the focus: draw
    // it as the active window it would be on a desktop.
    ::SetForegroundWindow(shown);
    ::SendMessageA(shown, WM_NCACTIVATE, TRUE, 0);
    ::SetFocus(nullptr); // no focus rectangle in the picture
    ::UpdateWindow(shown);

    RECT r{};
    ::GetWindowRect(shown, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    std::fflush(stdout);

    const DWORD start = ::GetTickCount();
    while (::GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES &&
           ::GetTickCount() - start < 30000) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(20);
    }
    ::DestroyWindow(properties);
    return 0;
}
