#include "link/output_settings.h"

#include "link/dmx_frame.h"

namespace {

// ASCII only: a locale must not decide what the stored name means.
bool EqualsIgnoringCase(const char* text, const char* name) {
    for (; *text != '\0' && *name != '\0'; ++text, ++name) {
        char c = *text;
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        char n = *name;
        if (n >= 'A' && n <= 'Z') {
            n = static_cast<char>(n - 'A' + 'a');
        }
        if (c != n) {
            return false;
        }
    }
    return *text == *name;
}

constexpr OutputKind kKinds[] = {OutputKind::Serial, OutputKind::Sacn, OutputKind::ArtNet};

} // namespace

OutputKind ParseOutputKind(const char* text) {
    if (text != nullptr) {
        for (OutputKind kind : kKinds) {
            if (EqualsIgnoringCase(text, OutputKindName(kind))) {
                return kind;
            }
        }
    }
    return OutputKind::Serial;
}

const char* OutputKindName(OutputKind kind) {
    switch (kind) {
    case OutputKind::Sacn:
        return "sACN";
    case OutputKind::ArtNet:
        return "Art-Net";
    case OutputKind::Serial:
        break;
    }
    return "Serial";
}

bool IsValidUniverse(OutputKind kind, uint32_t universe) {
    const bool sacn = universe >= 1 && universe <= 63999;
    const bool artNet = universe <= 32767;
    switch (kind) {
    case OutputKind::Sacn:
        return sacn;
    case OutputKind::ArtNet:
        return artNet;
    case OutputKind::Serial:
        break;
    }
    return sacn || artNet;
}

uint16_t UniverseOrDefault(OutputKind kind, std::optional<uint32_t> stored) {
    return static_cast<uint16_t>(stored && IsValidUniverse(kind, *stored) ? *stored
                                                                          : kDefaultUniverse);
}

bool IsValidStartChannel(uint32_t startChannel) {
    return startChannel >= 1 && startChannel <= kDmxSlotCount;
}

int StartChannelOrDefault(std::optional<uint32_t> stored) {
    return static_cast<int>(stored && IsValidStartChannel(*stored) ? *stored
                                                                   : kDefaultStartChannel);
}

std::array<uint8_t, 4> SacnMulticastGroup(uint16_t universe) {
    return {239, 255, static_cast<uint8_t>(universe >> 8), static_cast<uint8_t>(universe)};
}
