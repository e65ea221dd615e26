#include "main_window.h"

#include "resource.h"
#include "twinkla_version.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr UINT_PTR kStatusTimer = 1;
constexpr UINT kStatusPeriodMs = 250;
constexpr UINT kTrayMessage = WM_APP + 11;
constexpr UINT kTrayIconId = 1;
constexpr int kViewWidth = 1024; // the plug-in draws one column per bin
constexpr int kViewHeight = 256;

HINSTANCE Instance() {
    return ::GetModuleHandleA(nullptr);
}

std::string Format(const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

} // namespace

bool CMainWindow::Create(int showCommand) {
    settings_ = LoadLiveSettings();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = Instance();
    wc.hIcon = ::LoadIconA(Instance(), MAKEINTRESOURCEA(IDI_TWINKLA_LIVE));
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAIN_MENU);
    wc.lpszClassName = kClassName;
    ::RegisterClassA(&wc);
    RECT size = {0, 0, kViewWidth, kViewHeight + 24};
    ::AdjustWindowRect(&size, WS_OVERLAPPEDWINDOW, TRUE);
    window_ =
        ::CreateWindowExA(0, kClassName, "Twinkla Live", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                          CW_USEDEFAULT, CW_USEDEFAULT, size.right - size.left,
                          size.bottom - size.top, nullptr, nullptr, Instance(), this);
    if (!window_) {
        return false;
    }
    // The remembered place, if it is still on a screen.
    RECT place = settings_.window;
    if (settings_.hasPlacement && ::MonitorFromRect(&place, MONITOR_DEFAULTTONULL)) {
        WINDOWPLACEMENT wp = {};
        wp.length = sizeof wp;
        ::GetWindowPlacement(window_, &wp);
        wp.rcNormalPosition = place;
        wp.showCmd = settings_.maximized ? SW_SHOWMAXIMIZED : showCommand;
        ::SetWindowPlacement(window_, &wp);
    } else {
        ::ShowWindow(window_, showCommand);
    }
    ::UpdateWindow(window_);
    if (LoadEffect()) {
        StartShow();
    }
    return true;
}

LRESULT CALLBACK CMainWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam,
                                         LPARAM lParam) noexcept {
    if (msg == WM_NCCREATE) {
        auto* self =
            static_cast<CMainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->window_ = hwnd;
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<CMainWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    return self ? self->OnMessage(msg, wParam, lParam)
                : ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CMainWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_SIZE:
        Layout();
        return 0;
    case WM_GETMINMAXINFO:
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {360, 180};
        return 0;
    case WM_TIMER:
        UpdateStatus();
        return 0;
    case WM_INITMENUPOPUP:
        OnInitMenu(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_CLOSE:
        if (settings_.keepInTray) {
            HideToTray();
        } else {
            ::DestroyWindow(window_);
        }
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case CShowThread::kRenderMessage:
        view_.Render(reinterpret_cast<const LiveFrame*>(lParam)->level);
        return 1;
    case CShowThread::kChangedMessage: {
        const std::string message = show_.TakeMessage();
        if (!message.empty()) {
            SetMessage(message);
        }
        return 0;
    }
    case CShowThread::kEndedMessage: {
        show_.Stop();
        const std::string message = show_.TakeMessage();
        if (!message.empty()) {
            SetMessage(message);
        }
        view_.RenderSilence(); // the lights go out with the show
        UpdateStatus();
        return 0;
    }
    case kShowWindowMessage:
        ShowFromTray();
        return 0;
    case kTrayMessage:
        if (LOWORD(lParam) == WM_RBUTTONUP || LOWORD(lParam) == WM_CONTEXTMENU) {
            ShowTrayMenu();
        } else if (LOWORD(lParam) == WM_LBUTTONDBLCLK) {
            ShowFromTray();
        }
        return 0;
    default:
        if (msg == taskbarCreated_ && inTray_) {
            TrayIcon(NIM_ADD); // the shell restarted and lost its icons
            return 0;
        }
        return ::DefWindowProcA(window_, msg, wParam, lParam);
    }
}

void CMainWindow::OnCreate() {
    const HMENU menu = ::GetMenu(window_);
    sourceMenu_ = ::GetSubMenu(menu, 0);
    showMenu_ = ::GetSubMenu(menu, 1);
    status_ = ::CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0,
                                0, 0, 0, window_, nullptr, Instance(), nullptr);
    view_.CreateWindowIn(window_);
    taskbarCreated_ = ::RegisterWindowMessageA("TaskbarCreated");
    ::SetTimer(window_, kStatusTimer, kStatusPeriodMs, nullptr);
    RefreshDevices();
}

void CMainWindow::OnDestroy() {
    ::KillTimer(window_, kStatusTimer);
    show_.Stop();
    view_.RenderSilence();
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof wp;
    if (::GetWindowPlacement(window_, &wp)) {
        settings_.hasPlacement = true;
        settings_.window = wp.rcNormalPosition;
        settings_.maximized =
            wp.showCmd == SW_SHOWMAXIMIZED ||
            (wp.showCmd == SW_SHOWMINIMIZED && (wp.flags & WPF_RESTORETOMAXIMIZED));
        SaveLiveSettings(settings_);
    }
    if (inTray_) {
        TrayIcon(NIM_DELETE);
    }
    view_.Unload();
    ::PostQuitMessage(0);
}

