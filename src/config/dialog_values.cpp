#include "config/dialog_values.h"

#include "resource.h"
#include "wmp/timed_level.h"

#include <cmath>
#include <cstring>

const char* const kTypeNames[kTypeCount] = {"Frequency", "Power"};
const char* const kAudioChannelNames[kAudioChannelCount] = {"Left", "Right"};

namespace {

const char* const kFrequencyModeNames[] = {"Peak", "Average", "Normalized", "Graph Width"};
const char* const kPowerModeNames[] = {"Peak Level", "Average Level", "Instant Level",
                                       "Peak Count"};

// Integer division of a sum of two 32-bit numbers, truncating toward zero,
// with no overflow on the way.
int64_t Midpoint(int32_t a, int32_t b) {
    return (int64_t{a} + b) / 2;
}

// One axis of the centring: centre on the reference, then keep inside the
// work area, the near edge first.
int32_t CentredEdge(int32_t size, int32_t refLow, int32_t refHigh, int32_t areaLow,
                    int32_t areaHigh) {
    int64_t edge = Midpoint(refLow, refHigh) - size / 2;
    if (edge < areaLow) {
        edge = areaLow;
    } else if (edge + size > areaHigh) {
        edge = int64_t{areaHigh} - size;
    }
    return static_cast<int32_t>(edge);
}

} // namespace

void BinToHertzText(int32_t bin, char (&text)[kHertzTextSize]) {
    // For every 32-bit bin the value is a multiple of 1/1024 below 2^36, which
    // a double holds exactly, and so is a hundred times it; llround then takes
    // a halfway value away from zero. "%.2f" can't be trusted with that: glibc
    // and mingw's own stdio round half to even, msvcrt rounds away from zero.
    const double hertz = BinToHertz(bin);
    const long long cents = std::llround(hertz * 100.0);
    unsigned long long magnitude =
        cents < 0 ? 0ULL - static_cast<unsigned long long>(cents) : cents;

    // Digits from the right: two decimals, the point, then at least one more.
    char reversed[kHertzTextSize];
    int n = 0;
    for (int i = 0; i < 2; ++i, magnitude /= 10) {
        reversed[n++] = static_cast<char>('0' + magnitude % 10);
    }
    reversed[n++] = '.';
    do {
        reversed[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (cents < 0) {
        reversed[n++] = '-';
    }
    for (int i = 0; i < n; ++i) {
        text[i] = reversed[n - 1 - i];
    }
    text[n] = '\0';
}

int32_t StepBin(int32_t bin, int32_t delta) {
    int64_t value = int64_t{bin} - delta;
    if (value > kBinCount - 1) {
        value = kBinCount - 1;
    }
    if (value < 0) {
        value = 0;
    }
    return static_cast<int32_t>(value);
}

SampleTypeList SampleTypesFor(int32_t mode) {
    switch (mode) {
    case ModeFrequency:
        return {kFrequencyModeNames, 4, &ChannelConfig::FreqMode};
    case ModePower:
        return {kPowerModeNames, 4, &ChannelConfig::PowerMode};
    default:
        return {nullptr, 0, nullptr};
    }
}

int ChannelIndexForButton(int controlId) {
    if (controlId == IDC_CHANNEL_1) {
        return 0;
    }
    if (controlId >= IDC_CHANNEL_2 && controlId <= IDC_CHANNEL_16) {
        return controlId - IDC_CHANNEL_2 + 1;
    }
    return -1;
}

ScreenPoint CentredPosition(int32_t width, int32_t height, const ScreenRect& reference,
                            const ScreenRect& workArea) {
    return {CentredEdge(width, reference.left, reference.right, workArea.left, workArea.right),
            CentredEdge(height, reference.top, reference.bottom, workArea.top, workArea.bottom)};
}

const char* const kOutputKindNames[kOutputKindCount] = {"Serial", "sACN (E1.31)", "Art-Net"};

namespace {

constexpr OutputKind kOutputKindsInList[kOutputKindCount] = {OutputKind::Serial, OutputKind::Sacn,
                                                             OutputKind::ArtNet};

} // namespace

OutputKind OutputKindAt(int position) {
    return position >= 0 && position < kOutputKindCount ? kOutputKindsInList[position]
                                                        : OutputKind::Serial;
}

int OutputKindPosition(OutputKind kind) {
    for (int i = 0; i < kOutputKindCount; ++i) {
        if (kOutputKindsInList[i] == kind) {
            return i;
        }
    }
    return 0;
}

const char* UniverseCaption(OutputKind kind) {
    return kind == OutputKind::ArtNet ? "Port-address" : "Universe";
}

const char* EmptyAddressHint(OutputKind kind) {
    switch (kind) {
    case OutputKind::Sacn:
        return "Empty: the universe's multicast group";
    case OutputKind::ArtNet:
        return "Empty: broadcast on the local network";
    case OutputKind::Serial:
        break;
    }
    return "";
}

const char* OutputFieldsProblem(OutputKind kind, const char* address, bool universeIsNumber,
                                uint32_t universe, bool startChannelIsNumber,
                                uint32_t startChannel) {
    if (kind == OutputKind::Serial) {
        return nullptr;
    }
    if (std::strlen(address) > kMaxOutputAddressLength) {
        return "The address is too long.";
    }
    if (!IsValidOutputAddress(address)) {
        return "The address must be an IPv4 address or a host name.";
    }
    if (!universeIsNumber || !IsValidUniverse(kind, universe)) {
        return kind == OutputKind::Sacn ? "The universe must be 1 to 63999."
                                        : "The port-address must be 0 to 32767.";
    }
    if (!startChannelIsNumber || !IsValidStartChannel(startChannel)) {
        return "The start channel must be 1 to 512.";
    }
    return nullptr;
}

void TrimSpaces(char* text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    size_t start = 0;
    while (isSpace(text[start])) {
        ++start;
    }
    size_t end = std::strlen(text);
    while (end > start && isSpace(text[end - 1])) {
        --end;
    }
    std::memmove(text, text + start, end - start);
    text[end - start] = '\0';
}
