// ControllerLink against the virtual controller on a pseudo-terminal. Run
// through tools/with-vctl, which maps the test ports to the controller.
//
// Not shown here: a port held by another program. Wine doesn't enforce
// exclusive sharing on serial devices (a second CreateFileA on the same port
// succeeds), so the failure path of Open is covered with a port that doesn't
// exist instead.

#include "link/win32/controller_link.h"
#include "link_test_support.h"

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
    link.SetLevel(2, 50);
    // The settings load writes DeviceId directly; the next command uses it.
    link.DeviceId = 255;
    link.SetLevel(15, 150);
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

// Every command arrives, whole and in order, while keep-alives go out from
// the link's thread in between. Batches end with a pause of about 500 ms, so
// the keep-alive falls due just as the next batch starts writing.
TEST_F(LinkTest, TenThousandCommandsBesideKeepAlivesArriveWhole) {
    constexpr int kBatches = 10, kPerBatch = 1000;
    ControllerLink link;
    ASSERT_TRUE(link.Open(port_.c_str(), 9));
    const size_t mark = log_.Mark();
    double sending = 0;
    for (int batch = 0; batch < kBatches; ++batch) {
        const double start = NowMs();
        for (int i = batch * kPerBatch; i < (batch + 1) * kPerBatch; ++i) {
            link.SetLevel(i % 16, i % 101);
        }
        sending += NowMs() - start;
        ::Sleep(490 + batch * 2);
    }
    const size_t total = kBatches * kPerBatch;
    ASSERT_TRUE(log_.WaitForCount(mark, Kind::Level, total, 10000));
    const VctlMessages got = log_.Since(mark);
    EXPECT_EQ(CountOf(got, Kind::Framing), 0u);
    EXPECT_GE(CountOf(got, Kind::KeepAlive), 3u) << "keep-alives did not run beside the commands";
    const VctlMessages levels = OfKind(got, Kind::Level);
    ASSERT_EQ(levels.size(), total);
    for (size_t i = 0; i < total; ++i) {
        ASSERT_EQ(levels[i].channel, static_cast<int>(i % 16)) << "command " << i;
        ASSERT_EQ(levels[i].level, static_cast<int>(i % 101)) << "command " << i;
        ASSERT_EQ(levels[i].device, 9) << "command " << i;
    }
    LINK_REPORT("%zu commands: %.0f ms of sending (%.1f us each), %zu keep-alives between", total,
                sending, sending * 1000 / total, CountOf(got, Kind::KeepAlive));
}

// Without a timer a command doesn't push the keep-alive back, so keep-alives
// fall due in the middle of a steady stream of commands: the lock alone keeps
// the two writers' messages apart.
TEST_F(LinkTest, KeepAlivesDueMidStreamNeverTearACommand) {
    ControllerLink link(ControllerLink::Pacing::StopEventTimeout);
    ASSERT_TRUE(link.Open(port_.c_str(), 1));
    const size_t mark = log_.Mark();
    const double start = NowMs();
    int sent = 0;
    while (NowMs() - start < 2600) {
        link.SetLevel(sent % 16, sent % 101);
        ++sent;
    }
    ASSERT_TRUE(log_.WaitForCount(mark, Kind::Level, static_cast<size_t>(sent), 10000));
    const VctlMessages got = log_.Since(mark);
    EXPECT_EQ(CountOf(got, Kind::Framing), 0u);
    const VctlMessages levels = OfKind(got, Kind::Level);
    ASSERT_EQ(levels.size(), static_cast<size_t>(sent));
    size_t between = 0; // keep-alives with commands on both sides
    for (size_t i = 1; i + 1 < got.size(); ++i) {
        between += got[i].kind == Kind::KeepAlive && got[i - 1].kind == Kind::Level &&
                   got[i + 1].kind == Kind::Level;
    }
    EXPECT_GE(between, 4u);
    LINK_REPORT("%d commands in 2600 ms with %zu keep-alives among them", sent, between);
}

} // namespace
