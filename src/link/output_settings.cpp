#include "link/output_settings.h"

#include "link/dmx_frame.h"

#include <cstring>

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

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLabelCharacter(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_';
}

constexpr size_t kMaxLabelLength = 63;

bool IsValidHostName(const char* text, size_t length) {
    if (length > 0 && text[length - 1] == '.') {
        --length; // the root's dot
    }
    if (length == 0 || length > kMaxOutputAddressLength) {
        return false;
    }
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && text[i] != '.') {
            if (!IsLabelCharacter(text[i])) {
                return false;
            }
            continue;
        }
        const size_t labelLength = i - start;
        if (labelLength == 0 || labelLength > kMaxLabelLength || text[start] == '-' ||
            text[i - 1] == '-') {
            return false;
        }
        start = i + 1;
    }
    return true;
}

} // namespace

bool ParseIpv4(const char* text, std::array<uint8_t, 4>& address) {
    std::array<uint8_t, 4> bytes{};
    const char* p = text;
    for (size_t part = 0; part < bytes.size(); ++part) {
        if (part > 0 && *p++ != '.') {
            return false;
        }
        unsigned value = 0;
        const char* digits = p;
        // At most three digits, so "0000001" isn't taken for a byte.
        while (IsDigit(*p) && p - digits < 3) {
            value = value * 10 + static_cast<unsigned>(*p++ - '0');
        }
        if (p == digits || IsDigit(*p) || value > 255) {
            return false;
        }
        bytes[part] = static_cast<uint8_t>(value);
    }
    if (*p != '\0') {
        return false;
    }
    address = bytes;
    return true;
}

bool IsValidOutputAddress(const char* text) {
    if (text == nullptr) {
        return false;
    }
    const size_t length = ::strnlen(text, kOutputAddressSize);
    if (length == 0) {
        return true;
    }
    if (length == static_cast<size_t>(kOutputAddressSize)) {
        return false;
    }
    bool digitsAndDots = true;
    for (size_t i = 0; i < length && digitsAndDots; ++i) {
        digitsAndDots = IsDigit(text[i]) || text[i] == '.';
    }
    std::array<uint8_t, 4> address;
    return digitsAndDots ? ParseIpv4(text, address) : IsValidHostName(text, length);
}
