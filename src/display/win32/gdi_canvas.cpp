#include "display/win32/gdi_canvas.h"

namespace {

RECT ToRect(const Rect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}

} // namespace

GdiCanvas::~GdiCanvas() {
    while (penCount_ > 0) {
        EndPen();
    }
}

void GdiCanvas::FillSolidRect(const Rect& rect, Color color) {
    const UniqueBrush brush(::CreateSolidBrush(color));
    if (brush) {
        const RECT r = ToRect(rect);
        ::FillRect(dc_, &r, brush.get());
    }
}

bool GdiCanvas::BeginBrush(Color color) {
    if (brush_) {
        return false;
    }
    brush_.reset(::CreateSolidBrush(color));
    return static_cast<bool>(brush_);
}

void GdiCanvas::FillRect(const Rect& rect) {
    if (brush_) {
        const RECT r = ToRect(rect);
        ::FillRect(dc_, &r, brush_.get());
    }
}

void GdiCanvas::EndBrush() {
    brush_.reset();
}

bool GdiCanvas::BeginPen(int32_t width, Color color) {
    if (penCount_ == kMaxPens) {
        return false;
    }
    UniquePen pen(::CreatePen(PS_SOLID, width, color));
    if (!pen) {
        return false;
    }
    const HGDIOBJ previous = ::SelectObject(dc_, pen.get());
    if (previous == nullptr || previous == HGDI_ERROR) {
        return false; // never selected, so it can go at once
    }
    SelectedPen& slot = pens_[penCount_++];
    slot.pen = std::move(pen);
    slot.previous = previous;
    return true;
}

void GdiCanvas::EndPen() {
    if (penCount_ == 0) {
        return;
    }
    SelectedPen& slot = pens_[--penCount_];
    // A selected object can't be deleted: put the previous one back first.
    ::SelectObject(dc_, slot.previous);
    slot.previous = nullptr;
    slot.pen.reset();
}

void GdiCanvas::MoveTo(int32_t x, int32_t y) {
    ::MoveToEx(dc_, x, y, nullptr);
}

void GdiCanvas::LineTo(int32_t x, int32_t y) {
    ::LineTo(dc_, x, y);
}

void GdiCanvas::DrawTextInRect(const char* text, const Rect& rect, unsigned format) {
    RECT r = ToRect(rect); // DrawTextA may write to it
    ::DrawTextA(dc_, text, -1, &r, format);
}

void GdiCanvas::SetBkModeTransparent() {
    ::SetBkMode(dc_, TRANSPARENT);
}

void GdiCanvas::SetBkModeOpaque() {
    ::SetBkMode(dc_, OPAQUE);
}

void GdiCanvas::SetTextColor(Color color) {
    ::SetTextColor(dc_, color);
}
