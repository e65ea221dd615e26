#pragma once
// The frame pipeline on a GDI device context, for the player's Render call.

#include "analysis/plugin_state.h"
#include "common/win32/unique_handle.h"
#include "link/level_sink.h"
#include "wmp/timed_level.h"

#include <windows.h>

#include <optional>

// E_POINTER, doing nothing else, if the frame, the device context or the
// rectangle is null; otherwise draws one frame, hands its levels to `sink`
// and returns S_OK.
HRESULT RenderFrame(PluginState& state, LevelSink* sink, const TimedLevel* frame, HDC dc,
                    const RECT* rect) noexcept;

// An off-screen copy of a window's client area. A windowed frame is drawn into
// it whole and then copied to the window in one blit, so the window never
// shows a frame half drawn. The bitmap is kept from frame to frame and made
// again only when the size changes; nothing else is allocated per frame.
class OffscreenFrame {
public:
    OffscreenFrame() = default;
    OffscreenFrame(const OffscreenFrame&) = delete;
    OffscreenFrame& operator=(const OffscreenFrame&) = delete;

    // A memory device context of `width` x `height`, compatible with the
    // window's `dc` and given its drawing state (font, text and background
    // colours, background mode, raster operation, text alignment and spacing),
    // so the frame comes out as it would straight on the window. Null when
    // there is none to be had (an empty area, no memory): draw on `dc` then.
    HDC Begin(HDC dc, int width, int height) noexcept;

    // After a Begin that returned a device context: copies what was drawn to
    // the window's `dc` if `drawn`, and gives the window's font back.
    void End(HDC dc, bool drawn) noexcept;

    // Frees the bitmap and the device context (when the window goes).
    void Release() noexcept;

private:
    // A memory device context with a bitmap of one size selected into it.
    struct Surface {
        Surface(HDC window, int width, int height) noexcept;
        bool ok() const { return dc && bitmap && selection; }
        UniqueMemoryDc dc;
        UniqueBitmap bitmap;
        ScopedSelectObject selection; // after the bitmap: deselected before it goes
        int width;
        int height;
    };
    std::optional<Surface> surface_;
    HGDIOBJ ownFont_ = nullptr; // the memory DC's font while the window's is lent
};
