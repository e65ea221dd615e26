#pragma once
// The frame pipeline on a GDI device context, for the player's Render call.

#include "analysis/plugin_state.h"
#include "wmp/timed_level.h"

#include <windows.h>

// E_POINTER, doing nothing else, if the frame, the device context or the
// rectangle is null; otherwise draws and sends one frame and returns S_OK.
HRESULT RenderFrame(PluginState& state, const TimedLevel* frame, HDC dc, const RECT* rect) noexcept;
