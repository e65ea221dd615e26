#pragma once
// The output's state in a few plain words, for a status bar or the property
// dialog: "port COM3", "sACN to 10.0.0.5 universe 1", "Art-Net broadcast
// port-address 0", "sACN: can't find the receiver "foo"".

#include "link/link_settings.h"

#include <cstddef>

enum class OutputHealth {
    Working,      // open; for a network output, sending (or about to)
    Closed,       // the serial port can't be opened, or the output couldn't start
    LookingUp,    // the receiver's name is being looked up
    NameNotFound, // the receiver's name doesn't resolve
    NoNetworking, // the system's networking can't be started (Winsock, a socket)
    SendFailed,   // the last packet couldn't be sent (no network, no route)
};

// Whether the state is a failure the user should hear about.
inline bool IsOutputProblem(OutputHealth health) {
    return health != OutputHealth::Working && health != OutputHealth::LookingUp;
}

// Writes the state of the output `settings` describe into `text` (always
// terminated, cut to `size`).
void FormatOutputState(const LinkSettings& settings, OutputHealth health, char* text, size_t size);
