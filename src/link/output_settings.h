#pragma once
// The rules for the stored output settings ("Output", "Universe",
// "StartChannel"): what each accepts and what stands in for a value that is
// absent or invalid. Pure functions; the store and the dialog apply them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

enum class OutputKind { Serial, Sacn, ArtNet };

// "Serial", "sACN" or "Art-Net" in any case; anything else, or no value
// (nullptr), is Serial.
OutputKind ParseOutputKind(const char* text);

// The name stored for each kind: "Serial", "sACN", "Art-Net".
const char* OutputKindName(OutputKind kind);

constexpr uint16_t kDefaultUniverse = 1;
constexpr uint16_t kDefaultStartChannel = 1;

// The receiver's address as stored: at most 255 characters, of which a valid
// one uses at most 253 (the longest host name).
constexpr int kOutputAddressSize = 256; // terminator included
constexpr size_t kMaxOutputAddressLength = 253;

// sACN universes are 1..63999, Art-Net port-addresses 0..32767. The serial
// output has no universe: any value valid for one of the two passes.
bool IsValidUniverse(OutputKind kind, uint32_t universe);

// The stored universe when present and valid for the output, else 1.
uint16_t UniverseOrDefault(OutputKind kind, std::optional<uint32_t> stored);

// Slots 1..512.
bool IsValidStartChannel(uint32_t startChannel);

// The stored start channel when present and valid, else 1.
int StartChannelOrDefault(std::optional<uint32_t> stored);

// An output address the network outputs take: empty (sACN's multicast group,
// Art-Net's broadcast), an IPv4 address in dotted decimal (four numbers
// 0..255; leading zeros are decimal too), or a host name (labels of letters,
// digits, '-' and '_', 1..63 characters each, at most 253 in all, not
// starting or ending with '-'; one trailing dot allowed). Text of digits and
// dots alone must be an IPv4 address. Unterminated within
// kOutputAddressSize is refused.
bool IsValidOutputAddress(const char* text);

// The four bytes of a dotted-decimal IPv4 address, in the order they are
// written; false for anything else (a host name, an empty text).
bool ParseIpv4(const char* text, std::array<uint8_t, 4>& address);

// The multicast group of an sACN universe, 239.255.hi.lo, as the address's
// four bytes in the order they are written.
std::array<uint8_t, 4> SacnMulticastGroup(uint16_t universe);
