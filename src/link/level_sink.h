#pragma once
// The seams between the platform-free core and the output. The frame pipeline
// sees only a LevelSink; the settings side opens the output with a value.
// The Win32 ControllerLink implements both over a serial port; tests
// implement them in memory.

#include "link/link_settings.h"

#include <cstddef>
#include <cstdint>

// One channel's level as the frame sends it: the controller circuit is the
// record's position in the table.
struct ChannelLevel {
    int32_t channel;
    int32_t level;
};

class LevelSink {
public:
    // True while the output is open and set up.
    virtual bool IsOpen() const = 0;
    // One frame's levels, in the order they go out. Returns at once; dropped
    // while the output is closed.
    virtual void SendFrame(const ChannelLevel* levels, size_t count) = 0;
    // One level outside a frame (a player event lighting a channel).
    virtual void SetLevel(int channelIndex, int32_t level) = 0;

protected:
    ~LevelSink() = default;
};

class OutputLink : public LevelSink {
public:
    // Closes what is open (writing what is pending first) and opens the
    // output `settings` name. False, changing nothing, when AcceptsPort
    // refuses them; false, left closed, when the port can't be opened.
    virtual bool Open(const LinkSettings& settings) = 0;
    // Takes the device id and the delay of `settings` from the next frame
    // on, without reopening: the settings were reloaded.
    virtual void Adopt(const LinkSettings& settings) = 0;

protected:
    ~OutputLink() = default;
};
