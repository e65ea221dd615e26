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
