#include "link/output_state.h"

#include <cstdio>

namespace {

// "to 10.0.0.5", or where an output without an address sends.
void Destination(const LinkSettings& s, char* text, size_t size) {
    if (s.OutputAddress[0] != '\0') {
        std::snprintf(text, size, "to %s", s.OutputAddress);
    } else {
        std::snprintf(text, size, "%s", s.Output == OutputKind::Sacn ? "multicast" : "broadcast");
    }
}

} // namespace

void FormatOutputState(const LinkSettings& s, OutputHealth health, char* text, size_t size) {
    if (size == 0) {
        return;
    }
    if (s.Output == OutputKind::Serial) {
        std::snprintf(text, size,
                      health == OutputHealth::Working ? "port %s" : "port %s can't be opened",
                      s.PortName);
        return;
    }
    const char* protocol = OutputKindName(s.Output);
    const char* universe = s.Output == OutputKind::Sacn ? "universe" : "port-address";
    char where[kOutputAddressSize + 8];
    Destination(s, where, sizeof where);
    switch (health) {
    case OutputHealth::Working:
        std::snprintf(text, size, "%s %s %s %u", protocol, where, universe, s.Universe);
        break;
    case OutputHealth::LookingUp:
        std::snprintf(text, size, "%s: looking up the receiver \"%s\"", protocol, s.OutputAddress);
        break;
    case OutputHealth::NameNotFound:
        std::snprintf(text, size, "%s: can't find the receiver \"%s\"", protocol, s.OutputAddress);
        break;
    case OutputHealth::NoNetworking:
        std::snprintf(text, size, "%s: the computer's networking can't be used", protocol);
        break;
    case OutputHealth::SendFailed:
        std::snprintf(text, size, "%s: can't send %s (no network?)", protocol, where);
        break;
    case OutputHealth::Closed:
        std::snprintf(text, size, "%s: the output couldn't be started", protocol);
        break;
    }
}
