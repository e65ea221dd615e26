#include "link/dmx_frame.h"

#include <algorithm>

uint8_t DmxSlotValue(int32_t level) {
    const int32_t clamped = std::clamp<int32_t>(level, 0, 100);
    return static_cast<uint8_t>((clamped * 255 + 50) / 100);
}

DmxFrame::DmxFrame(int startChannel)
    : startChannel_(std::clamp(startChannel, 1, kDmxSlotCount)), slotCount_(MinimumSlotCount()) {}

int DmxFrame::MinimumSlotCount() const {
    return std::min(startChannel_ + kDmxCircuits - 1, kDmxSlotCount);
}

void DmxFrame::Clear() {
    // Only the slots a packet carried can be lit.
    std::fill(slots_.begin(), slots_.begin() + slotCount_, uint8_t{0});
    slotCount_ = MinimumSlotCount();
}

void DmxFrame::Set(int circuit, int32_t level) {
    // In 64 bits: any circuit, however large, stays comparable.
    const int64_t slot = int64_t{startChannel_} + circuit;
    if (circuit < 0 || slot > kDmxSlotCount) {
        return;
    }
    const int index = static_cast<int>(slot);
    slots_[index - 1] = DmxSlotValue(level);
    slotCount_ = std::max(slotCount_, index);
}

uint8_t DmxFrame::Slot(int slot) const {
    return slot >= 1 && slot <= kDmxSlotCount ? slots_[slot - 1] : 0;
}
