#include "config/win32/property_dialog.h"

#include "config/dialog_values.h"
#include "config/settings.h"
#include "config/win32/channel_dialog.h"
#include "config/win32/output_dialog.h"
#include "config/win32/settings_notice.h"
#include "resource.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr int kPortTextSize = 64; // terminator included
constexpr UINT_PTR kStatusTimer = 1;
constexpr UINT kStatusPeriodMs = 500;

const char* const kListedPorts[] = {"COM1", "COM2", "COM3", "COM4"};

// The graphics check boxes, in the order they are read, and their flags.
const struct {
    int id;
    uint8_t PluginState::*flag;
} kGraphicsBoxes[] = {
    {IDC_DRAW_FREQUENCY, &PluginState::DrawFrequency},
    {IDC_DRAW_POWER, &PluginState::DrawPower},
    {IDC_DRAW_CHANNELS, &PluginState::DrawChannels},
    {IDC_DRAW_CHANNEL_NUMBERS, &PluginState::DrawChannelNumbers},
};

ScreenRect ToScreenRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

} // namespace

void OpenPropertyDialog(IDialogHost& host, PluginSettings& settings, HWND owner) {
    CDialogBase::Open(
        std::unique_ptr<CDialogBase>(new (std::nothrow) CPropertyDialog(host, settings)),
        IDD_PROPERTY_DIALOG, owner);
}

bool CPropertyDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message == WM_INITDIALOG) {
        Initialize();
        result = TRUE;
        return true;
    }
    if (message == WM_TIMER && wParam == kStatusTimer) {
        ShowOutputProblem();
        result = 0;
        return true;
    }
    if (message != WM_COMMAND) {
        return false;
    }
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    result = 0;
    if (id == IDOK) {
        if (ApplySettings()) {
            End(1);
        }
        return true;
    }
    if (id == IDCANCEL) {
        End(2);
        return true;
    }
    if (id == IDC_PORT && code == CBN_EDITCHANGE) {
        return true;
    }
    if (code == BN_CLICKED) {
        const int channel = ChannelIndexForButton(id);
        if (channel >= 0) {
            OpenChannelDialog(Host(), *this, settings_.State().Channels[channel]);
            return true;
        }
        if (id == IDC_APPLY) {
            ApplySettings();
            return true;
        }
        if (id == IDC_OUTPUT_BUTTON) {
            OpenOutputDialog(Host(), *this, output_);
            return true;
        }
    }
    return false;
}

