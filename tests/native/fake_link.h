#pragma once
// A level sink in memory: open or closed as the test says, recording every
// level handed to it.

#include "link/level_sink.h"
#include "link/protocol.h"

#include <cstdint>
#include <vector>

struct SentLevel {
    int channel;
    int32_t level;
    bool operator==(const SentLevel& o) const { return channel == o.channel && level == o.level; }
};

class FakeLink final : public LevelSink {
public:
    explicit FakeLink(bool open = true) : open_(open) {}

    void SetOpen(bool open) { open_ = open; }

    // Every level handed over, frames' levels in order, including those
    // handed over while closed (which the real link drops), so a test sees
    // what its caller asked for.
    std::vector<SentLevel> sent;
    // How many levels each SendFrame carried.
    std::vector<size_t> frames;
    // The network circuit of each level a frame carried, in the same order.
    std::vector<int32_t> circuits;
    // The device id the wire commands are encoded for.
    uint8_t DeviceId = 1;

    bool IsOpen() const override { return open_; }

    void SendFrame(const ChannelLevel* levels, size_t count) override {
        frames.push_back(count);
        for (size_t i = 0; i < count; ++i) {
            sent.push_back({levels[i].channel, levels[i].level});
            circuits.push_back(levels[i].circuit);
        }
    }

    void SetLevel(int channelIndex, int32_t level) override {
        sent.push_back({channelIndex, level});
    }

    // The commands the recorded levels encode to.
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
