#pragma once
// When each packet of a network output goes out, decided without a clock or
// a socket of its own, so that it can be tested alone. The output's thread
// asks it whether a packet is due and fills the packet's slots from it; the
// player's thread only hands levels over.
//
// Levels wait out the light delay in the serial line's DelayLine (each one
// travels in a LevelCommand's six bytes: its circuit in the circuit byte the
// line merges by, its level beside it). Each batch that falls due is one
// packet: a frame starts dark and lights its circuits, a level outside a
// frame (a player event) amends the frame before it. With nothing new, the
// last frame goes again once a second, so receivers keep the source (sACN
// receivers drop a silent one after 2.5 s). Memory is fixed.

#include "link/dmx_frame.h"
#include "link/output_schedule.h"

#include <array>
#include <cstddef>
#include <cstdint>

// A level for the slot of a circuit (StartChannel + circuit).
struct CircuitLevel {
    int32_t circuit;
    int32_t level;
};

class NetworkSchedule {
public:
    static constexpr Micros kResendPeriodUs = 1'000'000;
    // A record's Address is a byte: circuits 0..255. Others are dropped.
    static constexpr int kCircuits = 256;

    NetworkSchedule();

    void SetDelay(Micros delay) { delay_ = delay < 0 ? 0 : delay; }

    // A frame's levels, or one level outside a frame, handed over at `now`;
    // they fall due one light delay later. Circuits outside 0..255 are
    // dropped.
    void Submit(const CircuitLevel* levels, size_t count, bool frame, Micros now);

    struct Next {
        bool send = false;      // a packet is due now: fill it and send it
        Micros wakeAt = kNever; // when nothing is due: when to ask again at the latest
    };
    // Whether a packet is due at `now`: the next batch that fell due (its
    // levels are then in the frame), or else the last frame once more when a
    // second has passed since the last packet. The caller sends at once.
    // With `flush` (the output is closing) every batch still delayed counts
    // as due, and all of them go into one packet.
    Next Take(Micros now, bool flush = false);

    // The slots of the current frame: circuit a in the slot
    // frame.StartChannel() + a.
    void Fill(DmxFrame& frame) const;

    // Whether a packet has been due since construction or Forget: only then
    // is there a frame to resend, or a stream to end.
    bool HasFrame() const { return hasFrame_; }

    // Drops what is delayed and the current frame (the output failed for good
    // or goes to another receiver); nothing is resent until a new batch.
    void Forget();

    const DelayLine& Delayed() const { return delayed_; }

private:
    void Apply(const CommandBatch& batch);

    DelayLine delayed_;
    std::array<int8_t, kCircuits> levels_; // 0..100, or -1: not lit in this frame
    Micros delay_ = 0;
    Micros lastPacket_ = 0;
    bool hasFrame_ = false;
};
