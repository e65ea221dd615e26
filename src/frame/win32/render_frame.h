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

    // Has `draw(HDC)` draw a frame of `width` x `height` off-screen, with the
    // drawing state of the window's `dc` (font, text and background colours,
    // background mode, raster operation, text alignment and spacing), so it
    // comes out as it would straight on the window, and copies it to `dc` if
    // it succeeded. Without an off-screen bitmap to be had (an empty area, no
    // memory) the frame is drawn straight on `dc`: it must still be analysed
    // and sent. Returns what `draw` returned.
    template <typename F> HRESULT Draw(HDC dc, int width, int height, F draw) noexcept {
        const HDC memory = Prepare(dc, width, height);
        if (memory == nullptr) {
            return draw(dc);
        }
        // Lent for the frame: the window's font may be deleted once the frame
        // is done, so it is selected out again before then.
        const ScopedSelectObject font(memory, ::GetCurrentObject(dc, OBJ_FONT));
        const HRESULT drawn = draw(memory);
        if (SUCCEEDED(drawn)) {
            ::BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        }
        return drawn;
    }

    // Frees the bitmap and the device context (when the window goes).
    void Release() noexcept;

private:
    // The memory device context of that size, with the window's drawing state
    // but its font; null when there is none.
    HDC Prepare(HDC dc, int width, int height) noexcept;

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
};
