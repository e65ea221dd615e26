#pragma once
// Twinkla Live's window: the plug-in's picture, the Source, Show and Help
// menus, a status bar, and an icon in the notification area while the
// window is closed with the show going on.

#include "effect_view.h"
#include "live_settings.h"
#include "show_thread.h"

#include <windows.h>

#include <string>
#include <vector>

class CMainWindow {
public:
    static constexpr char kClassName[] = "TwinklaLiveWindow";
    // Posted by a second start of the program: show the window.
    static constexpr UINT kShowWindowMessage = WM_APP + 10;

    CMainWindow() = default;
    CMainWindow(const CMainWindow&) = delete;
    CMainWindow& operator=(const CMainWindow&) = delete;

    // Creates and shows the window, loads the plug-in and starts the show.
    bool Create(int showCommand);
    HWND Window() const { return window_; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnCommand(int command);
    void OnCreate();
    void OnDestroy();
    void OnInitMenu(HMENU menu);
    void Layout();

    bool LoadEffect();
    void AddPresetItems();
    void StartShow();
    void StopShow();
    void ChooseSource(const AudioDevice* device);
    void RefreshDevices();
    void UpdateStatus();
    void SetMessage(const std::string& message);

    void HideToTray();
    void ShowFromTray();
    void TrayIcon(DWORD action);
    void ShowTrayMenu();
    void ShowAbout();

    HWND window_ = nullptr;
    HWND status_ = nullptr;
    HMENU sourceMenu_ = nullptr;
    HMENU showMenu_ = nullptr;
    CEffectView view_;
    CShowThread show_;
    LiveSettings settings_;
    std::vector<AudioDevice> devices_; // as the Source menu lists them
    bool presetItems_ = false;
    bool inTray_ = false;
    UINT taskbarCreated_ = 0;
    std::string message_; // why the show stopped or moved, until the next start
};
