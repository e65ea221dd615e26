#include "dmx_parser.h"

#include "link/dmx_packets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const SacnCid kCid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

DmxFrame LitFrame(int startChannel = 1) {
    DmxFrame frame(startChannel);
    for (int c = 0; c < kDmxCircuits; ++c) {
        frame.Set(c, c * 6);
    }
    return frame;
}

Bytes SacnBytes(const DmxFrame& frame = LitFrame(), bool terminated = false) {
    SacnPacketBuilder builder(kCid, 0x1234);
    builder.Build(frame, terminated);
    return Bytes(builder.Data(), builder.Data() + builder.Size());
}

Bytes ArtDmxBytes(const DmxFrame& frame = LitFrame()) {
    ArtDmxPacketBuilder builder(0x7ABC);
    builder.Build(frame);
    return Bytes(builder.Data(), builder.Data() + builder.Size());
}

Bytes Prefix(Bytes b, size_t n) {
    b.resize(n);
    return b;
}

std::string FaultOf(DmxProtocol protocol, const Bytes& b) {
    const DmxPacket p = ParseDmxPacket(protocol, b.data(), b.size());
    return p.fault != nullptr ? p.fault : "none";
}

TEST(DmxParser, ReadsTheBuildersSacnPacketFieldByField) {
    const Bytes b = SacnBytes();
    const DmxPacket p = ParseSacnPacket(b.data(), b.size());
    ASSERT_FALSE(p.Malformed()) << p.fault;
    EXPECT_EQ(p.universe, 0x1234);
    EXPECT_EQ(p.sequence, 0);
    EXPECT_EQ(p.priority, 100);
    EXPECT_EQ(p.syncAddress, 0);
    EXPECT_EQ(p.options, 0);
    EXPECT_FALSE(p.StreamTerminated());
    EXPECT_EQ(p.cid, kCid);
    EXPECT_EQ(p.sourceName, "Twinkla");
    ASSERT_EQ(p.slotCount, 16);
    for (int c = 0; c < 16; ++c) {
        EXPECT_EQ(p.slots[c], DmxSlotValue(c * 6)) << "slot " << c + 1;
    }
    EXPECT_TRUE(ParseSacnPacket(SacnBytes(LitFrame(), true).data(), b.size()).StreamTerminated());
}

TEST(DmxParser, ReadsTheBuildersArtDmxPacketWithItsPadSlot) {
    const Bytes b = ArtDmxBytes(LitFrame(2)); // 17 slots, sent as 18
    const DmxPacket p = ParseArtDmxPacket(b.data(), b.size());
    ASSERT_FALSE(p.Malformed()) << p.fault;
    EXPECT_EQ(p.universe, 0x7ABC);
    EXPECT_EQ(p.sequence, 1);
    EXPECT_EQ(p.physical, 0);
    ASSERT_EQ(p.slotCount, 18);
    EXPECT_EQ(p.slots[1], DmxSlotValue(0));
    EXPECT_EQ(p.slots[16], DmxSlotValue(90));
    EXPECT_EQ(p.slots[17], 0);
}

TEST(DmxParser, ReadsAHandMadeArtDmxPacket) {
    const Bytes b = {'A', 'r', 't', '-', 'N',  'e',  't', 0, 0x00, 0x50,
                     0,   14,  9,   3,   0x05, 0x01, 0,   2, 200,  7};
    const DmxPacket p = ParseArtDmxPacket(b.data(), b.size());
    ASSERT_FALSE(p.Malformed()) << p.fault;
    EXPECT_EQ(p.universe, 0x105);
    EXPECT_EQ(p.sequence, 9);
    EXPECT_EQ(p.physical, 3);
    EXPECT_EQ(p.slotCount, 2);
    EXPECT_EQ(p.slots[0], 200);
    EXPECT_EQ(p.slots[1], 7);
}

