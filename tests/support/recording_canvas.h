#pragma once
// The one canvas double: it records every call with the drawing state it
// happened in, and keeps the rules a device context imposes on its objects:
// pens end innermost first and only when created, one held brush at a time,
// nothing left over. A rule broken is listed in Faults(), which the tests
// (CheckedCanvas, expect.h) and the fuzz targets each check in their own way.

#include "display/canvas.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

struct PenSpec {
    int32_t width;
    Color color;
    bool operator==(const PenSpec& o) const { return width == o.width && color == o.color; }
    bool operator!=(const PenSpec& o) const { return !(*this == o); }
};

// The pen the device context had before anything was begun.
constexpr PenSpec kEntryPen = {-1, 0xFFFFFFFF};

inline std::ostream& operator<<(std::ostream& os, const PenSpec& p) {
    return os << "pen(" << p.width << ", 0x" << std::hex << p.color << std::dec << ")";
}
inline std::ostream& operator<<(std::ostream& os, const Rect& r) {
    return os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

enum class Op {
    FillSolidRect,
    BeginBrush,
    FillRect,
    EndBrush,
    BeginPen,
    EndPen,
    MoveTo,
    LineTo,
    DrawTextInRect,
    SetBkModeTransparent,
    SetBkModeOpaque,
    SetTextColor,
};

struct Call {
    Op op = Op::FillSolidRect;
    Rect rect = {};      // FillSolidRect, FillRect, DrawTextInRect
    Color color = 0;     // FillSolidRect, BeginBrush, BeginPen, SetTextColor; FillRect: held brush
    int32_t width = 0;   // BeginPen
    bool created = true; // BeginBrush, BeginPen
    int32_t x = 0;       // MoveTo, LineTo
    int32_t y = 0;
    std::string text; // DrawTextInRect
    unsigned format = 0;
    PenSpec pen = kEntryPen;  // the pen in use at the call
    Color textColor = 0;      // DrawTextInRect: the text colour in force
    bool transparent = false; // DrawTextInRect: the background mode in force
};

// A line as the device draws it: from the current position to the LineTo point.
struct Segment {
    int32_t x0, y0, x1, y1;
    PenSpec pen;
};

class RecordingCanvas : public Canvas {
public:
    // Decide whether a pen or brush creation fails; by default none does.
    std::function<bool(int32_t width, Color color)> penFails;
    std::function<bool(Color color)> brushFails;

    std::vector<Call> calls;
    int pensCreated = 0;
    int pensDeleted = 0;
    int brushesCreated = 0; // FillSolidRect's included
    int brushesDeleted = 0;

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

    // The rules broken so far, and what is still held (pens selected, the
    // brush): empty when the drawing kept every rule and gave everything back.
    std::vector<std::string> Faults() const;

    // Views of the recording.
    std::vector<Call> Of(Op op) const;
    const std::vector<Segment>& Segments() const { return segments_; }
    std::vector<Segment> SegmentsWith(PenSpec pen) const;
    // Index of the first call with this op (and pen width and colour, for BeginPen), or -1.
    int IndexOf(Op op, PenSpec pen = kEntryPen) const;
    void Clear();

private:
    Call Make(Op op) const;
    PenSpec CurrentPen() const { return pens_.empty() ? kEntryPen : pens_.back(); }

    std::vector<std::string> faults_;
    std::vector<PenSpec> pens_;
    bool brushHeld_ = false;
    Color brushColor_ = 0;
    int32_t posX_ = 0;
    int32_t posY_ = 0;
    Color textColor_ = 0;
    bool transparent_ = false;
    std::vector<Segment> segments_;
};
