#pragma once
// The seams between the platform-free core and the output. The frame pipeline
// sees only a LevelSink; the settings side opens the output with a value.
// The Win32 outputs implement both (the serial ControllerLink, the network
// NetworkOutput, and OutputSelector, which holds the one the settings name);
// tests implement them in memory.

#include "link/link_settings.h"
#include "link/output_state.h"

#include <cstddef>
#include <cstdint>

constexpr int32_t kNoCircuit = -1;

// One channel's level as the frame sends it. On the serial line the
// controller circuit is the record's position in the table (`channel`); a
// network output puts the level into the slot of the record's Address
// (`circuit`), and nowhere for the zero owed to a disabled record
// (kNoCircuit): a network frame starts dark anyway.
struct ChannelLevel {
    int32_t channel;
    int32_t level;
    int32_t circuit;
};

class LevelSink {
public:
    // True while the output is open and set up.
    virtual bool IsOpen() const = 0;
    // One frame's levels, in the order they go out. Returns at once; dropped
    // while the output is closed.
    virtual void SendFrame(const ChannelLevel* levels, size_t count) = 0;
    // One level outside a frame (a player event lighting a channel): on a
    // network output it amends the last frame, in the slot of circuit
    // `channelIndex`.
    virtual void SetLevel(int channelIndex, int32_t level) = 0;

protected:
    ~LevelSink() = default;
};

class OutputLink : public LevelSink {
public:
    // Closes what is open (writing what is pending first) and opens the
    // output `settings` name. False, changing nothing, when AcceptsOutput
    // refuses them; false, left closed, when the port can't be opened.
    virtual bool Open(const LinkSettings& settings) = 0;
    // Takes the device id and the delay of `settings` from the next frame
    // on, without reopening (nor changing the kind of output): the settings
    // were reloaded.
    virtual void Adopt(const LinkSettings& settings) = 0;
    // How the output is doing, for the status line: a serial port is Working
    // while it is open, else Closed; Closed before any Open.
    virtual OutputHealth Health() const = 0;

protected:
    ~OutputLink() = default;
};
