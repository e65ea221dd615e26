#pragma once
// The player's pace for a live show. Slot k starts k / fps seconds after the
// start; a frame is drawn for the slot it starts in. Slots that pass while a
// frame is being drawn are skipped and counted, never made up later, so the
// frames never fall behind the audio.

class FrameSchedule {
public:
    explicit FrameSchedule(double fps) : fps_(fps) {}

    // Seconds from `now` (seconds since the start) until the next frame is due;
    // 0 when it is due already.
    double WaitBefore(double now) const;

    // Takes the slot `now` falls in (or the next one, if that was taken) for a
    // frame, and counts the slots passed over since the last frame.
    void Take(double now);

    // Seconds from the start to the start of the next slot.
    double NextDue() const { return next_ / fps_; }
    long Taken() const { return taken_; }
    long Skipped() const { return skipped_; }

private:
    double fps_;
    long next_ = 0; // first slot not taken or skipped
    long taken_ = 0;
    long skipped_ = 0;
};
