#pragma once
// An output in memory that keeps the real link's rule for what it takes (a
// name of at most 19 characters and an id of 1..255) and opens every port but
// the ones the test calls missing. Every Open, Adopt and level is recorded.

#include "link/level_sink.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

class SettingsTestLink final : public OutputLink {
public:
    struct OpenCall {
        std::string port;
        uint32_t deviceId;
        bool operator==(const OpenCall& o) const {
            return port == o.port && deviceId == o.deviceId;
        }
    };

    // Ports that Open can't open, as if they didn't exist.
    std::vector<std::string> missingPorts;

    std::vector<OpenCall> opens;
    std::vector<LinkSettings> adopted;
    std::vector<std::pair<int, int32_t>> levels; // sent while open

    bool IsOpen() const override { return open_; }

    void SendFrame(const ChannelLevel* frame, size_t count) override {
        for (size_t i = 0; i < count; ++i) {
            SetLevel(frame[i].channel, frame[i].level);
        }
    }

    void SetLevel(int channelIndex, int32_t level) override {
        if (open_) {
            levels.emplace_back(channelIndex, level);
        }
    }

    bool Open(const LinkSettings& settings) override {
        opens.push_back({settings.PortName, settings.DeviceId});
        if (!AcceptsPort(settings.PortName, settings.DeviceId)) {
            return false;
        }
        const std::string port = settings.PortName;
        open_ = std::find(missingPorts.begin(), missingPorts.end(), port) == missingPorts.end();
        return open_;
    }

    // For tests that open by hand.
    bool Open(const char* port, uint8_t deviceId) {
        LinkSettings settings;
        std::strncpy(settings.PortName, port, sizeof settings.PortName - 1);
        settings.DeviceId = deviceId;
        return Open(settings);
    }

    void Adopt(const LinkSettings& settings) override { adopted.push_back(settings); }

private:
    bool open_ = false;
};
