// ControllerLink against the virtual controller on a pseudo-terminal. Run
// through tools/with-vctl, which maps the test ports to the controller.
//
// Not shown here: a port held by another program. Wine doesn't enforce
// exclusive sharing on serial devices (a second CreateFileA on the same port
// succeeds), so the failure path of Open is covered with a port that doesn't
// exist instead.

#include "link/win32/controller_link.h"
#include "link_test_support.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace {

using Kind = VctlMessage::Kind;

constexpr const char* kMissingPort = "COM77"; // mapped by nobody

// The port from TWINKLA_TEST_PORTS numbered 10 or above.
std::string HighNumberedPort() {
    const char* ports = std::getenv("TWINKLA_TEST_PORTS");
    std::istringstream in(ports != nullptr ? ports : "");
    for (std::string port; in >> port;) {
        if (std::atoi(port.c_str() + 3) >= 10) {
            return port;
        }
    }
    return "";
}

TEST_F(LinkTest, OpenRefusesIdsOutsideOneTo255AndChangesNothing) {
    ControllerLink link;
    // 257 and 2^32-1 would pass a check of the low byte only.
    const uint32_t badIds[] = {0, 256, 257, 0xFFFFFFFFu};
    for (uint32_t id : badIds) {
        EXPECT_FALSE(link.Open(port_.c_str(), id)) << id;
    }
    EXPECT_FALSE(link.IsOpen());
    EXPECT_STREQ(link.PortName, "");
    EXPECT_EQ(link.DeviceId, 0);

    ASSERT_TRUE(link.Open(port_.c_str(), 7));
    for (uint32_t id : badIds) {
        EXPECT_FALSE(link.Open(kMissingPort, id)) << id;
    }
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.PortName, port_);
    EXPECT_EQ(link.DeviceId, 7);

    const size_t mark = log_.Mark();
    link.SetLevel(0, 100);
    ASSERT_TRUE(log_.WaitForCount(mark, Kind::Level, 1, 2000)) << "the open port stopped working";
    EXPECT_EQ(OfKind(log_.Since(mark), Kind::Level)[0].device, 7);
}

TEST_F(LinkTest, OpenRefusesANameTooLongForPortNameAndChangesNothing) {
    ControllerLink link;
    ASSERT_TRUE(link.Open(port_.c_str(), 4));
    const std::string twenty = "COM1" + std::string(16, '0');
    EXPECT_FALSE(link.Open(twenty.c_str(), 5));
    EXPECT_FALSE(link.Open(nullptr, 5));
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.PortName, port_);
    EXPECT_EQ(link.DeviceId, 4);

    // Nineteen characters fit: the name is recorded, and this one doesn't open.
    const std::string nineteen = "COM9" + std::string(15, '9');
    EXPECT_FALSE(link.Open(nineteen.c_str(), 5));
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.PortName, nineteen);
    EXPECT_EQ(link.DeviceId, 5);
}

TEST_F(LinkTest, AMissingPortClosesTheOpenOneAndRecordsTheTriedNameAndId) {
    ControllerLink link;
    ASSERT_TRUE(link.Open(port_.c_str(), 1));
    EXPECT_FALSE(link.Open(kMissingPort, 9));
    EXPECT_FALSE(link.IsOpen());
    EXPECT_STREQ(link.PortName, kMissingPort);
    EXPECT_EQ(link.DeviceId, 9);

    // A thread that starts late writes its first keep-alive as soon as it
    // finds the port open, which may be just before the failed Open closed
    // it: let what went out before the close arrive, then watch.
    ::Sleep(100);
    const size_t mark = log_.Mark();

    // Closed: neither commands nor keep-alives go out, over two keep-alive periods.
    link.SetLevel(0, 50);
    EXPECT_TRUE(ArrivedWithin(mark, 1200).empty());
}

TEST_F(LinkTest, ReopeningTheSamePortWorksAndUsesTheNewId) {
    ControllerLink link;
    ASSERT_TRUE(link.Open(port_.c_str(), 1));
    ASSERT_TRUE(link.Open(port_.c_str(), 2));
    EXPECT_TRUE(link.IsOpen());
    const size_t mark = log_.Mark();
    link.SetLevel(3, 75);
    ASSERT_TRUE(log_.WaitForCount(mark, Kind::Level, 1, 2000));
    const VctlMessage m = OfKind(log_.Since(mark), Kind::Level)[0];
    EXPECT_EQ(m.device, 2);
    EXPECT_EQ(m.channel, 3);
    EXPECT_EQ(m.level, 75);
}

