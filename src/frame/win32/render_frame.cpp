#include "frame/win32/render_frame.h"

#include "frame/frame_pipeline.h"
#include "common/win32/hresult.h"
#include "display/win32/gdi_canvas.h"

HRESULT RenderFrame(PluginState& state, const TimedLevel* frame, HDC dc,
                    const RECT* rect) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, frame);
    RETURN_HR_IF_NULL(E_POINTER, dc);
    RETURN_HR_IF_NULL(E_POINTER, rect);
    GdiCanvas canvas(dc);
    Render(state, *frame, canvas, Rect{rect->left, rect->top, rect->right, rect->bottom});
    return S_OK;
}

HDC OffscreenFrame::Begin(HDC dc, int width, int height) noexcept {
    if (width <= 0 || height <= 0) {
        return nullptr;
    }
    if (dc_ == nullptr || width != width_ || height != height_) {
        Release();
        const HDC memory = ::CreateCompatibleDC(dc);
        if (memory == nullptr) {
            return nullptr;
        }
        const HBITMAP bitmap = ::CreateCompatibleBitmap(dc, width, height);
        if (bitmap == nullptr) {
            ::DeleteDC(memory);
            return nullptr;
        }
        firstBitmap_ = ::SelectObject(memory, bitmap);
        dc_ = memory;
        bitmap_ = bitmap;
        width_ = width;
        height_ = height;
    }
    // What a frame drawn straight on the window would find there.
    ownFont_ = ::SelectObject(dc_, ::GetCurrentObject(dc, OBJ_FONT));
    ::SetTextColor(dc_, ::GetTextColor(dc));
    ::SetBkColor(dc_, ::GetBkColor(dc));
    ::SetBkMode(dc_, ::GetBkMode(dc));
    ::SetROP2(dc_, ::GetROP2(dc));
    ::SetTextAlign(dc_, ::GetTextAlign(dc));
    ::SetTextCharacterExtra(dc_, ::GetTextCharacterExtra(dc));
    return dc_;
}

void OffscreenFrame::End(HDC dc, bool drawn) noexcept {
    if (dc_ == nullptr) {
        return;
    }
    if (drawn) {
        ::BitBlt(dc, 0, 0, width_, height_, dc_, 0, 0, SRCCOPY);
    }
    // The window's font may be deleted once the frame is done: not ours to keep.
    if (ownFont_ != nullptr && ownFont_ != HGDI_ERROR) {
        ::SelectObject(dc_, ownFont_);
    }
    ownFont_ = nullptr;
}

void OffscreenFrame::Release() noexcept {
    if (dc_ != nullptr) {
        ::SelectObject(dc_, firstBitmap_);
        ::DeleteObject(bitmap_);
        ::DeleteDC(dc_);
    }
    dc_ = nullptr;
    bitmap_ = nullptr;
    firstBitmap_ = nullptr;
    width_ = height_ = 0;
}
