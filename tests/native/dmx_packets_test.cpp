#include "link/dmx_frame.h"
#include "link/dmx_packets.h"
#include "link/output_settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes At(const uint8_t* data, size_t offset, size_t count) {
    return Bytes(data + offset, data + offset + count);
}

const SacnCid kCid = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87,
                      0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x0F};

TEST(DmxSlotValue, ScalesClampedLevelsRoundingHalfUp) {
    const std::pair<int32_t, int> table[] = {{0, 0},         {1, 3},          {2, 5},  {50, 128},
                                             {99, 252},      {100, 255},      {-1, 0}, {101, 255},
                                             {INT32_MIN, 0}, {INT32_MAX, 255}};
    for (auto [level, value] : table) {
        EXPECT_EQ(DmxSlotValue(level), value) << "level " << level;
    }
}

TEST(DmxFrame, CarriesTheSixteenCircuitsFromTheStartChannelAndStartsDark) {
    DmxFrame frame(5);
    EXPECT_EQ(frame.SlotCount(), 20);
    for (int slot = 1; slot <= kDmxSlotCount; ++slot) {
        ASSERT_EQ(frame.Slot(slot), 0) << "slot " << slot;
    }
    frame.Set(0, 100);
    frame.Set(15, 50);
    EXPECT_EQ(frame.Slot(5), 255);
    EXPECT_EQ(frame.Slot(20), 128);
    EXPECT_EQ(frame.Slots()[19], 128) << "Slots() starts at slot 1";
    EXPECT_EQ(frame.SlotCount(), 20);
}

TEST(DmxFrame, ACircuitBeyondFifteenExtendsThePacketAndClearShrinksItAgain) {
    DmxFrame frame;
    frame.Set(40, 0); // a dark circuit still makes the packet reach its slot
    EXPECT_EQ(frame.SlotCount(), 41);
    frame.Set(30, 100);
    EXPECT_EQ(frame.SlotCount(), 41) << "a lower circuit never shortens it";
    frame.Clear();
    EXPECT_EQ(frame.SlotCount(), 16);
    EXPECT_EQ(frame.Slot(31), 0);
    frame.Set(2, 100);
    frame.Clear();
    EXPECT_EQ(frame.Slot(3), 0);
}

TEST(DmxFrame, TheLaterOfTwoLevelsForOneCircuitWins) {
    DmxFrame frame;
    frame.Set(3, 100);
    frame.Set(3, 20);
    EXPECT_EQ(frame.Slot(4), 51);
    frame.Set(3, 0);
    EXPECT_EQ(frame.Slot(4), 0);
}

TEST(DmxFrame, CircuitsPastSlot512AreDropped) {
    DmxFrame last(512);
    EXPECT_EQ(last.SlotCount(), 512);
    last.Set(0, 100);
    last.Set(1, 100);
    last.Set(INT_MAX, 100);
    last.Set(-1, 100);
    EXPECT_EQ(last.Slot(512), 255);
    EXPECT_EQ(last.Slot(511), 0) << "a negative circuit is no circuit";
    EXPECT_EQ(last.SlotCount(), 512);

    DmxFrame near(500);
    EXPECT_EQ(near.SlotCount(), 512) << "StartChannel + 15 is capped too";
    DmxFrame first(1);
    first.Set(511, 100);
    first.Set(512, 100);
    EXPECT_EQ(first.SlotCount(), 512);
    EXPECT_EQ(first.Slot(512), 255);
}

TEST(DmxFrame, AStartChannelOutsideTheUniverseIsClamped) {
    EXPECT_EQ(DmxFrame(0).StartChannel(), 1);
    EXPECT_EQ(DmxFrame(-7).StartChannel(), 1);
    EXPECT_EQ(DmxFrame(513).StartChannel(), 512);
}

DmxFrame KnownFrame() {
    DmxFrame frame;
    frame.Set(0, 100);
    frame.Set(1, 50);
    frame.Set(15, 1);
    return frame;
}

