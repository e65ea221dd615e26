#pragma once
// The canvas over a GDI device context. Every pen and brush it creates is
// deleted inside it; a pen's previous object is selected back before the pen
// is deleted. Nothing is allocated on the heap.

#include "common/win32/unique_handle.h"
#include "display/canvas.h"

#include <windows.h>

class GdiCanvas final : public Canvas {
public:
    // The device context stays the caller's.
    explicit GdiCanvas(HDC dc) : dc_(dc) {}
    GdiCanvas(const GdiCanvas&) = delete;
    GdiCanvas& operator=(const GdiCanvas&) = delete;
    // Ends whatever a caller left begun, innermost pen first.
    ~GdiCanvas();

    void FillSolidRect(const Rect& rect, Color color) override;
    bool BeginBrush(Color color) override;
    void FillRect(const Rect& rect) override;
    void EndBrush() override;
    bool BeginPen(int32_t width, Color color) override;
    void EndPen() override;
    void MoveTo(int32_t x, int32_t y) override;
    void LineTo(int32_t x, int32_t y) override;
    void DrawTextInRect(const char* text, const Rect& rect, unsigned format) override;
    void SetBkModeTransparent() override;
    void SetBkModeOpaque() override;
    void SetTextColor(Color color) override;

private:
    // The frame's pen and one drawing operation's pen inside it; deeper
    // nesting is refused like a failed creation.
    static constexpr int kMaxPens = 4;

    struct SelectedPen {
        UniquePen pen;
        HGDIOBJ previous = nullptr; // what the pen replaced in the device context
    };

    HDC dc_;
    SelectedPen pens_[kMaxPens];
    int penCount_ = 0;
    UniqueBrush brush_; // the held brush, never selected
};
