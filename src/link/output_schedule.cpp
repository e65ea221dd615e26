#include "link/output_schedule.h"

#include <algorithm>
#include <cstring>

namespace {

// Puts `command` into the batch, replacing the one for its circuit; false
// when the batch holds no such circuit and is full.
bool MergeInto(CommandBatch& batch, const LevelCommand& command) {
    size_t at = 0;
    while (at < batch.count && CircuitOf(batch.commands[at]) != CircuitOf(command)) {
        ++at;
    }
    if (at == batch.count) {
        if (batch.count == CommandBatch::kCapacity) {
            return false;
        }
        ++batch.count;
    }
    batch.commands[at] = command;
    return true;
}

} // namespace

DelayLine::DelayLine() : ring_(new CommandBatch[kCapacity]) {}

bool DelayLine::Push(const LevelCommand* commands, size_t count, bool frame, Micros due) {
    count = std::min(count, CommandBatch::kCapacity);
    if (size_ == kCapacity) {
        CommandBatch merged = At(size_ - 1);
        for (size_t i = 0; i < count; ++i) {
            if (!MergeInto(merged, commands[i])) {
                return false;
            }
        }
        merged.due = std::max(merged.due, due);
        merged.frame = merged.frame || frame;
        At(size_ - 1) = merged;
        return true;
    }
    CommandBatch& batch = At(size_);
    std::copy(commands, commands + count, batch.commands);
    batch.count = static_cast<uint8_t>(count);
    batch.frame = frame;
    batch.due = due;
    ++size_;
    return true;
}

bool DelayLine::PopDue(Micros now, CommandBatch& out) {
    if (size_ == 0 || ring_[head_].due > now) {
        return false;
    }
    out = ring_[head_];
    head_ = (head_ + 1) % kCapacity;
    --size_;
    return true;
}

void PendingCommands::Merge(const LevelCommand* commands, size_t count, Micros handedOver) {
    for (size_t c = 0; c < count; ++c) {
        const uint8_t circuit = CircuitOf(commands[c]);
        size_t at = 0;
        while (at < count_ && CircuitOf(items_[at].command) != circuit) {
            ++at;
        }
        if (at < count_) {
            ++replaced_;
        } else if (count_ < kCapacity) {
            ++count_;
        } else {
            continue; // can't happen: one place per circuit byte
        }
        items_[at] = {commands[c], handedOver};
    }
}

void PendingCommands::PopFront() {
    if (count_ > 0) {
        std::memmove(items_, items_ + 1, (count_ - 1) * sizeof(Item));
        --count_;
    }
}

void SerialSchedule::Submit(const LevelCommand* commands, size_t count, bool frame, Micros now) {
    const Micros due = now + delay_;
    if (delay_ == 0 && delayed_.Size() == 0) {
        pending_.Merge(commands, count, now);
        return;
    }
    while (count > 0) {
        const size_t n = std::min(count, CommandBatch::kCapacity);
        CommandBatch oldest;
        // The line's backlog is bounded by the ring; beyond it the oldest
        // frame goes out early rather than any level being lost.
        while (!delayed_.Push(commands, n, frame, due) && delayed_.PopDue(kNever, oldest)) {
            pending_.Merge(oldest.commands, oldest.count, oldest.due - delay_);
        }
        commands += n;
        count -= n;
    }
}

void SerialSchedule::Opened(Micros now) {
    Drop();
    keepAliveDue_ = now + kKeepAlivePeriodUs;
    commandTaken_ = false;
}

void SerialSchedule::Release(Micros now, Drain drain) {
    CommandBatch batch;
    // In order: the next frame only once the line has taken the one before,
    // so a line that keeps up carries every frame to the end.
    if (drain == Drain::InOrder) {
        if (pending_.Empty() && delayed_.PopDue(kNever, batch)) {
            pending_.Merge(batch.commands, batch.count, batch.due - delay_);
        }
        return;
    }
    while (delayed_.PopDue(drain == Drain::Newest ? kNever : now, batch)) {
        // Handed over one delay before it fell due.
        pending_.Merge(batch.commands, batch.count, batch.due - delay_);
    }
}

SerialSchedule::Next SerialSchedule::Take(Micros now, Drain drain) {
    Release(now, drain);
    Next next;
    if (!pending_.Empty()) {
        next.kind = Next::Command;
        next.command = pending_.Front();
        next.handedOver = pending_.FrontHandedOver();
        pending_.PopFront();
        commandTaken_ = true;
        return next;
    }
    commandTaken_ = false;
    if (drain == Drain::None && keepAliveDue_ != kNever && now >= keepAliveDue_) {
        next.kind = Next::KeepAlive;
        // Periodic from when it fell due, so the period doesn't drift with
        // the write; a keep-alive that came very late starts a new period.
        keepAliveDue_ += kKeepAlivePeriodUs;
        if (keepAliveDue_ <= now) {
            keepAliveDue_ = now + kKeepAlivePeriodUs;
        }
        return next;
    }
    next.wakeAt = std::min(keepAliveDue_, delayed_.NextDue());
    return next;
}

void SerialSchedule::Written(Micros at) {
    if (commandTaken_) {
        keepAliveDue_ = at + kKeepAlivePeriodUs;
        commandTaken_ = false;
    }
}

void SerialSchedule::Drop() {
    delayed_.Clear();
    pending_.Clear();
}
