#pragma once
// Reads the datagrams a network lighting receiver gets: the sACN (E1.31) data
// packet and the Art-Net ArtDmx packet. Every field is checked against the
// layout a sender must use; the first one that breaks it names the fault and
// the packet counts as malformed. Written apart from the plug-in's builders,
// so that the two check each other.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>

enum class DmxProtocol { Sacn, ArtNet };

struct DmxPacket {
    DmxProtocol protocol = DmxProtocol::Sacn;
    const char* fault = nullptr; // the field that broke the layout; null when well-formed
    uint16_t universe = 0;       // sACN universe, or Art-Net port-address (Net << 8 | SubUni)
    uint8_t sequence = 0;
    int slotCount = 0; // slots after the start code (sACN), or ArtDmx's length
    std::array<uint8_t, 512> slots{};

    // sACN only.
    std::array<uint8_t, 16> cid{};
    std::string sourceName;
    uint8_t priority = 0;
    uint16_t syncAddress = 0;
    uint8_t options = 0;

    // Art-Net only.
    uint8_t physical = 0;

    bool Malformed() const { return fault != nullptr; }
    // The sender's last packets: receivers drop the source and ignore the slots.
    bool StreamTerminated() const { return protocol == DmxProtocol::Sacn && (options & 0x40) != 0; }
};

DmxPacket ParseSacnPacket(const uint8_t* data, size_t size);
DmxPacket ParseArtDmxPacket(const uint8_t* data, size_t size);
DmxPacket ParseDmxPacket(DmxProtocol protocol, const uint8_t* data, size_t size);

// Follows the sequence numbers of each stream (protocol, universe and, for
// sACN, the sender's CID). sACN numbers rise by one and wrap from 255 to 0;
// ArtDmx numbers run 1..255 and wrap from 255 to 1. A stream's first packet,
// and the first after its stream-terminated packets, may start anywhere.
class SequenceCheck {
public:
    // The number expected when `packet` doesn't follow its stream's last one
    // (a lost packet, a repeat, a reordering); nothing when it does.
    std::optional<uint8_t> Gap(const DmxPacket& packet);

private:
    struct Stream {
        uint8_t last = 0;
        bool terminated = false;
    };
    using Key = std::tuple<int, uint16_t, std::array<uint8_t, 16>>;
    std::map<Key, Stream> streams_;
};

// The level (0..100) a slot byte stands for: the nearest level whose byte,
// (level * 255 + 50) / 100, it is.
int LevelFromSlot(uint8_t value);
