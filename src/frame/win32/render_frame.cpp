#include "frame/win32/render_frame.h"

#include "frame/frame_pipeline.h"
#include "common/win32/hresult.h"
#include "display/win32/gdi_canvas.h"

HRESULT RenderFrame(PluginState& state, LevelSink* sink, const TimedLevel* frame, HDC dc,
                    const RECT* rect) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, frame);
    RETURN_HR_IF_NULL(E_POINTER, dc);
    RETURN_HR_IF_NULL(E_POINTER, rect);
    GdiCanvas canvas(dc);
    Render(state, *frame, canvas, Rect{rect->left, rect->top, rect->right, rect->bottom}, sink);
    return S_OK;
}

OffscreenFrame::Surface::Surface(HDC window, int width, int height) noexcept
    : dc(::CreateCompatibleDC(window)),
      bitmap(dc ? ::CreateCompatibleBitmap(window, width, height) : nullptr),
      selection(dc.get(), bitmap.get()), width(width), height(height) {}

HDC OffscreenFrame::Prepare(HDC dc, int width, int height) noexcept {
    if (width <= 0 || height <= 0) {
        return nullptr;
    }
    if (!surface_ || width != surface_->width || height != surface_->height) {
        surface_.reset();
        surface_.emplace(dc, width, height);
        if (!surface_->ok()) {
            surface_.reset();
            return nullptr;
        }
    }
    // What a frame drawn straight on the window would find there.
    const HDC memory = surface_->dc.get();
    ::SetTextColor(memory, ::GetTextColor(dc));
    ::SetBkColor(memory, ::GetBkColor(dc));
    ::SetBkMode(memory, ::GetBkMode(dc));
    ::SetROP2(memory, ::GetROP2(dc));
    ::SetTextAlign(memory, ::GetTextAlign(dc));
    ::SetTextCharacterExtra(memory, ::GetTextCharacterExtra(dc));
    return memory;
}

void OffscreenFrame::Release() noexcept {
    surface_.reset();
}