TEST(SacnPacket, EveryFieldOfAFrameWithKnownLevels) {
    SacnPacketBuilder builder(kCid, 0x1234);
    const size_t size = builder.Build(KnownFrame());
    const uint8_t* p = builder.Data();
    ASSERT_EQ(size, 142u);
    ASSERT_EQ(builder.Size(), size);
    // Root layer.
    EXPECT_EQ(At(p, 0, 4), (Bytes{0x00, 0x10, 0x00, 0x00}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 4), 12),
              std::string("ASC-E1.17\0\0\0", 12));
    EXPECT_EQ(At(p, 16, 2), (Bytes{0x70, 0x7E})) << "flags 7, length 126";
    EXPECT_EQ(At(p, 18, 4), (Bytes{0, 0, 0, 4}));
    EXPECT_EQ(At(p, 22, 16), Bytes(kCid.begin(), kCid.end()));
    // Framing layer.
    EXPECT_EQ(At(p, 38, 2), (Bytes{0x70, 0x68})) << "flags 7, length 104";
    EXPECT_EQ(At(p, 40, 4), (Bytes{0, 0, 0, 2}));
    Bytes name(64, 0);
    std::copy_n("Twinkla", 7, name.begin());
    EXPECT_EQ(At(p, 44, 64), name);
    EXPECT_EQ(p[108], 100) << "priority";
    EXPECT_EQ(At(p, 109, 2), (Bytes{0, 0})) << "synchronization address";
    EXPECT_EQ(p[111], 0) << "first sequence number";
    EXPECT_EQ(p[112], 0) << "options";
    EXPECT_EQ(At(p, 113, 2), (Bytes{0x12, 0x34})) << "universe";
    // DMP layer.
    EXPECT_EQ(At(p, 115, 2), (Bytes{0x70, 0x1B})) << "flags 7, length 27";
    EXPECT_EQ(p[117], 0x02);
    EXPECT_EQ(p[118], 0xA1);
    EXPECT_EQ(At(p, 119, 4), (Bytes{0x00, 0x00, 0x00, 0x01})) << "first address, increment";
    EXPECT_EQ(At(p, 123, 2), (Bytes{0x00, 17})) << "start code + 16 slots";
    EXPECT_EQ(p[125], 0x00) << "start code";
    EXPECT_EQ(At(p, 126, 16), (Bytes{255, 128, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3}));
}

TEST(SacnPacket, LengthsFollowTheSlotCountBothWays) {
    SacnPacketBuilder builder(kCid, 1);
    DmxFrame frame;
    frame.Set(511, 100);
    ASSERT_EQ(builder.Build(frame), 638u);
    const uint8_t* p = builder.Data();
    EXPECT_EQ(At(p, 16, 2), (Bytes{0x72, 0x6E})) << "622";
    EXPECT_EQ(At(p, 38, 2), (Bytes{0x72, 0x58})) << "600";
    EXPECT_EQ(At(p, 115, 2), (Bytes{0x72, 0x0B})) << "523";
    EXPECT_EQ(At(p, 123, 2), (Bytes{0x02, 0x01})) << "513";
    EXPECT_EQ(p[637], 255);

    frame.Clear();
    ASSERT_EQ(builder.Build(frame), 142u);
    EXPECT_EQ(At(p, 16, 2), (Bytes{0x70, 0x7E}));
    EXPECT_EQ(At(p, 123, 2), (Bytes{0x00, 17}));
}

TEST(SacnPacket, SequenceRisesPerPacketTerminatedOnesTooAndWrapsToZero) {
    SacnPacketBuilder builder(kCid, 1);
    const DmxFrame frame;
    for (int i = 0; i < 300; ++i) {
        builder.Build(frame, i % 7 == 3);
        ASSERT_EQ(builder.Data()[111], i % 256) << "packet " << i;
    }
    EXPECT_EQ(builder.NextSequence(), 300 % 256);
}

