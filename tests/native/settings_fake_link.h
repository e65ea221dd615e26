#pragma once
// A controller link in memory whose Open keeps the real link's rules: an id
// outside 1..255 or a name of 20 characters or more changes nothing;
// otherwise the id is taken, the old port closed, and the name recorded even
// when the port doesn't exist. Every Open and every level sent is recorded.

#include "link/level_sink.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

class SettingsTestLink final : public ControllerLinkBase {
public:
    struct OpenCall {
        std::string port;
        uint32_t deviceId;
        bool aliasedPortName; // was handed PortName itself
        bool operator==(const OpenCall& o) const {
            return port == o.port && deviceId == o.deviceId && aliasedPortName == o.aliasedPortName;
        }
    };

    // Ports that Open can't open, as if they didn't exist.
    std::vector<std::string> missingPorts;

    std::vector<OpenCall> opens;
    std::vector<std::pair<int, int32_t>> levels;

    bool IsOpen() const override { return open_; }

    void SetLevel(int channelIndex, int32_t level) override {
        if (open_) {
            levels.emplace_back(channelIndex, level);
        }
    }

    bool Open(const char* portName, uint32_t deviceId) override {
        opens.push_back({portName, deviceId, portName == PortName});
        const size_t length = std::strlen(portName);
        if (deviceId < 1 || deviceId > 255 || length >= sizeof PortName) {
            return false;
        }
        DeviceId = static_cast<uint8_t>(deviceId);
        open_ = false;
        std::memmove(PortName, portName, length + 1);
        if (std::find(missingPorts.begin(), missingPorts.end(), portName) != missingPorts.end()) {
            return false;
        }
        open_ = true;
        return true;
    }

private:
    bool open_ = false;
};
