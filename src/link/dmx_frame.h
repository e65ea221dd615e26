#pragma once
// The 512 slots of one DMX universe as a network output sends them. Circuit a
// of the controller is slot StartChannel + a. A frame starts cleared; each
// level set puts its byte into its circuit's slot, a later one over an
// earlier one, as a later command follows an earlier one on the serial line.

#include <array>
#include <cstdint>

constexpr int kDmxSlotCount = 512;
constexpr int kDmxCircuits = 16; // circuits a packet always carries from StartChannel on

// The slot byte of a level: (level * 255 + 50) / 100 of the level clamped to 0..100.
uint8_t DmxSlotValue(int32_t level);

class DmxFrame {
public:
    // `startChannel` is the slot (1-based) of circuit 0, valid 1..512; others are clamped.
    explicit DmxFrame(int startChannel = 1);

    // Starts a new frame: every slot 0, the slot count back to the least a packet carries.
    void Clear();

    // Puts the level's byte into the slot of `circuit` and extends the slot count to
    // it. A negative circuit, or one whose slot falls past 512, is dropped.
    void Set(int circuit, int32_t level);

    int StartChannel() const { return startChannel_; }

    // The slots a packet carries: 1 up to StartChannel + 15, or further up to the
    // highest slot set since Clear, never past 512.
    int SlotCount() const { return slotCount_; }

    // Slot 1 first; SlotCount() of them are meaningful, the rest are 0.
    const uint8_t* Slots() const { return slots_.data(); }

    // One slot by its 1-based number; 0 outside 1..512.
    uint8_t Slot(int slot) const;

private:
    int MinimumSlotCount() const;

    std::array<uint8_t, kDmxSlotCount> slots_{};
    int startChannel_;
    int slotCount_;
};
