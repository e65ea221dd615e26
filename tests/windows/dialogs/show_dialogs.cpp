// Opens one of the dialogs with sample settings and keeps it on screen for
// tools/screenshot-dialogs:
//   show_dialogs property|channel|output DONE_FILE
// Prints the dialog's window rectangle ("left top width height") once it is
// shown, then runs the message loop until DONE_FILE exists (at most 30 s).

#include "config/plugin_settings.h"
#include "config/win32/property_dialog.h"
#include "memory_store.h"
#include "recording_link.h"
#include "records.h"
#include "resource.h"
#include "win32/message_pump.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The plug-in as a user who set it up sees it: COM3, and an sACN receiver
// at hand for the Output dialog; channel 1 a band of the spectrum.
class SampleHost final : public IDialogHost {
public:
    SampleHost() {
        LinkSettings sample;
        std::strcpy(sample.PortName, "COM3");
        sample.DeviceId = 1;
        std::strcpy(sample.OutputAddress, "10.0.0.5");
        plugin.OpenOutput(sample);
        plugin.State().DrawChannelNumbers = 0;
        plugin.State().Channels[0] = FrequencyChannel(FreqAverage, 2, 24);
    }
    HINSTANCE ResourceModule() noexcept override { return ::GetModuleHandleA(nullptr); }
    bool DialogOpened(HWND dialog) noexcept override {
        last = dialog;
        return true;
    }
    void DialogClosed(HWND) noexcept override {}

    RecordingLink link;
    MemoryStore store;
    PluginSettings plugin{link, store};
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
    OpenPropertyDialog(host, host.plugin, nullptr);
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

    PumpMessagesUntil(30000,
                      [&] { return ::GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES; });
    ::DestroyWindow(properties);
    return 0;
}
