#include "recording_canvas.h"

void RecordingCanvas::FillSolidRect(const Rect& rect, Color color) {
    Call c = Make(Op::FillSolidRect);
    c.rect = rect;
    c.color = color;
    calls.push_back(c);
    ++brushesCreated;
    ++brushesDeleted;
}

bool RecordingCanvas::BeginBrush(Color color) {
    if (brushHeld_) {
        faults_.push_back("a second held brush");
    }
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

void RecordingCanvas::FillRect(const Rect& rect) {
    if (!brushHeld_) {
        faults_.push_back("FillRect without a held brush");
    }
    Call c = Make(Op::FillRect);
    c.rect = rect;
    c.color = brushColor_;
    calls.push_back(c);
}

void RecordingCanvas::EndBrush() {
    calls.push_back(Make(Op::EndBrush));
    if (!brushHeld_) {
        faults_.push_back("EndBrush without a held brush");
        return;
    }
    brushHeld_ = false;
    ++brushesDeleted;
}

bool RecordingCanvas::BeginPen(int32_t width, Color color) {
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

void RecordingCanvas::EndPen() {
    calls.push_back(Make(Op::EndPen));
    if (pens_.empty()) {
        faults_.push_back("EndPen without a pen");
        return;
    }
    pens_.pop_back();
    ++pensDeleted;
}

void RecordingCanvas::MoveTo(int32_t x, int32_t y) {
    Call c = Make(Op::MoveTo);
    c.x = x;
    c.y = y;
    calls.push_back(c);
    posX_ = x;
    posY_ = y;
}

void RecordingCanvas::LineTo(int32_t x, int32_t y) {
    Call c = Make(Op::LineTo);
    c.x = x;
    c.y = y;
    calls.push_back(c);
    segments_.push_back({posX_, posY_, x, y, CurrentPen()});
    posX_ = x;
    posY_ = y;
}

void RecordingCanvas::DrawTextInRect(const char* text, const Rect& rect, unsigned format) {
    Call c = Make(Op::DrawTextInRect);
    c.text = text;
    c.rect = rect;
    c.format = format;
    c.textColor = textColor_;
    c.transparent = transparent_;
    calls.push_back(c);
}

void RecordingCanvas::SetBkModeTransparent() {
    calls.push_back(Make(Op::SetBkModeTransparent));
    transparent_ = true;
}

void RecordingCanvas::SetBkModeOpaque() {
    calls.push_back(Make(Op::SetBkModeOpaque));
    transparent_ = false;
}

void RecordingCanvas::SetTextColor(Color color) {
    Call c = Make(Op::SetTextColor);
    c.color = color;
    calls.push_back(c);
    textColor_ = color;
}

std::vector<std::string> RecordingCanvas::Faults() const {
    std::vector<std::string> faults = faults_;
    if (!pens_.empty()) {
        faults.push_back(std::to_string(pens_.size()) + " pen(s) still selected");
    }
    if (brushHeld_) {
        faults.push_back("the held brush was never deleted");
    }
    return faults;
}

std::vector<Call> RecordingCanvas::Of(Op op) const {
    std::vector<Call> out;
    for (const Call& c : calls) {
        if (c.op == op) {
            out.push_back(c);
        }
    }
    return out;
}

std::vector<Segment> RecordingCanvas::SegmentsWith(PenSpec pen) const {
    std::vector<Segment> out;
    for (const Segment& s : segments_) {
        if (s.pen == pen) {
            out.push_back(s);
        }
    }
    return out;
}

int RecordingCanvas::IndexOf(Op op, PenSpec pen) const {
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].op == op &&
            (pen == kEntryPen || PenSpec{calls[i].width, calls[i].color} == pen)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void RecordingCanvas::Clear() {
    calls.clear();
    segments_.clear();
}

Call RecordingCanvas::Make(Op op) const {
    Call c;
    c.op = op;
    c.pen = CurrentPen();
    return c;
}
