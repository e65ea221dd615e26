#pragma once
// The controller's wire protocol: write-only, two fixed-size messages.

#include <array>
#include <cstdint>

using LevelCommand = std::array<uint8_t, 6>;
using KeepAlive = std::array<uint8_t, 5>;

// 00 FF 81 56 00: sent after 500 ms without a level command.
constexpr KeepAlive KeepAliveMessage = {0x00, 0xFF, 0x81, 0x56, 0x00};

// 0x01 at level 100 up to 0xD3 at level 0; levels outside 0..100 are clamped.
uint8_t IntensityByte(int32_t level);

// 0x80 with the channel index in the low seven bits.
uint8_t CircuitByte(int32_t channelIndex);

// 00 id 03 intensity circuit 00.
LevelCommand EncodeLevelCommand(int32_t channelIndex, int32_t level, uint8_t deviceId);
