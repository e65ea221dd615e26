#include "link/dmx_packets.h"

#include <cstring>

namespace {

void PutU16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

void PutU32(uint8_t* at, uint32_t value) {
    PutU16(at, value >> 16);
    PutU16(at + 2, value);
}

// An ACN layer's flags (0x7) and its length, counted from the field itself to
// the end of the packet.
void PutFlagsAndLength(uint8_t* packet, size_t offset, size_t packetSize) {
    PutU16(packet + offset, 0x7000 | static_cast<uint32_t>(packetSize - offset));
}

// Offsets in the E1.31 data packet.
enum : size_t {
    kRootFlags = 16,
    kFramingFlags = 38,
    kSourceName = 44,
    kSequence = 111,
    kOptions = 112,
    kDmpFlags = 115,
    kPropertyCount = 123,
};

constexpr char kAcnIdentifier[12] = {'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0};
constexpr char kArtNetId[8] = {'A', 'r', 't', '-', 'N', 'e', 't', 0};

} // namespace

SacnPacketBuilder::SacnPacketBuilder(const SacnCid& cid, uint16_t universe,
                                     const char* sourceName) {
    uint8_t* p = packet_.data();
    // Root layer.
    PutU16(p + 0, 0x0010); // preamble size
    PutU16(p + 2, 0x0000); // post-amble size
    std::memcpy(p + 4, kAcnIdentifier, sizeof kAcnIdentifier);
    PutU32(p + 18, 0x00000004); // vector: E1.31 data
    std::memcpy(p + 22, cid.data(), cid.size());
    // Framing layer.
    PutU32(p + 40, 0x00000002); // vector: DMP data
    const size_t nameLength = strnlen(sourceName, kSacnSourceNameSize - 1);
    std::memcpy(p + kSourceName, sourceName, nameLength); // the rest stays zero
    p[108] = kSacnPriority;
    PutU16(p + 109, 0); // synchronization address: none
    PutU16(p + 113, universe);
    // DMP layer.
    p[117] = 0x02;           // vector: set property
    p[118] = 0xA1;           // address type and data type
    PutU16(p + 119, 0x0000); // first property address
    PutU16(p + 121, 0x0001); // address increment
    p[125] = 0x00;           // start code: dimmer levels
}

size_t SacnPacketBuilder::Build(const DmxFrame& frame, bool streamTerminated) {
    const size_t slots = static_cast<size_t>(frame.SlotCount());
    uint8_t* p = packet_.data();
    size_ = kSacnHeaderSize + slots;
    PutFlagsAndLength(p, kRootFlags, size_);
    PutFlagsAndLength(p, kFramingFlags, size_);
    PutFlagsAndLength(p, kDmpFlags, size_);
    p[kSequence] = sequence_++; // wraps at 256
    p[kOptions] = streamTerminated ? kSacnStreamTerminated : 0;
    PutU16(p + kPropertyCount, static_cast<uint32_t>(1 + slots));
    std::memcpy(p + kSacnHeaderSize, frame.Slots(), slots);
    return size_;
}

ArtDmxPacketBuilder::ArtDmxPacketBuilder(uint16_t portAddress) {
    uint8_t* p = packet_.data();
    std::memcpy(p, kArtNetId, sizeof kArtNetId);
    p[8] = 0x00; // OpCode 0x5000, low byte first
    p[9] = 0x50;
    PutU16(p + 10, 14); // protocol version, high byte first
    p[13] = 0;          // physical input port
    p[14] = static_cast<uint8_t>(portAddress);
    p[15] = static_cast<uint8_t>((portAddress >> 8) & 0x7F);
}

size_t ArtDmxPacketBuilder::Build(const DmxFrame& frame) {
    const size_t slots = static_cast<size_t>(frame.SlotCount());
    const size_t length = slots + (slots & 1);
    uint8_t* p = packet_.data();
    p[12] = sequence_;
    sequence_ = sequence_ == 255 ? 1 : sequence_ + 1;
    PutU16(p + 16, static_cast<uint32_t>(length));
    std::memcpy(p + kArtDmxHeaderSize, frame.Slots(), slots);
    // The buffer may still hold a slot of an earlier, longer packet there.
    if (length != slots) {
        p[kArtDmxHeaderSize + slots] = 0;
    }
    size_ = kArtDmxHeaderSize + length;
    return size_;
}
