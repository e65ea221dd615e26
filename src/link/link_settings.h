#pragma once
// What the output needs to open: the settings layer keeps one of these, hands
// it to the link when it opens, and stores it under the settings key.

#include "link/dmx_packets.h"
#include "link/output_settings.h"

#include <cstdint>

constexpr int kPortNameSize = 20; // bytes, terminator included: at most 19 characters

// A frame's levels leave this long after Render returned, to meet sound that
// a Bluetooth speaker or an AV receiver plays late.
constexpr uint32_t kMaxLightDelayMs = 2000;

struct LinkSettings {
    char PortName[kPortNameSize] = {}; // always terminated
    uint8_t DeviceId = 0;              // 1..255 once accepted
    uint32_t LightDelayMs = 0;         // 0..kMaxLightDelayMs
    // Where the levels go: the serial controller above, or a network receiver.
    OutputKind Output = OutputKind::Serial;
    char OutputAddress[kOutputAddressSize] = {};  // empty: sACN multicast, Art-Net broadcast
    uint16_t Universe = kDefaultUniverse;         // sACN universe, or Art-Net port-address
    uint16_t StartChannel = kDefaultStartChannel; // the slot of controller circuit 0
    SacnCid SourceId = {};                        // sACN's CID: one per user, kept for ever
};

// Whether a link takes this port and id at all: a name of at most 19
// characters and an id of 1..255. A refused pair changes nothing anywhere.
bool AcceptsPort(const char* portName, uint32_t deviceId);

// Whether an output takes these settings at all: for Serial the port and id
// (AcceptsPort); for the network outputs a universe valid for the kind, a
// start channel of 1..512 and an address that is empty or well formed. The
// port and id don't matter to them. Refused settings change nothing anywhere.
bool AcceptsOutput(const LinkSettings& settings);

// A stored or typed delay brought into 0..kMaxLightDelayMs.
inline uint32_t ClampLightDelay(uint32_t ms) {
    return ms > kMaxLightDelayMs ? kMaxLightDelayMs : ms;
}
