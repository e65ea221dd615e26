#include "link/network_schedule.h"

#include <algorithm>

namespace {

constexpr size_t kLevelByte = 3;
constexpr size_t kCircuitByte = 4; // where CircuitOf reads the merging key

LevelCommand Pack(uint8_t circuit, int32_t level) {
    LevelCommand packed{};
    packed[kLevelByte] = static_cast<uint8_t>(std::clamp<int32_t>(level, 0, 100));
    packed[kCircuitByte] = circuit;
    return packed;
}

} // namespace

NetworkSchedule::NetworkSchedule() {
    levels_.fill(-1);
}

void NetworkSchedule::Submit(const CircuitLevel* levels, size_t count, bool frame, Micros now) {
    LevelCommand packed[CommandBatch::kCapacity];
    size_t n = 0;
    for (size_t i = 0; i < count && n < CommandBatch::kCapacity; ++i) {
        if (levels[i].circuit >= 0 && levels[i].circuit < kCircuits) {
            packed[n++] = Pack(static_cast<uint8_t>(levels[i].circuit), levels[i].level);
        }
    }
    if (n == 0 && !frame) {
        return; // a level for no circuit changes nothing
    }
    const Micros due = now + delay_;
    CommandBatch oldest;
    // Beyond the ring's capacity the oldest batch falls due early rather
    // than anything being lost.
    while (!delayed_.Push(packed, n, frame, due) && delayed_.PopDue(kNever, oldest)) {
        Apply(oldest);
    }
}

void NetworkSchedule::Apply(const CommandBatch& batch) {
    if (batch.frame) {
        levels_.fill(-1);
    }
    for (size_t i = 0; i < batch.count; ++i) {
        levels_[batch.commands[i][kCircuitByte]] =
            static_cast<int8_t>(batch.commands[i][kLevelByte]);
    }
    hasFrame_ = true;
}

NetworkSchedule::Next NetworkSchedule::Take(Micros now, bool flush) {
    Next next;
    CommandBatch batch;
    if (flush) {
        while (delayed_.PopDue(kNever, batch)) {
            Apply(batch);
            next.send = true;
        }
    } else if (delayed_.PopDue(now, batch)) {
        Apply(batch);
        next.send = true;
    }
    const Micros resendAt = hasFrame_ ? lastPacket_ + kResendPeriodUs : kNever;
    if (!next.send && hasFrame_ && now >= resendAt) {
        next.send = true;
    }
    if (next.send) {
        lastPacket_ = now;
        return next;
    }
    next.wakeAt = std::min(resendAt, delayed_.NextDue());
    return next;
}

void NetworkSchedule::Fill(DmxFrame& frame) const {
    frame.Clear();
    for (int circuit = 0; circuit < kCircuits; ++circuit) {
        if (levels_[circuit] >= 0) {
            frame.Set(circuit, levels_[circuit]);
        }
    }
}

void NetworkSchedule::Forget() {
    delayed_.Clear();
    levels_.fill(-1);
    hasFrame_ = false;
}
