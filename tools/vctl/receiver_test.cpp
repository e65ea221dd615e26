// What vctl logs for what arrives, read back through the reader the Windows
// tests use (tests/windows/common/vctl_log.h).
#include "receiver.h"

#include "link/dmx_packets.h"
#include "link/protocol.h"
#include "windows/common/vctl_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// A log in memory; Messages() closes it and parses every line.
class MemoryLog {
public:
    MemoryLog() : file_(open_memstream(&text_, &size_)), log_(file_) {}
    ~MemoryLog() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
        std::free(text_);
    }
    EventLog& Log() { return log_; }
    VctlMessages Messages() {
        std::fclose(file_);
        file_ = nullptr;
        VctlMessages out;
        std::istringstream in(std::string(text_, size_));
        for (std::string line; std::getline(in, line);) {
            out.push_back(ParseVctlLine(line));
        }
        return out;
    }

private:
    char* text_ = nullptr;
    size_t size_ = 0;
    FILE* file_;
    EventLog log_;
};

const SacnCid kCid = {0xC1, 0xD0};
const Stamp kAt{1000.25, 2000.5};

DmxFrame Frame(int startChannel, int base) {
    DmxFrame frame(startChannel);
    for (int c = 0; c < kDmxCircuits; ++c) {
        frame.Set(c, base + 5 * c);
    }
    return frame;
}

TEST(DmxReceiver, APacketIsOneLineAndALevelLinePerCircuitInTheReadersTerms) {
    MemoryLog memory;
    DmxReceiver receiver(DmxProtocol::Sacn, 1, memory.Log());
    SacnPacketBuilder builder(kCid, 9);
    builder.Build(Frame(1, 20));
    receiver.OnDatagram(builder.Data(), builder.Size(), "127.0.0.1:4000", "127.0.0.1", kAt);
    receiver.Summary(kAt);
    const VctlMessages m = memory.Messages();
    ASSERT_EQ(m.size(), 1u + 16u + 1u);
    EXPECT_EQ(m[0].kind, VctlMessage::Kind::Packet);
    EXPECT_EQ(m[0].fields.at("universe"), "9");
    EXPECT_EQ(m[0].fields.at("seq"), "0");
    EXPECT_EQ(m[0].fields.at("source"), "Twinkla");
    EXPECT_EQ(m[0].fields.at("cid"), "c1d0" + std::string(28, '0'));
    EXPECT_EQ(m[0].fields.at("to"), "127.0.0.1");
    const VctlMessages levels = OfKind(m, VctlMessage::Kind::Level);
    ASSERT_EQ(levels.size(), 16u);
    for (int c = 0; c < 16; ++c) {
        EXPECT_EQ(levels[c].device, 9);
        EXPECT_EQ(levels[c].channel, c);
        EXPECT_EQ(levels[c].level, 20 + 5 * c);
        EXPECT_EQ(levels[c].fields.at("slot"), std::to_string(c + 1));
    }
    for (const VctlMessage& line : m) {
        EXPECT_DOUBLE_EQ(line.timeMs, 1000.25) << line.line;
        EXPECT_DOUBLE_EQ(line.rawMs, 2000.5) << line.line;
    }
    EXPECT_EQ(m.back().line,
              "1000.250 SUMMARY packets=1 malformed=0 gaps=0 terminated=0 levels=16 raw=2000.500");
}

TEST(DmxReceiver, CircuitsComeFromTheStartChannelAsFarAsThePacketReaches) {
    MemoryLog memory;
    DmxReceiver receiver(DmxProtocol::ArtNet, 3, memory.Log());
    ArtDmxPacketBuilder builder(0x123);
    builder.Build(Frame(1, 0)); // slots 1..16: circuits 0..13 of the receiver's 16
    receiver.OnDatagram(builder.Data(), builder.Size(), "a", "b", kAt);
    const VctlMessages levels = OfKind(memory.Messages(), VctlMessage::Kind::Level);
    ASSERT_EQ(levels.size(), 14u);
    EXPECT_EQ(levels[0].device, 0x123);
    EXPECT_EQ(levels[0].fields.at("slot"), "3");
    EXPECT_EQ(levels[0].level, 10);
    EXPECT_EQ(levels[13].fields.at("slot"), "16");
}