// On a pseudo-terminal only the baud rate and the stop bits survive a round
// trip (Linux forces 8 data bits and no parity, and RTS can't be read back),
// so the stop bits stand for "the other settings are left as they were".
TEST_F(LinkTest, OpenSetsTheBaudRateAndKeepsTheOtherLineSettings) {
    for (BYTE stopBits : {TWOSTOPBITS, ONESTOPBIT}) {
        {
            UniqueFile before = OpenPortDirectly(port_);
            ASSERT_TRUE(before);
            DCB dcb = {};
            dcb.DCBlength = sizeof dcb;
            ASSERT_TRUE(::GetCommState(before.get(), &dcb));
            dcb.BaudRate = CBR_9600;
            dcb.StopBits = stopBits;
            ASSERT_TRUE(::SetCommState(before.get(), &dcb));
        }
        ControllerLink link;
        ASSERT_TRUE(link.Open(port_.c_str(), 1));

        UniqueFile after = OpenPortDirectly(port_);
        ASSERT_TRUE(after);
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(::GetCommState(after.get(), &dcb));
        EXPECT_EQ(dcb.BaudRate, static_cast<DWORD>(CBR_115200));
        EXPECT_EQ(dcb.StopBits, stopBits);
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, NOPARITY);
    }
}

TEST_F(LinkTest, PortsFromCom10OnOpenWhilePortNameKeepsTheTypedName) {
    const std::string port = HighNumberedPort();
    ASSERT_FALSE(port.empty()) << "with-vctl must map a port numbered 10 or above too";
    // The bare name is no device to CreateFileA: this is what the prefix is for.
    UniqueFile bare(::CreateFileA(port.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(bare);

    ControllerLink link;
    ASSERT_TRUE(link.Open(port.c_str(), 3));
    EXPECT_EQ(link.PortName, port);
    const size_t mark = log_.Mark();
    link.SetLevel(1, 0);
    ASSERT_TRUE(log_.WaitForCount(mark, Kind::Level, 1, 2000));
    EXPECT_EQ(OfKind(log_.Since(mark), Kind::Level)[0].bytes, "000303d38100");
}

TEST_F(LinkTest, AfterCloseNothingIsWritten) {
    ControllerLink link;
    ASSERT_TRUE(link.Open(port_.c_str(), 1));
    size_t mark = log_.Mark();
    link.SetLevel(0, 10);
    ASSERT_TRUE(log_.WaitForCount(mark, Kind::Level, 1, 2000));

    link.Close();
    EXPECT_FALSE(link.IsOpen());
    ::Sleep(100); // what went out before the close arrives first
    mark = log_.Mark();
    link.SetLevel(0, 20);
    link.SetLevel(15, 0);
    EXPECT_TRUE(ArrivedWithin(mark, 1200).empty());
}

TEST_F(LinkTest, SetLevelWritesTheSixCommandBytes) {
    ControllerLink link;
    ASSERT_TRUE(link.Open(port_.c_str(), 1));
    const size_t mark = log_.Mark();
    // Each on the line before the next: a level still waiting would be
    // replaced by a newer one for its circuit.
    link.SetLevel(2, 50);
    ASSERT_TRUE(log_.WaitForCount(mark, Kind::Level, 1, 2000));
    // The settings load writes DeviceId directly; the next command uses it.
    link.DeviceId = 255;
    link.SetLevel(15, 150);
    ASSERT_TRUE(log_.WaitForCount(mark, Kind::Level, 2, 2000));
    // And back: each command takes the id of its moment.
    link.DeviceId = 1;
    link.SetLevel(2, 50);
    ASSERT_TRUE(log_.WaitForCount(mark, Kind::Level, 3, 2000));
    const VctlMessages got = log_.Since(mark);
    const VctlMessages levels = OfKind(got, Kind::Level);
    EXPECT_EQ(levels[0].bytes, "0001036a8200");
    EXPECT_EQ(levels[1].bytes, "00ff03018f00");
    EXPECT_EQ(levels[2].bytes, "0001036a8200");
    EXPECT_EQ(CountOf(got, Kind::Framing), 0u);
}

TEST_F(LinkTest, CloseWritesWhatWaitsDelayedFramesIncludedBeforeItReturns) {
    ControllerLink link;
    LinkSettings settings;
    std::strcpy(settings.PortName, port_.c_str());
    settings.DeviceId = 3;
    settings.LightDelayMs = 2000;
    ASSERT_TRUE(link.Open(settings));
    const size_t mark = log_.Mark();
    ChannelLevel frame[16];
    for (int k = 0; k < 5; ++k) {
        for (int c = 0; c < 16; ++c) {
            frame[c] = {c, k * 10 + c, c};
        }
        link.SendFrame(frame, 16);
    }
    EXPECT_TRUE(ArrivedWithin(mark, 200).empty()) << "held back by the delay";
    const double start = NowMs();
    link.Close();
    const double took = NowMs() - start;
    ASSERT_TRUE(log_.WaitForCount(mark, Kind::Level, 5 * 16, 2000));
    const VctlMessages levels = OfKind(log_.Since(mark), Kind::Level);
    ASSERT_EQ(levels.size(), 5u * 16);
    for (size_t i = 0; i < levels.size(); ++i) {
        EXPECT_EQ(levels[i].level, static_cast<int>(i / 16 * 10 + i % 16)) << "in frame order";
    }
    EXPECT_LT(took, 1000);
}

// Commands handed over faster than the line takes them merge per circuit:
// every message arrives whole, each circuit ends with the newest level of
// each burst, and keep-alives go out between the bursts from the same thread.
TEST_F(LinkTest, BurstsFasterThanTheLineArriveWholeAndEndWithTheNewestLevels) {
    constexpr int kBursts = 10, kPerBurst = 1000;
    ControllerLink link;
    ASSERT_TRUE(link.Open(port_.c_str(), 9));
    size_t total = 0;
    double sending = 0;
    for (int burst = 0; burst < kBursts; ++burst) {
        const size_t mark = log_.Mark();
        const double start = NowMs();
        int newest[16];
        for (int i = burst * kPerBurst; i < (burst + 1) * kPerBurst; ++i) {
            link.SetLevel(i % 16, i % 101);
            newest[i % 16] = i % 101;
        }
        sending += NowMs() - start;
        // Quiet once a keep-alive follows the burst.
        ASSERT_TRUE(log_.WaitForCount(mark, Kind::KeepAlive, 1, 3000)) << "burst " << burst;
        const VctlMessages got = log_.Since(mark);
        EXPECT_EQ(CountOf(got, Kind::Framing), 0u) << "burst " << burst;
        const VctlMessages levels = OfKind(got, Kind::Level);
        ASSERT_GE(levels.size(), 16u);
        ASSERT_LE(levels.size(), static_cast<size_t>(kPerBurst));
        int last[16];
        std::fill(std::begin(last), std::end(last), -1);
        for (const VctlMessage& m : levels) {
            ASSERT_EQ(m.device, 9);
            last[m.channel] = m.level;
        }
        for (int c = 0; c < 16; ++c) {
            EXPECT_EQ(last[c], newest[c]) << "burst " << burst << " circuit " << c;
        }
        total += levels.size();
    }
    LINK_REPORT("%d levels handed over in %.1f ms (%.1f us each); %zu reached the line",
                kBursts * kPerBurst, sending, sending * 1000 / (kBursts * kPerBurst), total);
}

// Whatever paces the engine, a keep-alive never goes out while levels keep
// coming, and comes 500 ms after the last one: there is only one writer.
TEST_F(LinkTest, NoKeepAliveWhileLevelsKeepComingWhateverPacesTheEngine) {
    for (const auto pacing :
         {ControllerLink::Pacing::StopEventTimeout, ControllerLink::Pacing::WaitableTimer}) {
        ControllerLink link(pacing);
        ASSERT_TRUE(link.Open(port_.c_str(), 1));
        ::Sleep(100);
        const size_t mark = log_.Mark();
        const double start = NowMs();
        int sent = 0;
        while (NowMs() - start < 1600) {
            link.SetLevel(sent % 16, sent % 101);
            ++sent;
            ::Sleep(sent % 8 == 0 ? 5 : 0);
        }
        ASSERT_TRUE(log_.WaitForCount(mark, Kind::KeepAlive, 1, 3000));
        const VctlMessages got = log_.Since(mark);
        EXPECT_EQ(CountOf(got, Kind::Framing), 0u);
        const VctlMessages keepAlives = OfKind(got, Kind::KeepAlive);
        const VctlMessages levels = OfKind(got, Kind::Level);
        ASSERT_FALSE(levels.empty());
        EXPECT_GT(keepAlives[0].timeMs, levels.back().timeMs) << "a keep-alive among the levels";
        EXPECT_NEAR(keepAlives[0].timeMs - levels.back().timeMs, 500, 80);
        LINK_REPORT("%d levels handed over in 1600 ms, %zu reached the line", sent, levels.size());
    }
}

} // namespace
