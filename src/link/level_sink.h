#pragma once
// The seam between the platform-free core and the controller link. The Win32
// ControllerLink implements it over a serial port; tests implement it in memory.

#include <cstdint>

constexpr int kPortNameSize = 20; // bytes, terminator included: at most 19 characters

class LevelSink {
public:
    // True while the serial port is open and set up.
    virtual bool IsOpen() const = 0;
    // Sends one level command; dropped while the port is closed.
    virtual void SetLevel(int channelIndex, int32_t level) = 0;

protected:
    ~LevelSink() = default;
};

// The whole link as the rest of the plug-in uses it. Settings load and save
// read and write PortName and DeviceId directly, without reopening the port.
class ControllerLinkBase : public LevelSink {
public:
    // Closes any open port, then opens `portName` with `deviceId`; false when
    // the id is out of 1..255, the name too long, or the port can't be opened.
    virtual bool Open(const char* portName, uint32_t deviceId) = 0;

    char PortName[kPortNameSize] = {};
    uint8_t DeviceId = 0;

protected:
    ~ControllerLinkBase() = default;
};