TEST(DmxReceiver, MalformedGapsAndTerminatedPacketsAreCountedAndCarryNoLevels) {
    MemoryLog memory;
    DmxReceiver receiver(DmxProtocol::Sacn, 1, memory.Log());
    SacnPacketBuilder builder(kCid, 1);
    const DmxFrame frame = Frame(1, 0);
    auto send = [&] { receiver.OnDatagram(builder.Data(), builder.Size(), "s", "d", kAt); };
    builder.Build(frame);
    send();
    builder.Build(frame); // lost
    builder.Build(frame);
    send();
    uint8_t bad[kSacnMaxPacketSize];
    std::copy_n(builder.Data(), builder.Size(), bad);
    bad[125] = 0xDD;
    receiver.OnDatagram(bad, builder.Size(), "s", "d", kAt);
    for (int i = 0; i < 3; ++i) {
        builder.Build(frame, true);
        send();
    }
    receiver.Summary(kAt);
    const VctlMessages m = memory.Messages();
    EXPECT_EQ(CountOf(m, VctlMessage::Kind::Level), 32u);
    EXPECT_EQ(CountOf(m, VctlMessage::Kind::Packet), 2u);
    EXPECT_EQ(CountOf(m, VctlMessage::Kind::Terminated), 3u);
    const VctlMessages gaps = OfKind(m, VctlMessage::Kind::Gap);
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].fields.at("expected"), "1");
    EXPECT_EQ(gaps[0].fields.at("got"), "2");
    const VctlMessages malformed = OfKind(m, VctlMessage::Kind::Malformed);
    ASSERT_EQ(malformed.size(), 1u);
    EXPECT_EQ(malformed[0].fields.at("reason"), "start-code");
    EXPECT_EQ(malformed[0].bytes.size(), 128u) << "the first 64 bytes";
    EXPECT_EQ(m.back().fields.at("packets"), "6");
    EXPECT_EQ(m.back().fields.at("malformed"), "1");
    EXPECT_EQ(m.back().fields.at("gaps"), "1");
    EXPECT_EQ(m.back().fields.at("terminated"), "3");
}

TEST(DmxReceiver, ASourceNameKeepsToOneField) {
    MemoryLog memory;
    DmxReceiver receiver(DmxProtocol::Sacn, 1, memory.Log());
    SacnPacketBuilder builder(kCid, 1, "Twinkla on 50% \x01");
    builder.Build(DmxFrame());
    receiver.OnDatagram(builder.Data(), builder.Size(), "s", "d", kAt);
    const VctlMessages m = memory.Messages();
    EXPECT_EQ(m[0].fields.at("source"), "Twinkla%20on%2050%25%20%01");
    EXPECT_EQ(m[0].fields.at("from"), "s") << "the fields after it still parse";
}

TEST(SerialController, LinesKeepTheirFieldsAndGainTheRawClock) {
    MemoryLog memory;
    SerialController controller(memory.Log());
    StreamParser parser;
    const LevelCommand c = EncodeLevelCommand(4, 50, 7);
    parser.Feed(c.data(), c.size(), [&](const StreamEvent& e) { controller.OnEvent(e, kAt); });
    parser.Feed(KeepAliveMessage.data(), KeepAliveMessage.size(),
                [&](const StreamEvent& e) { controller.OnEvent(e, kAt); });
    controller.Summary(kAt);
    const VctlMessages m = memory.Messages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].line, "1000.250 LEVEL dev=7 ch=4 intensity=106 level=50 bytes=000703"
                         "6a8400 raw=2000.500");
    EXPECT_EQ(m[0].bytes, "0007036a8400") << "the raw field doesn't run into the bytes";
    EXPECT_EQ(m[1].kind, VctlMessage::Kind::KeepAlive);
    EXPECT_EQ(m[2].line, "1000.250 SUMMARY commands=1 keepalives=1 framing=0 raw=2000.500");
}

TEST(StampNow, TakesTheMonotonicClockAndTheRawOne) {
    timespec before[2], after[2];
    clock_gettime(CLOCK_MONOTONIC, &before[0]);
    clock_gettime(CLOCK_MONOTONIC_RAW, &before[1]);
    const Stamp at = StampNow();
    clock_gettime(CLOCK_MONOTONIC, &after[0]);
    clock_gettime(CLOCK_MONOTONIC_RAW, &after[1]);
    auto ms = [](const timespec& t) { return t.tv_sec * 1000.0 + t.tv_nsec / 1e6; };
    EXPECT_LE(ms(before[0]), at.monoMs);
    EXPECT_GE(ms(after[0]), at.monoMs);
    EXPECT_LE(ms(before[1]), at.rawMs);
    EXPECT_GE(ms(after[1]), at.rawMs);
}

} // namespace