void CPropertyDialog::Initialize() {
    Centre();
    const HWND window = Window();
    for (const char* port : kListedPorts) {
        ::SendDlgItemMessageA(window, IDC_PORT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(port));
    }
    const PluginState& state = settings_.State();
    const LinkSettings& link = settings_.Link();
    ::SetDlgItemTextA(window, IDC_PORT, link.PortName);
    ::SetDlgItemInt(window, IDC_DEVICE_ID, link.DeviceId, FALSE);
    ::SetDlgItemInt(window, IDC_LIGHT_DELAY, link.LightDelayMs, FALSE);
    for (const auto& box : kGraphicsBoxes) {
        ::SendDlgItemMessageA(window, box.id, BM_SETCHECK,
                              state.*box.flag ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    output_ = link;
    ShowOutput();
    // A network output's failures come from its engine after Open has
    // returned: the status line follows them while the dialog is open.
    ShowOutputProblem();
    ::SetTimer(window, kStatusTimer, kStatusPeriodMs, nullptr);
    ShowSettingsNotice(Host(), settings_, window);
}

void CPropertyDialog::SetOutput(const LinkSettings& chosen) {
    output_.Output = chosen.Output;
    std::memcpy(output_.OutputAddress, chosen.OutputAddress, sizeof output_.OutputAddress);
    output_.Universe = chosen.Universe;
    output_.StartChannel = chosen.StartChannel;
    ShowOutput();
}

void CPropertyDialog::ShowOutput() {
    const HWND window = Window();
    ::SetDlgItemTextA(window, IDC_OUTPUT_SUMMARY, OutputKindName(output_.Output));
    const bool serial = output_.Output == OutputKind::Serial;
    for (int id : {IDC_PORT_LABEL, IDC_PORT, IDC_DEVICE_LABEL, IDC_DEVICE_ID}) {
        ::EnableWindow(::GetDlgItem(window, id), serial);
    }
}

void CPropertyDialog::ShowOutputProblem() {
    if (refused_) {
        return;
    }
    char text[kOutputAddressSize + 64] = "";
    if (!settings_.OutputProblem(text, sizeof text)) {
        text[0] = '\0';
    }
    char shown[sizeof text] = "";
    ::GetDlgItemTextA(Window(), IDC_STATUS, shown, sizeof shown);
    if (std::strcmp(text, shown) != 0) {
        ::SetDlgItemTextA(Window(), IDC_STATUS, text);
    }
}

bool CPropertyDialog::ApplySettings() {
    const HWND window = Window();
    PluginState& state = settings_.State();
    // The flags take effect whatever becomes of the output.
    for (const auto& box : kGraphicsBoxes) {
        const LRESULT checked = ::SendDlgItemMessageA(window, box.id, BM_GETSTATE, 0, 0);
        state.*box.flag = (checked & BST_CHECKED) ? 1 : 0;
    }
    char port[kPortTextSize] = {};
    ::GetDlgItemTextA(window, IDC_PORT, port, kPortTextSize);
    // A blank or out-of-range id is left to the output's own check, which
    // refuses it without changing anything.
    const UINT deviceId = ::GetDlgItemInt(window, IDC_DEVICE_ID, nullptr, FALSE);
    BOOL delayIsNumber = FALSE;
    const UINT delay = ::GetDlgItemInt(window, IDC_LIGHT_DELAY, &delayIsNumber, FALSE);

    // What the dialog doesn't show (the source id) stays as it is; so do the
    // port and device id while a network output is chosen: their controls
    // are disabled then.
    LinkSettings wanted = settings_.Link();
    wanted.Output = output_.Output;
    std::memcpy(wanted.OutputAddress, output_.OutputAddress, sizeof wanted.OutputAddress);
    wanted.Universe = output_.Universe;
    wanted.StartChannel = output_.StartChannel;
    wanted.LightDelayMs = delay;
    const bool serial = wanted.Output == OutputKind::Serial;

    const char* problem = nullptr;
    char text[96];
    if (!delayIsNumber || delay > kMaxLightDelayMs) {
        problem = "The light delay must be 0 to 2000 ms.";
    } else if (serial && !AcceptsPort(port, deviceId)) {
        problem = std::strlen(port) >= kPortNameSize ? "The port name is too long."
                                                     : "The device ID must be 1 to 255.";
    } else {
        if (serial) {
            std::memcpy(wanted.PortName, port, std::strlen(port) + 1);
            wanted.DeviceId = static_cast<uint8_t>(deviceId);
        }
        if (!settings_.OpenOutput(wanted)) {
            if (serial) {
                std::snprintf(text, sizeof text, "Port %s can't be opened.", port);
            } else {
                std::snprintf(text, sizeof text, "The %s output can't be started.",
                              OutputKindName(wanted.Output));
            }
            problem = text;
        }
    }
    refused_ = problem != nullptr;
    ::SetDlgItemTextA(window, IDC_STATUS, problem != nullptr ? problem : "");
    if (problem != nullptr) {
        return false;
    }
    settings_.Save();
    settings_.SetCurrentPreset(0);
    ShowOutputProblem();
    return true;
}

// Centres on the owner while it is visible and not minimised, else on the
// work area, and keeps the whole dialog within the work area.
void CPropertyDialog::Centre() {
    const HWND window = Window();
    RECT dialog{};
    ::GetWindowRect(window, &dialog);
    RECT workArea{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    RECT reference = workArea;
    const HWND owner = ::GetWindow(window, GW_OWNER);
    if (owner != nullptr) {
        const LONG style = ::GetWindowLongA(owner, GWL_STYLE);
        if ((style & WS_VISIBLE) && !(style & WS_MINIMIZE)) {
            ::GetWindowRect(owner, &reference);
        }
    }
    const ScreenPoint at = CentredPosition(dialog.right - dialog.left, dialog.bottom - dialog.top,
                                           ToScreenRect(reference), ToScreenRect(workArea));
    ::SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