void CMainWindow::Layout() {
    RECT client = {};
    ::GetClientRect(window_, &client);
    ::SendMessageA(status_, WM_SIZE, 0, 0);
    RECT bar = {};
    ::GetWindowRect(status_, &bar);
    const int barHeight = bar.bottom - bar.top;
    ::MoveWindow(view_.Window(), 0, 0, client.right, client.bottom - barHeight, TRUE);
    // Source (or what happened to it), frames, latency, skipped, output.
    const int fixed[] = {110, 130, 150, 230};
    int edges[5];
    int x = client.right;
    for (int i = 3; i >= 0; --i) {
        x -= fixed[i];
    }
    x = std::max(x, 120);
    for (int i = 0; i < 4; ++i) {
        edges[i] = x;
        x += fixed[i];
    }
    edges[4] = -1;
    ::SendMessageA(status_, SB_SETPARTS, 5, reinterpret_cast<LPARAM>(edges));
    UpdateStatus();
}

bool CMainWindow::LoadEffect() {
    std::string error;
    if (!view_.Load(error)) {
        SetMessage(error);
        view_.SetNotice(error);
        return false;
    }
    AddPresetItems();
    if (settings_.preset >= 0 && settings_.preset < view_.PresetCount()) {
        view_.SetPreset(settings_.preset);
    }
    return true;
}

void CMainWindow::AddPresetItems() {
    if (presetItems_) {
        return;
    }
    // After Start, Stop and the separator below them.
    const int count = std::min(view_.PresetCount(), IDM_PRESET_LAST - IDM_PRESET_FIRST + 1);
    for (int n = 0; n < count; ++n) {
        ::InsertMenuA(showMenu_, 3 + n, MF_BYPOSITION | MF_STRING, IDM_PRESET_FIRST + n,
                      view_.PresetTitle(n).c_str());
    }
    presetItems_ = true;
}

void CMainWindow::StartShow() {
    if (!view_.Loaded() && !LoadEffect()) {
        UpdateStatus();
        return;
    }
    message_.clear();
    const LiveSourceChoice choice =
        settings_.sourceId.empty()
            ? LiveSourceChoice{LiveSource::Loopback, {}, {}}
            : LiveSourceChoice{LiveSource::Recording, {}, settings_.sourceId};
    if (!show_.Start(window_, choice, settings_.sourceName)) {
        SetMessage("the show can't be started (out of system resources)");
    }
    UpdateStatus();
}

void CMainWindow::StopShow() {
    show_.Stop();
    view_.RenderSilence();
    UpdateStatus();
}

void CMainWindow::ChooseSource(const AudioDevice* device) {
    settings_.sourceId = device ? device->id : std::wstring();
    settings_.sourceName = device ? device->name : std::string();
    SaveLiveSettings(settings_);
    StartShow();
}

void CMainWindow::RefreshDevices() {
    std::string error;
    ListAudioDevices(eCapture, devices_, error);
    // Keep "What the computer plays" and the separator under it.
    while (::GetMenuItemCount(sourceMenu_) > 2) {
        ::DeleteMenu(sourceMenu_, 2, MF_BYPOSITION);
    }
    const size_t most = IDM_SOURCE_DEVICE_LAST - IDM_SOURCE_DEVICE_FIRST + 1;
    devices_.resize(std::min(devices_.size(), most));
    for (size_t i = 0; i < devices_.size(); ++i) {
        ::AppendMenuA(sourceMenu_, MF_STRING, IDM_SOURCE_DEVICE_FIRST + i,
                      devices_[i].name.c_str());
    }
    if (devices_.empty()) {
        ::AppendMenuA(sourceMenu_, MF_STRING | MF_GRAYED, 0,
                      error.empty() ? "(no recording device)" : error.c_str());
    }
}

void CMainWindow::OnInitMenu(HMENU menu) {
    if (menu == sourceMenu_) {
        RefreshDevices();
        ::CheckMenuItem(sourceMenu_, IDM_SOURCE_LOOPBACK,
                        settings_.sourceId.empty() ? MF_CHECKED : MF_UNCHECKED);
        for (size_t i = 0; i < devices_.size(); ++i) {
            if (devices_[i].id == settings_.sourceId) {
                ::CheckMenuItem(sourceMenu_, IDM_SOURCE_DEVICE_FIRST + i, MF_CHECKED);
            }
        }
    } else if (menu == showMenu_) {
        const bool running = show_.Running();
        ::EnableMenuItem(showMenu_, IDM_START, running ? MF_GRAYED : MF_ENABLED);
        ::EnableMenuItem(showMenu_, IDM_STOP, running ? MF_ENABLED : MF_GRAYED);
        ::EnableMenuItem(showMenu_, IDM_SETTINGS, view_.Loaded() ? MF_ENABLED : MF_GRAYED);
        const int count = view_.PresetCount();
        const int current = view_.CurrentPreset();
        if (count > 0 && current >= 0 && current < count) {
            ::CheckMenuRadioItem(showMenu_, IDM_PRESET_FIRST, IDM_PRESET_FIRST + count - 1,
                                 IDM_PRESET_FIRST + current, MF_BYCOMMAND);
        }
        ::CheckMenuItem(showMenu_, IDM_KEEP_IN_TRAY,
                        settings_.keepInTray ? MF_CHECKED : MF_UNCHECKED);
    }
}

