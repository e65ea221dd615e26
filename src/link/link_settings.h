#pragma once
// What the output needs to open: the settings layer keeps one of these, hands
// it to the link when it opens, and stores it under the settings key.

#include <cstdint>

constexpr int kPortNameSize = 20; // bytes, terminator included: at most 19 characters

// A frame's levels leave this long after Render returned, to meet sound that
// a Bluetooth speaker or an AV receiver plays late.
constexpr uint32_t kMaxLightDelayMs = 2000;

struct LinkSettings {
    char PortName[kPortNameSize] = {}; // always terminated
    uint8_t DeviceId = 0;              // 1..255 once accepted
    uint32_t LightDelayMs = 0;         // 0..kMaxLightDelayMs
};

// Whether a link takes this port and id at all: a name of at most 19
// characters and an id of 1..255. A refused pair changes nothing anywhere.
bool AcceptsPort(const char* portName, uint32_t deviceId);

// A stored or typed delay brought into 0..kMaxLightDelayMs.
inline uint32_t ClampLightDelay(uint32_t ms) {
    return ms > kMaxLightDelayMs ? kMaxLightDelayMs : ms;
}
