#include "dmx_parser.h"

#include <algorithm>
#include <cstring>

namespace {

// Reads fields front to back; reading past the end yields zeros and marks
// the reader short, so that each check can stay a plain comparison.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t U8() { return at_ < size_ ? data_[at_++] : (++at_, 0); }
    uint16_t U16() {
        const uint16_t high = U8();
        return static_cast<uint16_t>(high << 8 | U8());
    }
    uint32_t U32() {
        const uint32_t high = U16();
        return high << 16 | U16();
    }
    bool Bytes(const void* expected, size_t n) {
        bool same = at_ + n <= size_ && std::memcmp(data_ + at_, expected, n) == 0;
        at_ += n;
        return same;
    }
    template <size_t N> void Copy(std::array<uint8_t, N>& out, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            out[i] = U8();
        }
    }
    size_t Offset() const { return at_; }
    size_t Left() const { return at_ < size_ ? size_ - at_ : 0; }
    const uint8_t* Here() const { return data_ + std::min(at_, size_); }
    void Skip(size_t n) { at_ += n; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// An ACN PDU starts with flags 0x7 in the top nibble and its own length,
// counted from that field to the end of the datagram (one PDU per layer).
bool FlagsAndLengthFit(uint16_t field, size_t fieldOffset, size_t size) {
    return (field >> 12) == 0x7 && (field & 0x0FFF) == size - fieldOffset;
}

constexpr size_t kSacnSlotsOffset = 126;
constexpr size_t kArtDmxSlotsOffset = 18;

} // namespace

DmxPacket ParseSacnPacket(const uint8_t* data, size_t size) {
    DmxPacket p;
    p.protocol = DmxProtocol::Sacn;
    auto fail = [&p](const char* fault) {
        p.fault = fault;
        return p;
    };
    if (size < kSacnSlotsOffset) {
        return fail("short");
    }
    if (size > kSacnSlotsOffset + 512) {
        return fail("long");
    }
    Reader r(data, size);
    if (r.U16() != 0x0010) {
        return fail("preamble");
    }
    if (r.U16() != 0x0000) {
        return fail("postamble");
    }
    static const char kId[12] = {'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0};
    if (!r.Bytes(kId, sizeof kId)) {
        return fail("identifier");
    }
    size_t at = r.Offset();
    if (!FlagsAndLengthFit(r.U16(), at, size)) {
        return fail("root-length");
    }
    if (r.U32() != 0x00000004) {
        return fail("root-vector");
    }
    r.Copy(p.cid, 16);

    at = r.Offset();
    if (!FlagsAndLengthFit(r.U16(), at, size)) {
        return fail("framing-length");
    }
    if (r.U32() != 0x00000002) {
        return fail("framing-vector");
    }
    // A UTF-8 name, zero-terminated within its 64 bytes and zero after that.
    const char* name = reinterpret_cast<const char*>(r.Here());
    const size_t nameLength = strnlen(name, 64);
    if (nameLength == 64 || std::any_of(name + nameLength, name + 64, [](char c) { return c; })) {
        return fail("source-name");
    }
    p.sourceName.assign(name, nameLength);
    r.Skip(64);
    p.priority = r.U8();
    if (p.priority > 200) {
        return fail("priority");
    }
    p.syncAddress = r.U16();
    p.sequence = r.U8();
    p.options = r.U8();
    p.universe = r.U16();
    if (p.universe < 1 || p.universe > 63999) {
        return fail("universe");
    }

    at = r.Offset();
    if (!FlagsAndLengthFit(r.U16(), at, size)) {
        return fail("dmp-length");
    }
    if (r.U8() != 0x02) {
        return fail("dmp-vector");
    }
    if (r.U8() != 0xA1) {
        return fail("address-type");
    }
    if (r.U16() != 0x0000) {
        return fail("first-address");
    }
    if (r.U16() != 0x0001) {
        return fail("increment");
    }
    const uint16_t count = r.U16();
    if (count < 1 || count != size - kSacnSlotsOffset + 1) {
        return fail("value-count");
    }
    if (r.U8() != 0x00) {
        return fail("start-code");
    }
    p.slotCount = count - 1;
    r.Copy(p.slots, static_cast<size_t>(p.slotCount));
    return p;
}

DmxPacket ParseArtDmxPacket(const uint8_t* data, size_t size) {
    DmxPacket p;
    p.protocol = DmxProtocol::ArtNet;
    auto fail = [&p](const char* fault) {
        p.fault = fault;
        return p;
    };
    if (size < kArtDmxSlotsOffset) {
        return fail("short");
    }
    Reader r(data, size);
    static const char kId[8] = {'A', 'r', 't', '-', 'N', 'e', 't', 0};
    if (!r.Bytes(kId, sizeof kId)) {
        return fail("identifier");
    }
    const uint8_t opLow = r.U8(), opHigh = r.U8();
    if (opLow != 0x00 || opHigh != 0x50) {
        return fail("opcode");
    }
    if (r.U16() != 14) {
        return fail("version");
    }
    p.sequence = r.U8();
    p.physical = r.U8();
    const uint8_t subUni = r.U8(), net = r.U8();
    if (net & 0x80) {
        return fail("net");
    }
    p.universe = static_cast<uint16_t>(net << 8 | subUni);
    const uint16_t length = r.U16();
    if (length < 2 || length > 512 || length % 2 != 0) {
        return fail("length");
    }
    if (length != r.Left()) {
        return fail("size");
    }
    p.slotCount = length;
    r.Copy(p.slots, length);
    return p;
}

DmxPacket ParseDmxPacket(DmxProtocol protocol, const uint8_t* data, size_t size) {
    return protocol == DmxProtocol::Sacn ? ParseSacnPacket(data, size)
                                         : ParseArtDmxPacket(data, size);
}

std::optional<uint8_t> SequenceCheck::Gap(const DmxPacket& packet) {
    const Key key{static_cast<int>(packet.protocol), packet.universe,
                  packet.protocol == DmxProtocol::Sacn ? packet.cid : std::array<uint8_t, 16>{}};
    const auto found = streams_.find(key);
    std::optional<uint8_t> expected;
    if (found != streams_.end() && !(found->second.terminated && !packet.StreamTerminated())) {
        const uint8_t last = found->second.last;
        const uint8_t next = packet.protocol == DmxProtocol::ArtNet && last == 255
                                 ? 1
                                 : static_cast<uint8_t>(last + 1);
        if (packet.sequence != next) {
            expected = next;
        }
    }
    streams_[key] = Stream{packet.sequence, packet.StreamTerminated()};
    return expected;
}

int LevelFromSlot(uint8_t value) {
    return (value * 100 + 127) / 255;
}