TEST(DmxParser, NamesTheFirstSacnFieldThatBreaksTheLayout) {
    struct Case {
        size_t offset;
        uint8_t value;
        const char* fault;
    };
    const Case cases[] = {
        {1, 0x11, "preamble"},        {3, 0x01, "postamble"},
        {4, 'a', "identifier"},       {14, 1, "identifier"},
        {16, 0x60, "root-length"},    {17, 0x7F, "root-length"},
        {21, 0x08, "root-vector"},    {22 + 16, 0x50, "framing-length"},
        {39, 0x69, "framing-length"}, {43, 0x01, "framing-vector"},
        {60, 'x', "source-name"},     {108, 201, "priority"},
        {113, 0x00, "universe"},      {113, 0xFA, "universe"},
        {116, 0x1C, "dmp-length"},    {117, 0x01, "dmp-vector"},
        {118, 0xA0, "address-type"},  {120, 0x01, "first-address"},
        {122, 0x02, "increment"},     {124, 16, "value-count"},
        {125, 0xDD, "start-code"},
    };
    for (const Case& c : cases) {
        Bytes b = SacnBytes();
        b[c.offset] = c.value;
        if (c.offset == 113) {
            b[114] = 0; // universe 0, or 0xFA00 = 64000
        }
        EXPECT_EQ(FaultOf(DmxProtocol::Sacn, b), c.fault) << "byte " << c.offset;
    }
    Bytes unterminated = SacnBytes();
    std::fill(unterminated.begin() + 44, unterminated.begin() + 108, 'n');
    EXPECT_EQ(FaultOf(DmxProtocol::Sacn, unterminated), "source-name");
}

TEST(DmxParser, SacnLengthsThatLieOrDontFit) {
    Bytes cut = SacnBytes();
    cut.pop_back(); // every length field now claims one byte too many
    EXPECT_EQ(FaultOf(DmxProtocol::Sacn, cut), "root-length");
    Bytes extra = SacnBytes();
    extra.push_back(0);
    EXPECT_EQ(FaultOf(DmxProtocol::Sacn, extra), "root-length");
    EXPECT_EQ(FaultOf(DmxProtocol::Sacn, Prefix(SacnBytes(), 125)), "short");
    DmxFrame full;
    full.Set(511, 100);
    Bytes longest = SacnBytes(full);
    EXPECT_EQ(FaultOf(DmxProtocol::Sacn, longest), "none");
    longest.push_back(0);
    EXPECT_EQ(FaultOf(DmxProtocol::Sacn, longest), "long");
    EXPECT_EQ(FaultOf(DmxProtocol::Sacn, Bytes()), "short");
}

TEST(DmxParser, NamesTheFirstArtDmxFieldThatBreaksTheLayout) {
    struct Case {
        size_t offset;
        uint8_t value;
        const char* fault;
    };
    const Case cases[] = {
        {0, 'a', "identifier"}, {7, '!', "identifier"}, {8, 0x50, "opcode"},
        {9, 0x20, "opcode"},    {10, 14, "version"},    {15, 0x80, "net"},
        {17, 15, "length"},     {16, 3, "length"},      {17, 0, "length"},
    };
    for (const Case& c : cases) {
        Bytes b = ArtDmxBytes();
        b[c.offset] = c.value;
        EXPECT_EQ(FaultOf(DmxProtocol::ArtNet, b), c.fault) << "byte " << c.offset;
    }
    Bytes swapped = ArtDmxBytes(); // OpCode and version with their bytes swapped
    std::swap(swapped[8], swapped[9]);
    EXPECT_EQ(FaultOf(DmxProtocol::ArtNet, swapped), "opcode");
    swapped = ArtDmxBytes();
    std::swap(swapped[10], swapped[11]);
    EXPECT_EQ(FaultOf(DmxProtocol::ArtNet, swapped), "version");
    Bytes cut = ArtDmxBytes();
    cut.pop_back();
    EXPECT_EQ(FaultOf(DmxProtocol::ArtNet, cut), "size");
    Bytes extra = ArtDmxBytes();
    extra.push_back(0);
    EXPECT_EQ(FaultOf(DmxProtocol::ArtNet, extra), "size");
    EXPECT_EQ(FaultOf(DmxProtocol::ArtNet, Prefix(ArtDmxBytes(), 17)), "short");
    EXPECT_EQ(FaultOf(DmxProtocol::Sacn, ArtDmxBytes()), "short") << "not an sACN packet";
    EXPECT_EQ(FaultOf(DmxProtocol::ArtNet, SacnBytes()), "identifier") << "not an ArtDmx packet";
}

