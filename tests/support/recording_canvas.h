#pragma once
// The one canvas double: it records every call with the drawing state it
// happened in, and keeps the rules a device context imposes on its objects:
// pens end innermost first and only when created, one held brush at a time,
// nothing left over. A rule broken is listed in Faults(), which the tests
// (CheckedCanvas, expect.h) and the fuzz targets each check in their own way.

#include "display/canvas.h"

#include <algorithm>
#include <functional>
#include <iterator>
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

    void FillSolidRect(const Rect& rect, Color color) override {
        Call c = Make(Op::FillSolidRect);
        c.rect = rect;
        c.color = color;
        calls.push_back(c);
        ++brushesCreated;
        ++brushesDeleted;
    }

    bool BeginBrush(Color color) override {
        Rule(!brushHeld_, "a second held brush");
        Call c = Make(Op::BeginBrush);
        c.color = color;
        c.created = !(brushFails && brushFails(color));
        calls.push_back(c);
        if (c.created) {
            brushHeld_ = true;
            brushColor_ = color;
            ++brushesCreated;
        }
        return c.created;
    }

    void FillRect(const Rect& rect) override {
        Rule(brushHeld_, "FillRect without a held brush");
        Call c = Make(Op::FillRect);
        c.rect = rect;
        c.color = brushColor_;
        calls.push_back(c);
    }

    void EndBrush() override {
        Rule(brushHeld_, "EndBrush without a held brush");
        calls.push_back(Make(Op::EndBrush));
        if (brushHeld_) {
            brushHeld_ = false;
            ++brushesDeleted;
        }
    }

    bool BeginPen(int32_t width, Color color) override {
        Call c = Make(Op::BeginPen);
        c.width = width;
        c.color = color;
        c.created = !(penFails && penFails(width, color));
        calls.push_back(c);
        if (c.created) {
            pens_.push_back({width, color});
            ++pensCreated;
        }
        return c.created;
    }

    void EndPen() override {
        Rule(!pens_.empty(), "EndPen without a pen");
        calls.push_back(Make(Op::EndPen));
        if (!pens_.empty()) {
            pens_.pop_back();
            ++pensDeleted;
        }
    }

    void MoveTo(int32_t x, int32_t y) override {
        Call c = Make(Op::MoveTo);
        c.x = x;
        c.y = y;
        calls.push_back(c);
        posX_ = x;
        posY_ = y;
    }

    void LineTo(int32_t x, int32_t y) override {
        Call c = Make(Op::LineTo);
        c.x = x;
        c.y = y;
        calls.push_back(c);
        segments_.push_back({posX_, posY_, x, y, CurrentPen()});
        posX_ = x;
        posY_ = y;
    }

    void DrawTextInRect(const char* text, const Rect& rect, unsigned format) override {
        Call c = Make(Op::DrawTextInRect);
        c.text = text;
        c.rect = rect;
        c.format = format;
        c.textColor = textColor_;
        c.transparent = transparent_;
        calls.push_back(c);
    }

    void SetBkModeTransparent() override {
        calls.push_back(Make(Op::SetBkModeTransparent));
        transparent_ = true;
    }
    void SetBkModeOpaque() override {
        calls.push_back(Make(Op::SetBkModeOpaque));
        transparent_ = false;
    }
    void SetTextColor(Color color) override {
        Call c = Make(Op::SetTextColor);
        c.color = color;
        calls.push_back(c);
        textColor_ = color;
    }

    // The rules broken so far, and what is still held (pens selected, the
    // brush): empty when the drawing kept every rule and gave everything back.
    std::vector<std::string> Faults() const {
        std::vector<std::string> faults = faults_;
        if (!pens_.empty()) {
            faults.push_back(std::to_string(pens_.size()) + " pen(s) still selected");
        }
        if (brushHeld_) {
            faults.push_back("the held brush was never deleted");
        }
        return faults;
    }

    // Views of the recording.
    std::vector<Call> Of(Op op) const {
        return Where(calls, [op](const Call& c) { return c.op == op; });
    }
    const std::vector<Segment>& Segments() const { return segments_; }
    std::vector<Segment> SegmentsWith(PenSpec pen) const {
        return Where(segments_, [pen](const Segment& s) { return s.pen == pen; });
    }
    // Index of the first call with this op (and pen width and colour, for BeginPen), or -1.
    int IndexOf(Op op, PenSpec pen = kEntryPen) const {
        for (size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].op == op &&
                (pen == kEntryPen || PenSpec{calls[i].width, calls[i].color} == pen)) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    void Clear() {
        calls.clear();
        segments_.clear();
    }

private:
    template <typename T, typename Keep>
    static std::vector<T> Where(const std::vector<T>& all, Keep keep) {
        std::vector<T> out;
        std::copy_if(all.begin(), all.end(), std::back_inserter(out), keep);
        return out;
    }
    void Rule(bool kept, const char* fault) {
        if (!kept) {
            faults_.push_back(fault);
        }
    }
    Call Make(Op op) const {
        Call c;
        c.op = op;
        c.pen = CurrentPen();
        return c;
    }
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
