#pragma once
// A controller link held in memory: its port is open or closed as the test
// says, and it records every call made to it.

#include "link/level_sink.h"
#include "link/protocol.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct SentLevel {
    int channel;
    int32_t level;
    bool operator==(const SentLevel& o) const { return channel == o.channel && level == o.level; }
};

class FakeLink final : public ControllerLinkBase {
public:
    explicit FakeLink(bool open = true) : open_(open) { DeviceId = 1; }

    void SetOpen(bool open) { open_ = open; }

    // What Open will answer next.
    bool openSucceeds = true;

    // Every SetLevel call, including those made while closed (which the real
    // link drops), so a test sees what its caller asked for.
    std::vector<SentLevel> sent;
    // Every Open call: port name and device id.
    std::vector<std::pair<std::string, uint32_t>> opens;

    bool IsOpen() const override { return open_; }

    void SetLevel(int channelIndex, int32_t level) override {
        sent.push_back({channelIndex, level});
    }

    bool Open(const char* portName, uint32_t deviceId) override {
        opens.emplace_back(portName ? portName : "", deviceId);
        open_ = false;
        if (!openSucceeds || portName == nullptr || std::strlen(portName) >= kPortNameSize ||
            deviceId < 1 || deviceId > 255) {
            return false;
        }
        std::strcpy(PortName, portName);
        DeviceId = static_cast<uint8_t>(deviceId);
        open_ = true;
        return true;
    }

    // The commands the recorded calls encode to, with the current DeviceId.
    std::vector<LevelCommand> WireCommands() const {
        std::vector<LevelCommand> out;
        for (const SentLevel& s : sent) {
            out.push_back(EncodeLevelCommand(s.channel, s.level, DeviceId));
        }
        return out;
    }

private:
    bool open_;
};
