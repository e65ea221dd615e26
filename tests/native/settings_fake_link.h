#pragma once
// An output in memory that keeps the real outputs' rule for what they take
// (AcceptsOutput) and opens every port but the ones the test calls missing,
// and every network output. Every Open, Adopt and level is recorded.

#include "link/level_sink.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

// The id a start makes for a user who has none (the plug-in makes it with
// CoCreateGuid).
inline const SacnCid kNewSourceId = {0x5E, 0x77, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F,
                                     0x70, 0x81, 0x92, 0xA3, 0xB4, 0xC5, 0xD6, 0xE7};

class SettingsTestLink final : public OutputLink {
public:
    struct OpenCall {
        std::string port;
        uint32_t deviceId;
        OutputKind output = OutputKind::Serial;
        bool operator==(const OpenCall& o) const {
            return port == o.port && deviceId == o.deviceId && output == o.output;
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
        opens.push_back({settings.PortName, settings.DeviceId, settings.Output});
        if (!AcceptsOutput(settings)) {
            return false;
        }
        opened = settings;
        const std::string port = settings.PortName;
        open_ = settings.Output != OutputKind::Serial ||
                std::find(missingPorts.begin(), missingPorts.end(), port) == missingPorts.end();
        return open_;
    }

    LinkSettings opened; // what the last accepted Open was given

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
