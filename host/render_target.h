#pragma once
// Where the visualization draws: an off-screen 1024 x 256 bitmap handed to
// Render, as a windowless player does, or a real window of that client size
// handed to Create and drawn with RenderWindowed, with its messages pumped
// and its mouse messages passed to OnWindowMessage.

#include "common/win32/dib_surface.h"
#include "wmp/win32/wmp_effects.h"

#include <string>

class RenderTarget {
public:
    static constexpr int kWidth = 1024;
    static constexpr int kHeight = 256;

    RenderTarget();
    RenderTarget(const RenderTarget&) = delete;
    RenderTarget& operator=(const RenderTarget&) = delete;
    // Close, if it hasn't run.
    ~RenderTarget();

    // Windowed: creates and shows the window and hands it to the
    // visualization. False with `error` set when there is no window or no
    // off-screen bitmap to draw into.
    bool Open(IWMPEffects2* effects, bool windowed, std::string& error);

    bool Windowed() const { return window_ != nullptr; }
    // The user closed the window.
    bool WindowGone() const;
    // Handles the window's pending messages (nothing without a window).
    void Pump();
    // One frame, through RenderWindowed or Render.
    void Render(TimedLevel& frame);
    // The off-screen frame's pixels (top-down rows of B, G, R, unused).
    const void* Pixels() const { return offscreen_.bits(); }

    // Windowed: Destroy, then the window goes.
    void Close();

private:
    IWMPEffects2* effects_ = nullptr; // not owned: the visualization outlives the target
    HWND window_ = nullptr;
    DibSurface offscreen_;
};