void CMainWindow::OnCommand(int command) {
    if (command >= IDM_SOURCE_DEVICE_FIRST && command <= IDM_SOURCE_DEVICE_LAST) {
        const size_t index = static_cast<size_t>(command - IDM_SOURCE_DEVICE_FIRST);
        if (index < devices_.size()) {
            const AudioDevice device = devices_[index];
            ChooseSource(&device);
        }
        return;
    }
    if (command >= IDM_PRESET_FIRST && command <= IDM_PRESET_LAST) {
        if (view_.SetPreset(command - IDM_PRESET_FIRST)) {
            settings_.preset = command - IDM_PRESET_FIRST;
            SaveLiveSettings(settings_);
        }
        return;
    }
    switch (command) {
    case IDM_SOURCE_LOOPBACK:
        ChooseSource(nullptr);
        break;
    case IDM_START:
        StartShow();
        break;
    case IDM_STOP:
        StopShow();
        break;
    case IDM_SETTINGS:
        view_.OpenSettings(window_);
        break;
    case IDM_KEEP_IN_TRAY:
        settings_.keepInTray = !settings_.keepInTray;
        SaveLiveSettings(settings_);
        break;
    case IDM_EXIT:
        ::DestroyWindow(window_);
        break;
    case IDM_ABOUT:
        ShowAbout();
        break;
    case IDM_SHOW_WINDOW:
        ShowFromTray();
        break;
    default:
        break;
    }
}

void CMainWindow::SetMessage(const std::string& message) {
    message_ = message;
    UpdateStatus();
}

void CMainWindow::UpdateStatus() {
    if (!status_) {
        return;
    }
    const LiveShowCounts c = show_.Counts();
    const bool running = show_.Running();
    const std::string texts[] = {
        !message_.empty() ? message_
        : running         ? "Live from " + c.source
                          : "Stopped",
        Format("%ld frames", c.frames),
        c.hasRecentLatency && running ? Format("latency %.1f ms", c.recentLatencyMs)
                                      : std::string("latency --"),
        Format("skipped %ld, gaps %ld", c.skipped, c.gaps),
        view_.OutputState(),
    };
    for (int part = 0; part < 5; ++part) {
        ::SendMessageA(status_, SB_SETTEXTA, part, reinterpret_cast<LPARAM>(texts[part].c_str()));
    }
}

void CMainWindow::TrayIcon(DWORD action) {
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayMessage;
    data.hIcon = ::LoadIconA(Instance(), MAKEINTRESOURCEA(IDI_TWINKLA_LIVE));
    std::snprintf(data.szTip, sizeof data.szTip, "Twinkla Live");
    ::Shell_NotifyIconA(action, &data);
}

void CMainWindow::HideToTray() {
    TrayIcon(NIM_ADD);
    inTray_ = true;
    ::ShowWindow(window_, SW_HIDE);
}

void CMainWindow::ShowFromTray() {
    ::ShowWindow(window_, ::IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    ::SetForegroundWindow(window_);
    if (inTray_) {
        TrayIcon(NIM_DELETE);
        inTray_ = false;
    }
}

void CMainWindow::ShowTrayMenu() {
    const HMENU menu = ::CreatePopupMenu();
    if (!menu) {
        return;
    }
    ::AppendMenuA(menu, MF_STRING, IDM_SHOW_WINDOW, "&Show window");
    ::AppendMenuA(menu, MF_STRING | (show_.Running() ? 0 : MF_GRAYED), IDM_STOP, "S&top");
    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu, MF_STRING, IDM_EXIT, "E&xit");
    ::SetMenuDefaultItem(menu, IDM_SHOW_WINDOW, FALSE);
    POINT at;
    ::GetCursorPos(&at);
    // The menu closes when the user clicks elsewhere only if the window is
    // in the foreground.
    ::SetForegroundWindow(window_);
    ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
    ::PostMessageA(window_, WM_NULL, 0, 0);
    ::DestroyMenu(menu);
}

void CMainWindow::ShowAbout() {
    ::MessageBoxA(window_,
                  "Twinkla Live " TWINKLA_VERSION_TEXT "\n\n"
                  "Lights the show from whatever the computer plays, through the Twinkla "
                  "plug-in.\n\n"
                  "Settings:\n"
                  "  the lights (port, device id, channels): HKEY_CURRENT_USER\\Software\\Twinkla\n"
                  "  this program (source, window, preset): "
                  "HKEY_CURRENT_USER\\Software\\Twinkla\\Live",
                  "About Twinkla Live", MB_OK | MB_ICONINFORMATION);
}
