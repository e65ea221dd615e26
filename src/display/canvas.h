#pragma once
// What the frame's drawing needs from a device context, with no Win32 in it.
// The GDI canvas carries the calls out; tests record them. Each call is one
// GDI operation (or one created-used-deleted object), so a recording shows
// every coordinate, colour, pen width, text format and object lifetime.

#include <cstdint>

// COLORREF layout: 0x00BBGGRR.
using Color = uint32_t;

constexpr Color kBlack = 0x00000000;
constexpr Color kWhite = 0x00FFFFFF;
constexpr Color kRed = 0x000000FF;
constexpr Color kGreen = 0x0000FF00;
constexpr Color kBlue = 0x00FF0000;

// Device pixels; right and bottom are exclusive.
struct Rect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

inline bool operator==(const Rect& a, const Rect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator!=(const Rect& a, const Rect& b) {
    return !(a == b);
}

// Text format flags, with the values of the Win32 DT_ constants.
namespace TextFormat {
constexpr unsigned kLeft = 0x00;
constexpr unsigned kTop = 0x00;
constexpr unsigned kCenter = 0x01;
constexpr unsigned kVCenter = 0x04;
constexpr unsigned kBottom = 0x08;
constexpr unsigned kSingleLine = 0x20;
} // namespace TextFormat

class Canvas {
public:
    // Creates one solid brush, fills the rectangle with it without selecting
    // it, and deletes it.
    virtual void FillSolidRect(const Rect& rect, Color color) = 0;

    // A solid brush held across several calls, at most one at a time (the
    // frame's background brush). False when it couldn't be created; then
    // there is nothing to fill with and nothing to end.
    virtual bool BeginBrush(Color color) = 0;
    // Fills with the held brush, which is never selected.
    virtual void FillRect(const Rect& rect) = 0;
    // Deletes the held brush. Only after a BeginBrush that returned true.
    virtual void EndBrush() = 0;

    // Creates a solid pen (width 0 draws one-pixel lines) and selects it,
    // remembering the object it replaces. False when it couldn't be created:
    // the pen selected before stays in use, and there is nothing to end.
    // Pens nest: the innermost one draws.
    virtual bool BeginPen(int32_t width, Color color) = 0;
    // Selects the remembered object back, then deletes the pen. Only after a
    // BeginPen that returned true, innermost first.
    virtual void EndPen() = 0;

    virtual void MoveTo(int32_t x, int32_t y) = 0;
    // A line from the current position up to, not including, (x, y) with the
    // selected pen; (x, y) becomes the current position.
    virtual void LineTo(int32_t x, int32_t y) = 0;

    // One NUL-terminated text laid out in the rectangle by TextFormat flags,
    // in the current text colour and background mode. (Not "DrawText":
    // <windows.h> makes that name a macro.)
    virtual void DrawTextInRect(const char* text, const Rect& rect, unsigned format) = 0;
    virtual void SetBkModeTransparent() = 0;
    // The text background is then the device context's background colour.
    virtual void SetBkModeOpaque() = 0;
    virtual void SetTextColor(Color color) = 0;

protected:
    ~Canvas() = default;
};

// A pen for one scope: created and selected on entry and, when it could be
// created, selected back out and deleted on exit.
class ScopedPen {
public:
    ScopedPen(Canvas& canvas, int32_t width, Color color)
        : canvas_(canvas), held_(canvas.BeginPen(width, color)) {}
    ~ScopedPen() {
        if (held_) {
            canvas_.EndPen();
        }
    }
    ScopedPen(const ScopedPen&) = delete;
    ScopedPen& operator=(const ScopedPen&) = delete;

private:
    Canvas& canvas_;
    bool held_;
};

// The held brush for one scope; true when it could be created.
class ScopedBrush {
public:
    ScopedBrush(Canvas& canvas, Color color) : canvas_(canvas), held_(canvas.BeginBrush(color)) {}
    ~ScopedBrush() {
        if (held_) {
            canvas_.EndBrush();
        }
    }
    ScopedBrush(const ScopedBrush&) = delete;
    ScopedBrush& operator=(const ScopedBrush&) = delete;
    explicit operator bool() const { return held_; }

private:
    Canvas& canvas_;
    bool held_;
};
