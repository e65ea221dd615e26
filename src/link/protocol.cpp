#include "link/protocol.h"

#include <algorithm>

uint8_t IntensityByte(int32_t level) {
    const int32_t clamped = std::clamp<int32_t>(level, 0, 100);
    // The controller's own formula: 0.01 as a float widened to double, then
    // truncated. For 0..100 this equals 1 + floor(21 * (100 - L) / 10).
    constexpr double kCentF = static_cast<double>(0.01f);
    const double scaled = (1.0 - clamped * kCentF) * -210.0;
    return static_cast<uint8_t>(1 - static_cast<int32_t>(scaled));
}

uint8_t CircuitByte(int32_t channelIndex) {
    return static_cast<uint8_t>(0x80 | (static_cast<uint32_t>(channelIndex) & 0x7F));
}

LevelCommand EncodeLevelCommand(int32_t channelIndex, int32_t level, uint8_t deviceId) {
    return {0x00, deviceId, 0x03, IntensityByte(level), CircuitByte(channelIndex), 0x00};
}
