#pragma once
// When each message goes out on the controller's line, decided without a
// clock or a port of its own, so that it can be tested against a simulated
// line. The output engine's thread asks it what to write next and tells it
// when a write has finished; the player's thread only hands frames over.
//
// A frame waits out the light delay in a DelayLine, then joins the commands
// pending for the line, merged per controller circuit: while the line is
// behind, a newer level replaces the one still waiting for its circuit, in
// its place, and a circuit that only an older frame had (the zero owed to a
// channel just disabled) stays pending. Memory is fixed and a level waits at
// most one backlog, however fast frames come and however long the line
// stalls. While the line keeps up nothing merges, so the wire carries every
// command of every frame in order.

#include "link/protocol.h"

#include <cstddef>
#include <cstdint>
#include <memory>

using Micros = int64_t; // microseconds on the caller's monotonic clock
constexpr Micros kNever = INT64_MAX;
constexpr Micros kKeepAlivePeriodUs = 500'000;

// The circuit a command addresses: its merging key.
inline uint8_t CircuitOf(const LevelCommand& command) {
    return command[4];
}

// One frame's commands, or one command outside a frame, and when it is due.
struct CommandBatch {
    static constexpr size_t kCapacity = 16; // a frame sends at most one command per record
    LevelCommand commands[kCapacity];
    uint8_t count = 0;
    bool frame = true;
    Micros due = 0;
};

// Batches waiting out the light delay, oldest first, in a ring allocated once.
class DelayLine {
public:
    // 2 s of frames at 500 a second before anything merges.
    static constexpr size_t kCapacity = 1024;

    DelayLine();

    // Holds at most 16 commands until `due`. When the ring is full they merge
    // into the newest batch instead, which then falls due at `due` (newer
    // levels win, and none leaves before its time); false, holding nothing,
    // when that batch has no room for a new circuit: let the oldest go first.
    bool Push(const LevelCommand* commands, size_t count, bool frame, Micros due);
    // The oldest batch, if it is due by `now` (any batch when `now` is kNever).
    bool PopDue(Micros now, CommandBatch& out);
    Micros NextDue() const { return size_ == 0 ? kNever : ring_[head_].due; }
    size_t Size() const { return size_; }
    void Clear() { head_ = size_ = 0; }

private:
    CommandBatch& At(size_t i) { return ring_[(head_ + i) % kCapacity]; }
    std::unique_ptr<CommandBatch[]> ring_;
    size_t head_ = 0;
    size_t size_ = 0;
};

// The commands due on the line and not yet written, at most one per circuit,
// in the order they are to go out.
class PendingCommands {
public:
    static constexpr size_t kCapacity = 128; // every circuit byte 0x80..0xFF

    // Appends each command in order; one for a circuit already pending
    // replaces that command in its place.
    void Merge(const LevelCommand* commands, size_t count, Micros handedOver);
    bool Empty() const { return count_ == 0; }
    size_t Size() const { return count_; }
    const LevelCommand& Front() const { return items_[0].command; }
    // When the front command's level was handed over.
    Micros FrontHandedOver() const { return items_[0].handedOver; }
    void PopFront();
    void Clear() { count_ = 0; }
    // Levels replaced before they were written, since construction.
    uint64_t Replaced() const { return replaced_; }

private:
    struct Item {
        LevelCommand command;
        Micros handedOver;
    };
    Item items_[kCapacity];
    size_t count_ = 0;
    uint64_t replaced_ = 0;
};

// The serial line's schedule: delayed frames, merged commands, keep-alives.
class SerialSchedule {
public:
    struct Next {
        enum Kind { Nothing, Command, KeepAlive };
        Kind kind = Nothing;
        LevelCommand command{}; // for Command
        Micros handedOver = 0;  // for Command: when its level was handed over
        Micros wakeAt = kNever; // for Nothing: when to ask again at the latest
    };

    void SetDelay(Micros delay) { delay_ = delay < 0 ? 0 : delay; }
    Micros Delay() const { return delay_; }

    // A frame's commands (or one outside a frame) handed over at `now`; they
    // fall due one light delay later.
    void Submit(const LevelCommand* commands, size_t count, bool frame, Micros now);
    // The line was opened at `now`: nothing is pending, and the first
    // keep-alive falls due a period later.
    void Opened(Micros now);
    // How delayed frames go out when the output is closing.
    enum class Drain {
        None,    // each when it falls due
        InOrder, // now, one frame after another as the line takes them
        Newest,  // now, merged: only the newest level of each circuit
    };

    // What to write at `now`; keep-alives only when not draining. Call again
    // only after Written for a message taken.
    Next Take(Micros now, Drain drain = Drain::None);
    // The message taken last was written in full; it finished at `at`.
    void Written(Micros at);
    // Everything pending and delayed goes (the line failed or closed).
    void Drop();

    bool Idle() const { return pending_.Empty() && delayed_.Size() == 0; }
    const PendingCommands& Pending() const { return pending_; }
    const DelayLine& Delayed() const { return delayed_; }

private:
    void Release(Micros now, Drain drain);

    DelayLine delayed_;
    PendingCommands pending_;
    Micros delay_ = 0;
    Micros keepAliveDue_ = kNever;
    bool commandTaken_ = false; // the message in flight is a command
};