// Packets with only the fields the check reads.
DmxPacket Seq(DmxProtocol protocol, uint8_t sequence, uint16_t universe = 1, uint8_t cidByte = 0,
              bool terminated = false) {
    DmxPacket p;
    p.protocol = protocol;
    p.sequence = sequence;
    p.universe = universe;
    p.cid[0] = cidByte;
    p.options = terminated ? 0x40 : 0;
    return p;
}

TEST(SequenceCheck, SacnWrapsTo0AndArtDmxTo1) {
    SequenceCheck check;
    for (int s : {254, 255, 0, 1}) {
        EXPECT_FALSE(check.Gap(Seq(DmxProtocol::Sacn, static_cast<uint8_t>(s)))) << s;
    }
    for (int s : {254, 255, 1, 2}) {
        EXPECT_FALSE(check.Gap(Seq(DmxProtocol::ArtNet, static_cast<uint8_t>(s)))) << s;
    }
    SequenceCheck artNet;
    artNet.Gap(Seq(DmxProtocol::ArtNet, 255));
    EXPECT_EQ(artNet.Gap(Seq(DmxProtocol::ArtNet, 0)), 1) << "0 is never a next number";
}

TEST(SequenceCheck, LostRepeatedAndReorderedPacketsAreGaps) {
    SequenceCheck check;
    check.Gap(Seq(DmxProtocol::Sacn, 10));
    EXPECT_EQ(check.Gap(Seq(DmxProtocol::Sacn, 12)), 11);
    EXPECT_EQ(check.Gap(Seq(DmxProtocol::Sacn, 12)), 13) << "a repeat";
    EXPECT_EQ(check.Gap(Seq(DmxProtocol::Sacn, 11)), 13) << "an old one";
    EXPECT_FALSE(check.Gap(Seq(DmxProtocol::Sacn, 12))) << "follows the last one seen";
}

TEST(SequenceCheck, EachUniverseAndSourceIsAStreamOfItsOwn) {
    SequenceCheck check;
    EXPECT_FALSE(check.Gap(Seq(DmxProtocol::Sacn, 5, 1, 0)));
    EXPECT_FALSE(check.Gap(Seq(DmxProtocol::Sacn, 90, 2, 0)));
    EXPECT_FALSE(check.Gap(Seq(DmxProtocol::Sacn, 40, 1, 7)));
    EXPECT_FALSE(check.Gap(Seq(DmxProtocol::ArtNet, 3, 1)));
    EXPECT_FALSE(check.Gap(Seq(DmxProtocol::Sacn, 6, 1, 0)));
    EXPECT_FALSE(check.Gap(Seq(DmxProtocol::Sacn, 91, 2, 0)));
    EXPECT_FALSE(check.Gap(Seq(DmxProtocol::Sacn, 41, 1, 7)));
}

TEST(SequenceCheck, TerminatedPacketsContinueTheStreamAndANewOneStartsAnywhere) {
    SequenceCheck check;
    check.Gap(Seq(DmxProtocol::Sacn, 20));
    EXPECT_FALSE(check.Gap(Seq(DmxProtocol::Sacn, 21, 1, 0, true)));
    EXPECT_EQ(check.Gap(Seq(DmxProtocol::Sacn, 23, 1, 0, true)), 22);
    EXPECT_FALSE(check.Gap(Seq(DmxProtocol::Sacn, 0))) << "a new stream";
    EXPECT_FALSE(check.Gap(Seq(DmxProtocol::Sacn, 1)));
}

TEST(LevelFromSlot, UndoesThePluginsLevelToSlotMapping) {
    for (int level = 0; level <= 100; ++level) {
        EXPECT_EQ(LevelFromSlot(DmxSlotValue(level)), level) << "level " << level;
    }
    EXPECT_EQ(LevelFromSlot(1), 0);
    EXPECT_EQ(LevelFromSlot(254), 100);
}

} // namespace
