#pragma once
// The two network packets that carry a DmxFrame: the sACN (E1.31) data packet
// and the Art-Net ArtDmx packet. Each builder keeps one packet in a buffer of
// its own, writes the fields that never change once, and per packet only the
// sequence number, the lengths and the slots, so building allocates nothing.
//
// Every packet built takes the next sequence number, so a resend (the last
// frame again while the player is paused) is built again from the same frame:
// receivers drop a packet whose sequence number repeats.

#include "link/dmx_frame.h"

#include <array>
#include <cstddef>
#include <cstdint>

constexpr uint16_t kSacnPort = 5568;
constexpr uint16_t kArtNetPort = 6454;

constexpr size_t kSacnHeaderSize = 126; // up to and with the start code
constexpr size_t kSacnMaxPacketSize = kSacnHeaderSize + kDmxSlotCount;
constexpr size_t kArtDmxHeaderSize = 18;
constexpr size_t kArtDmxMaxPacketSize = kArtDmxHeaderSize + kDmxSlotCount;

constexpr uint8_t kSacnPriority = 100;
constexpr uint8_t kSacnStreamTerminated = 0x40; // options bit: the source is going away
constexpr char kSacnSourceName[] = "Twinkla";
constexpr size_t kSacnSourceNameSize = 64; // the field, terminator and zero padding included

// The sender's component id: the same 16 bytes in every packet from one user.
using SacnCid = std::array<uint8_t, 16>;

class SacnPacketBuilder {
public:
    // `universe` is sent as given (valid: 1..63999). The source name is cut to 63
    // bytes so that it always ends with a zero.
    SacnPacketBuilder(const SacnCid& cid, uint16_t universe,
                      const char* sourceName = kSacnSourceName);

    // Builds the next data packet from the frame's slots and returns its size
    // (126 + SlotCount()). `streamTerminated` sets the options bit 0x40 that
    // tells receivers the stream ends. The sequence number rises by one per
    // packet, terminated ones included, and wraps from 255 to 0.
    size_t Build(const DmxFrame& frame, bool streamTerminated = false);

    // The packet last built.
    const uint8_t* Data() const { return packet_.data(); }
    size_t Size() const { return size_; }

    // The sequence number the next packet gets; the first is 0.
    uint8_t NextSequence() const { return sequence_; }

private:
    std::array<uint8_t, kSacnMaxPacketSize> packet_{};
    size_t size_ = 0;
    uint8_t sequence_ = 0;
};

class ArtDmxPacketBuilder {
public:
    // `portAddress` (valid: 0..32767) is sent as SubUni (its low 8 bits) and Net
    // (the 7 bits above).
    explicit ArtDmxPacketBuilder(uint16_t portAddress);

    // Builds the next ArtDmx packet from the frame's slots and returns its size.
    // An odd slot count is padded with one zero slot, as the length must be
    // even. The sequence number runs 1..255 and wraps from 255 to 1 (0 would
    // tell receivers that the packets aren't sequenced).
    size_t Build(const DmxFrame& frame);

    const uint8_t* Data() const { return packet_.data(); }
    size_t Size() const { return size_; }

    // The sequence number the next packet gets; the first is 1.
    uint8_t NextSequence() const { return sequence_; }

private:
    std::array<uint8_t, kArtDmxMaxPacketSize> packet_{};
    size_t size_ = 0;
    uint8_t sequence_ = 1;
};