TEST(SacnPacket, StreamTerminatedSetsOnlyTheOptionBit) {
    SacnPacketBuilder plain(kCid, 7), last(kCid, 7);
    const DmxFrame frame = KnownFrame();
    plain.Build(frame);
    last.Build(frame, true);
    Bytes a = At(plain.Data(), 0, plain.Size()), b = At(last.Data(), 0, last.Size());
    EXPECT_EQ(b[112], 0x40);
    b[112] = 0;
    EXPECT_EQ(a, b);
    plain.Build(frame);
    EXPECT_EQ(plain.Data()[112], 0) << "the bit doesn't stick";
}

TEST(SacnPacket, SourceNameIsCutToKeepItsTerminator) {
    const std::string longName(80, 'x');
    SacnPacketBuilder builder(kCid, 1, longName.c_str());
    builder.Build(DmxFrame());
    EXPECT_EQ(At(builder.Data(), 44, 63), Bytes(63, 'x'));
    EXPECT_EQ(builder.Data()[107], 0);
    EXPECT_EQ(builder.Data()[108], 100) << "the priority behind it is intact";
}

TEST(ArtDmxPacket, EveryFieldOfAFrameWithKnownLevels) {
    ArtDmxPacketBuilder builder(0x1234);
    const size_t size = builder.Build(KnownFrame());
    const uint8_t* p = builder.Data();
    ASSERT_EQ(size, 34u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), 8), std::string("Art-Net\0", 8));
    EXPECT_EQ(At(p, 8, 2), (Bytes{0x00, 0x50})) << "OpCode 0x5000, low byte first";
    EXPECT_EQ(At(p, 10, 2), (Bytes{0, 14})) << "protocol version, high byte first";
    EXPECT_EQ(p[12], 1) << "first sequence number";
    EXPECT_EQ(p[13], 0) << "physical";
    EXPECT_EQ(p[14], 0x34) << "SubUni";
    EXPECT_EQ(p[15], 0x12) << "Net";
    EXPECT_EQ(At(p, 16, 2), (Bytes{0, 16})) << "length, high byte first";
    EXPECT_EQ(At(p, 18, 16), (Bytes{255, 128, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3}));
}

TEST(ArtDmxPacket, PortAddressSplitsIntoSevenBitsOfNetAndEightOfSubUni) {
    ArtDmxPacketBuilder top(32767), high(0x8123), zero(0);
    top.Build(DmxFrame());
    high.Build(DmxFrame());
    zero.Build(DmxFrame());
    EXPECT_EQ(At(top.Data(), 14, 2), (Bytes{0xFF, 0x7F}));
    EXPECT_EQ(At(high.Data(), 14, 2), (Bytes{0x23, 0x01})) << "Net has no eighth bit";
    EXPECT_EQ(At(zero.Data(), 14, 2), (Bytes{0x00, 0x00}));
}

TEST(ArtDmxPacket, AnOddSlotCountIsPaddedWithOneZeroSlot) {
    ArtDmxPacketBuilder builder(0);
    DmxFrame wide;
    wide.Set(17, 100); // slot 18 lit in an earlier, longer packet
    ASSERT_EQ(builder.Build(wide), 18u + 18u);
    DmxFrame odd(2); // slots 1..17
    odd.Set(15, 100);
    ASSERT_EQ(builder.Build(odd), 18u + 18u);
    const uint8_t* p = builder.Data();
    EXPECT_EQ(At(p, 16, 2), (Bytes{0, 18}));
    EXPECT_EQ(p[18 + 16], 255) << "slot 17";
    EXPECT_EQ(p[18 + 17], 0) << "the pad slot";

    DmxFrame widest;
    widest.Set(503, 100); // slot 504
    widest.Set(511, 100);
    ASSERT_EQ(builder.Build(widest), 530u);
    EXPECT_EQ(At(p, 16, 2), (Bytes{0x02, 0x00}));
    odd.Set(501, 100); // slot 503
    ASSERT_EQ(builder.Build(odd), 18u + 504u);
    EXPECT_EQ(At(p, 16, 2), (Bytes{0x01, 0xF8}));
    EXPECT_EQ(p[18 + 503], 0) << "slot 504 of the longer packet is gone";
}

