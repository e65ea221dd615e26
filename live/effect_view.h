#pragma once
// The plug-in as Twinkla Live hosts it, the way the player does: created
// from its registration under the player's Effects key, handed a player core
// with the events connection point, and drawing into a child window of the
// main window: with RenderWindowed when it asks for a window of its own
// (EFFECT_WINDOWEDONLY), otherwise with Render into an off-screen bitmap of
// the window's size that is then copied in one blit. Everything here runs on
// the window's thread.

#include "common/win32/com_ptr.h"
#include "common/win32/dib_surface.h"
#include "player_core.h"
#include "wmp/win32/wmp_effects.h"

#include <windows.h>

#include <memory>
#include <string>

class CEffectView {
public:
    CEffectView() = default;
    CEffectView(const CEffectView&) = delete;
    CEffectView& operator=(const CEffectView&) = delete;
    ~CEffectView() { Unload(); }

    // The child window, before anything is loaded.
    bool CreateWindowIn(HWND parent);
    HWND Window() const { return window_; }

    // Loads the registered plug-in. False with a message for the user.
    bool Load(std::string& error);
    bool Loaded() const { return static_cast<bool>(effects_); }
    // As the player lets go: Destroy, the core, then the object.
    void Unload();

    // One frame; returns once the plug-in's Render has returned.
    void Render(TimedLevel& frame);
    // A frame of silence, so the lights go out.
    void RenderSilence();
    // Shown in the window while it has no picture (the plug-in missing).
    void SetNotice(const std::string& text);

    int PresetCount() const;
    std::string PresetTitle(int preset) const;
    int CurrentPreset() const;
    bool SetPreset(int preset);
    // The plug-in's property dialog, owned by `owner`.
    void OpenSettings(HWND owner);
    // The plug-in's words for its output ("port COM3"), asked for by name
    // through IDispatch; empty when it has none.
    std::string OutputState();

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void Paint();

    HWND window_ = nullptr;
    ComPtr<IWMPEffects2> effects_;
    CPlayerCore core_;
    bool windowed_ = false;
    std::unique_ptr<DibSurface> offscreen_; // the windowless frame, made again on a resize
    ComPtr<IDispatch> dispatch_;
    DISPID outputStateId_ = DISPID_UNKNOWN;
    std::string notice_;
};
