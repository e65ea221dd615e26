#include "recording_link.h"

#include <cstring>

void RecordingLink::SendFrame(const ChannelLevel* frame, size_t count) {
    frames.push_back(count);
    for (size_t i = 0; i < count; ++i) {
        circuits.push_back(frame[i].circuit);
        SetLevel(frame[i].channel, frame[i].level);
    }
}

void RecordingLink::SetLevel(int channelIndex, int32_t level) {
    sent.push_back({channelIndex, level});
    if (open_) {
        levels.push_back({channelIndex, level});
    }
}

bool RecordingLink::Open(const LinkSettings& settings) {
    opens.push_back({settings.PortName, settings.DeviceId, settings.Output});
    if (!AcceptsOutput(settings)) {
        return false;
    }
    opened = settings;
    std::memcpy(PortName, settings.PortName, sizeof PortName);
    DeviceId = settings.DeviceId;
    open_ = settings.Output != OutputKind::Serial ||
            (portsExist && missingPorts.count(settings.PortName) == 0);
    return open_;
}

bool RecordingLink::Open(const char* port, uint8_t deviceId) {
    LinkSettings settings;
    std::strncpy(settings.PortName, port, sizeof settings.PortName - 1);
    settings.DeviceId = deviceId;
    return Open(settings);
}

void RecordingLink::Adopt(const LinkSettings& settings) {
    adopted.push_back(settings);
    DeviceId = settings.DeviceId;
}

OutputHealth RecordingLink::Health() const {
    if (!open_) {
        return OutputHealth::Closed;
    }
    return opened.Output == OutputKind::Serial ? OutputHealth::Working : networkHealth;
}

std::vector<LevelCommand> RecordingLink::WireCommands() const {
    std::vector<LevelCommand> out;
    for (const SentLevel& s : sent) {
        out.push_back(EncodeLevelCommand(s.channel, s.level, DeviceId));
    }
    return out;
}

void RecordingLink::ClearLevels() {
    sent.clear();
    frames.clear();
    circuits.clear();
    levels.clear();
}
