#include "link/link_settings.h"

#include <cstring>

bool AcceptsPort(const char* portName, uint32_t deviceId) {
    return portName != nullptr && deviceId >= 1 && deviceId <= 255 &&
           ::strnlen(portName, kPortNameSize) < static_cast<size_t>(kPortNameSize);
}

bool AcceptsOutput(const LinkSettings& settings) {
    if (settings.Output == OutputKind::Serial) {
        return AcceptsPort(settings.PortName, settings.DeviceId);
    }
    return IsValidUniverse(settings.Output, settings.Universe) &&
           IsValidStartChannel(settings.StartChannel) &&
           IsValidOutputAddress(settings.OutputAddress);
}
