#pragma once
// A 115200-baud line driven by a SerialSchedule on a clock the caller moves:
// each message occupies the line for its bytes' time (10 bits a byte), and
// the line can be stalled and resumed. What the far end receives is recorded.

#include "link/output_schedule.h"

#include <vector>

struct LineMessage {
    bool keepAlive;
    LevelCommand command; // for a level command
    Micros handedOver;    // for a level command: when its level was handed over
    Micros arrived;       // when its last byte was on the wire
};

class SimulatedLine {
public:
    static constexpr Micros kByteUs = 1'000'000 * 10 / 115200; // 86 us

    explicit SimulatedLine(Micros delay = 0) {
        schedule.SetDelay(delay);
        schedule.Opened(0);
    }

    // Runs the writer up to `until`: whatever the schedule hands out goes on
    // the line in turn, unless the line is stalled.
    void RunUntil(Micros until) {
        while (now_ < until) {
            if (busyUntil_ > now_) { // a message on the wire
                if (busyUntil_ > until) {
                    now_ = until;
                    return;
                }
                now_ = busyUntil_;
                received.push_back(inFlight_);
                schedule.Written(now_);
                continue;
            }
            if (stalled) {
                now_ = until;
                return;
            }
            const SerialSchedule::Next next = schedule.Take(now_);
            if (next.kind == SerialSchedule::Next::Nothing) {
                now_ = next.wakeAt < until ? next.wakeAt : until;
                continue;
            }
            const bool keepAlive = next.kind == SerialSchedule::Next::KeepAlive;
            busyUntil_ = now_ + kByteUs * (keepAlive ? 5 : 6);
            inFlight_ = {keepAlive, next.command, next.handedOver, busyUntil_};
        }
    }

    // Hands over a frame at the current time, after running up to it.
    void Frame(Micros at, const std::vector<LevelCommand>& commands) {
        RunUntil(at);
        schedule.Submit(commands.data(), commands.size(), true, now_);
    }

    Micros Now() const { return now_; }

    SerialSchedule schedule;
    std::vector<LineMessage> received;
    bool stalled = false;

private:
    Micros now_ = 0;
    Micros busyUntil_ = 0;
    LineMessage inFlight_{};
};

// A frame of all 16 circuits, circuit c at level (base + c) % 101.
inline std::vector<LevelCommand> FullFrame(int base, uint8_t device = 1) {
    std::vector<LevelCommand> frame;
    for (int c = 0; c < 16; ++c) {
        frame.push_back(EncodeLevelCommand(c, (base + c) % 101, device));
    }
    return frame;
}