TEST(ArtDmxPacket, SequenceRunsOneTo255AndSkipsZero) {
    ArtDmxPacketBuilder builder(1);
    const DmxFrame frame;
    for (int i = 0; i < 600; ++i) {
        builder.Build(frame);
        ASSERT_EQ(builder.Data()[12], 1 + i % 255) << "packet " << i;
    }
}

TEST(OutputSettings, OutputNamesInAnyCaseAndSerialForAnythingElse) {
    EXPECT_EQ(ParseOutputKind("sACN"), OutputKind::Sacn);
    EXPECT_EQ(ParseOutputKind("SACN"), OutputKind::Sacn);
    EXPECT_EQ(ParseOutputKind("Art-Net"), OutputKind::ArtNet);
    EXPECT_EQ(ParseOutputKind("aRT-nET"), OutputKind::ArtNet);
    EXPECT_EQ(ParseOutputKind("serial"), OutputKind::Serial);
    for (const char* other : {"", "ArtNet", "Art Net", "sACN ", "sAC", "sACNx", "E1.31"}) {
        EXPECT_EQ(ParseOutputKind(other), OutputKind::Serial) << '"' << other << '"';
    }
    EXPECT_EQ(ParseOutputKind(nullptr), OutputKind::Serial);
    for (OutputKind kind : {OutputKind::Serial, OutputKind::Sacn, OutputKind::ArtNet}) {
        EXPECT_EQ(ParseOutputKind(OutputKindName(kind)), kind);
    }
    EXPECT_STREQ(OutputKindName(OutputKind::Sacn), "sACN");
    EXPECT_STREQ(OutputKindName(OutputKind::ArtNet), "Art-Net");
}

TEST(OutputSettings, UniverseRangesPerOutputAndTheFallback) {
    EXPECT_FALSE(IsValidUniverse(OutputKind::Sacn, 0));
    EXPECT_TRUE(IsValidUniverse(OutputKind::Sacn, 1));
    EXPECT_TRUE(IsValidUniverse(OutputKind::Sacn, 63999));
    EXPECT_FALSE(IsValidUniverse(OutputKind::Sacn, 64000));
    EXPECT_TRUE(IsValidUniverse(OutputKind::ArtNet, 0));
    EXPECT_TRUE(IsValidUniverse(OutputKind::ArtNet, 32767));
    EXPECT_FALSE(IsValidUniverse(OutputKind::ArtNet, 32768));
    EXPECT_FALSE(IsValidUniverse(OutputKind::ArtNet, 0x10000 + 5)) << "no 16-bit wrap";

    EXPECT_EQ(UniverseOrDefault(OutputKind::Sacn, std::nullopt), 1);
    EXPECT_EQ(UniverseOrDefault(OutputKind::Sacn, 0), 1);
    EXPECT_EQ(UniverseOrDefault(OutputKind::Sacn, 40000), 40000);
    EXPECT_EQ(UniverseOrDefault(OutputKind::ArtNet, 0), 0);
    EXPECT_EQ(UniverseOrDefault(OutputKind::ArtNet, 40000), 1);
    EXPECT_EQ(UniverseOrDefault(OutputKind::ArtNet, UINT32_MAX), 1);
}

TEST(OutputSettings, StartChannelIsASlotOrOne) {
    EXPECT_EQ(StartChannelOrDefault(std::nullopt), 1);
    EXPECT_EQ(StartChannelOrDefault(0), 1);
    EXPECT_EQ(StartChannelOrDefault(1), 1);
    EXPECT_EQ(StartChannelOrDefault(512), 512);
    EXPECT_EQ(StartChannelOrDefault(513), 1);
    EXPECT_EQ(StartChannelOrDefault(UINT32_MAX), 1);
}

TEST(OutputSettings, MulticastGroupOfAUniverse) {
    using Address = std::array<uint8_t, 4>;
    EXPECT_EQ(SacnMulticastGroup(1), (Address{239, 255, 0, 1}));
    EXPECT_EQ(SacnMulticastGroup(0x1234), (Address{239, 255, 0x12, 0x34}));
    EXPECT_EQ(SacnMulticastGroup(63999), (Address{239, 255, 249, 255}));
}

} // namespace
