#pragma once
// The one output double: an output in memory that keeps the real outputs'
// rules towards their callers and records everything it is handed. Settings
// that AcceptsOutput refuses (the product's own rule: for Serial a name of at
// most 19 characters and an id of 1..255) change nothing; otherwise the port
// name and id are taken, and the port opens unless the test calls it
// missing. A network output always opens; its troubles come later, from its
// engine, as `networkHealth` says.

#include "link/level_sink.h"
#include "link/protocol.h"

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

// One level as it was handed to the output.
struct SentLevel {
    int channel;
    int32_t level;
    bool operator==(const SentLevel& o) const { return channel == o.channel && level == o.level; }
};

// One Open as it was asked for.
struct OpenCall {
    std::string port;
    uint32_t deviceId;
    OutputKind output = OutputKind::Serial;
    bool operator==(const OpenCall& o) const {
        return port == o.port && deviceId == o.deviceId && output == o.output;
    }
};

class RecordingLink final : public OutputLink {
public:
    // Open from the start (a link a frame is sent through), or closed until
    // an Open (a link the settings open).
    explicit RecordingLink(bool open = false) : open_(open) {}

    // What the test decides.
    std::set<std::string> missingPorts;                 // ports whose Open fails
    bool portsExist = true;                             // false: no port opens
    OutputHealth networkHealth = OutputHealth::Working; // a network output's, once open
    void SetOpen(bool open) { open_ = open; }

    // What it was handed.
    std::vector<OpenCall> opens;       // every Open, refused ones included
    LinkSettings opened;               // what the last accepted Open was given
    std::vector<LinkSettings> adopted; // every Adopt
    // Every level, a frame's and a single one alike, in order, and also
    // those handed over while closed (which a real output drops), so that a
    // test sees what its caller asked for.
    std::vector<SentLevel> sent;
    std::vector<size_t> frames;    // how many levels each SendFrame carried
    std::vector<int32_t> circuits; // the network circuit of each level a frame carried
    std::vector<SentLevel> levels; // the levels handed over while open: what goes out
    uint8_t DeviceId = 1;          // the commands' id: the last accepted Open's or Adopt's

    bool IsOpen() const override { return open_; }

    void SendFrame(const ChannelLevel* frame, size_t count) override {
        frames.push_back(count);
        for (size_t i = 0; i < count; ++i) {
            circuits.push_back(frame[i].circuit);
            SetLevel(frame[i].channel, frame[i].level);
        }
    }

    void SetLevel(int channelIndex, int32_t level) override {
        sent.push_back({channelIndex, level});
        if (open_) {
            levels.push_back({channelIndex, level});
        }
    }

    bool Open(const LinkSettings& settings) override {
        opens.push_back({settings.PortName, settings.DeviceId, settings.Output});
        if (!AcceptsOutput(settings)) {
            return false;
        }
        opened = settings;
        DeviceId = settings.DeviceId;
        open_ = settings.Output != OutputKind::Serial ||
                (portsExist && missingPorts.count(settings.PortName) == 0);
        return open_;
    }

    void Adopt(const LinkSettings& settings) override {
        adopted.push_back(settings);
        DeviceId = settings.DeviceId;
    }

    OutputHealth Health() const override {
        if (!open_) {
            return OutputHealth::Closed;
        }
        return opened.Output == OutputKind::Serial ? OutputHealth::Working : networkHealth;
    }

    // Opens a serial port by hand.
    bool Open(const char* port, uint8_t deviceId) {
        LinkSettings settings;
        std::strncpy(settings.PortName, port, sizeof settings.PortName - 1);
        settings.DeviceId = deviceId;
        return Open(settings);
    }

    // The wire commands the recorded levels encode to, for DeviceId.
    std::vector<LevelCommand> WireCommands() const {
        std::vector<LevelCommand> out;
        for (const SentLevel& s : sent) {
            out.push_back(EncodeLevelCommand(s.channel, s.level, DeviceId));
        }
        return out;
    }

    // Forgets the levels handed over.
    void ClearLevels() {
        sent.clear();
        frames.clear();
        circuits.clear();
        levels.clear();
    }

private:
    bool open_;
};
