// The platform-free side of the network outputs: when packets go and what
// their slots hold, which addresses are taken, and the words for the state.

#include "config/dialog_values.h"
#include "link/link_settings.h"
#include "link/level_sink.h"
#include "link/network_schedule.h"
#include "link/output_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr Micros kMs = 1000;

// The slots a packet would carry now.
std::vector<uint8_t> Slots(const NetworkSchedule& schedule, int startChannel = 1) {
    DmxFrame frame(startChannel);
    schedule.Fill(frame);
    return std::vector<uint8_t>(frame.Slots(), frame.Slots() + frame.SlotCount());
}

std::vector<uint8_t> Dark(size_t count = 16) {
    return std::vector<uint8_t>(count, 0);
}

TEST(NetworkSchedule, EachFrameIsOnePacketThatStartsDarkAndALevelOutsideAFrameAmendsIt) {
    NetworkSchedule s;
    EXPECT_FALSE(s.Take(0).send) << "nothing to send before the first frame";
    EXPECT_EQ(s.Take(0).wakeAt, kNever);

    const CircuitLevel first[] = {{0, 100}, {3, 50}, {3, 20}, {15, 1}};
    s.Submit(first, 4, true, 10 * kMs);
    EXPECT_TRUE(s.Take(10 * kMs).send);
    std::vector<uint8_t> expected = Dark();
    expected[0] = 255;
    expected[3] = 51; // the later of two levels for one circuit
    expected[15] = 3;
    EXPECT_EQ(Slots(s), expected);
    EXPECT_FALSE(s.Take(10 * kMs).send) << "one packet per frame";

    const CircuitLevel second[] = {{1, 100}};
    s.Submit(second, 1, true, 20 * kMs);
    const CircuitLevel click = {6, 100};
    s.Submit(&click, 1, false, 21 * kMs);
    EXPECT_TRUE(s.Take(30 * kMs).send);
    expected = Dark();
    expected[1] = 255;
    EXPECT_EQ(Slots(s), expected) << "a frame lights only its own circuits";
    EXPECT_TRUE(s.Take(30 * kMs).send) << "the click is a packet of its own";
    expected[6] = 255;
    EXPECT_EQ(Slots(s), expected);
    EXPECT_FALSE(s.Take(30 * kMs).send);

    s.Submit(nullptr, 0, true, 40 * kMs);
    EXPECT_TRUE(s.Take(40 * kMs).send);
    EXPECT_EQ(Slots(s), Dark()) << "a frame with nothing enabled is dark";
}

TEST(NetworkSchedule, CircuitsBeyondTheSixteenWidenThePacketAndOthersAreDropped) {
    NetworkSchedule s;
    const CircuitLevel levels[] = {{40, 100}, {-1, 100}, {256, 100}, {kNoCircuit, 0}};
    s.Submit(levels, 4, true, 0);
    ASSERT_TRUE(s.Take(0).send);
    std::vector<uint8_t> expected = Dark(43);
    expected[42] = 255;
    EXPECT_EQ(Slots(s, 3), expected) << "circuit 40 from start channel 3 is slot 43";
    EXPECT_EQ(Slots(s, 480), Dark(495)) << "slot 520 falls past the universe: dropped";
}

TEST(NetworkSchedule, TheLastFrameGoesAgainOnceASecondUntilAnotherComes) {
    NetworkSchedule s;
    const CircuitLevel level = {2, 60};
    s.Submit(&level, 1, true, 0);
    ASSERT_TRUE(s.Take(0).send);
    const NetworkSchedule::Next idle = s.Take(500 * kMs);
    EXPECT_FALSE(idle.send);
    EXPECT_EQ(idle.wakeAt, 1000 * kMs);
    EXPECT_TRUE(s.Take(1000 * kMs).send);
    EXPECT_EQ(Slots(s)[2], 153);
    EXPECT_EQ(s.Take(1500 * kMs).wakeAt, 2000 * kMs) << "counted from the resend";

    s.Submit(&level, 1, true, 1800 * kMs);
    EXPECT_TRUE(s.Take(1800 * kMs).send);
    EXPECT_EQ(s.Take(1900 * kMs).wakeAt, 2800 * kMs) << "a frame puts the resend off";

    s.Forget();
    EXPECT_FALSE(s.Take(5000 * kMs).send);
    EXPECT_EQ(s.Take(5000 * kMs).wakeAt, kNever);
    EXPECT_FALSE(s.HasFrame());
}

TEST(NetworkSchedule, TheLightDelayHoldsEachFrameBackAndClosingSendsWhatWaitsInOnePacket) {
    NetworkSchedule s;
    s.SetDelay(200 * kMs);
    for (int f = 0; f < 3; ++f) {
        const CircuitLevel level = {f, 100};
        s.Submit(&level, 1, true, f * 33 * kMs);
    }
    NetworkSchedule::Next next = s.Take(100 * kMs);
    EXPECT_FALSE(next.send);
    EXPECT_EQ(next.wakeAt, 200 * kMs);
    EXPECT_TRUE(s.Take(200 * kMs).send);
    EXPECT_EQ(Slots(s)[0], 255);
    EXPECT_FALSE(s.Take(232 * kMs).send);
    EXPECT_TRUE(s.Take(233 * kMs).send);
    EXPECT_EQ(Slots(s)[1], 255);

    const CircuitLevel amend = {9, 100};
    s.Submit(&amend, 1, false, 240 * kMs);
    EXPECT_TRUE(s.Take(240 * kMs, true).send) << "closing: everything delayed is due";
    std::vector<uint8_t> expected = Dark();
    expected[2] = expected[9] = 255;
    EXPECT_EQ(Slots(s), expected);
    EXPECT_EQ(s.Delayed().Size(), 0u);
}

TEST(NetworkSchedule, FramesFasterThanTheDelayCanHoldStayInFixedMemoryAndNoneIsLost) {
    NetworkSchedule s;
    s.SetDelay(2000 * kMs);
    constexpr int kFrames = 5000; // 2.5 times what the ring holds
    int sent = 0;
    for (int f = 0; f < kFrames; ++f) {
        const CircuitLevel level = {f % 16, f % 101};
        s.Submit(&level, 1, true, f * 100); // 10,000 frames a second
        ASSERT_LE(s.Delayed().Size(), DelayLine::kCapacity);
        sent += s.Take(f * 100).send;
    }
    EXPECT_EQ(sent, 0) << "nothing is due yet";
    while (s.Take(10'000 * kMs).send) {
        ++sent;
    }
    EXPECT_EQ(Slots(s)[(kFrames - 1) % 16], DmxSlotValue((kFrames - 1) % 101))
        << "the newest frame's level is the last sent";
    EXPECT_GT(sent, static_cast<int>(DelayLine::kCapacity) - 2);
}

TEST(OutputAddress, EmptyAnIpv4AddressOrAHostName) {
    for (const char* good :
         {"", "10.0.0.5", "255.255.255.255", "0.0.0.0", "192.168.001.010", "localhost",
          "lights-1.example.org", "DMX_Node", "a.b.c.", "xn--bcher-kva.example"}) {
        EXPECT_TRUE(IsValidOutputAddress(good)) << good;
    }
    const std::string label63(63, 'a');
    EXPECT_TRUE(IsValidOutputAddress((label63 + ".b").c_str()));
    EXPECT_FALSE(IsValidOutputAddress((label63 + "a.b").c_str())) << "a label of 64";
    std::string name253;
    while (name253.size() < 253) {
        name253 += name253.empty() ? "a" : ".a";
    }
    EXPECT_TRUE(IsValidOutputAddress(name253.c_str()));
    EXPECT_FALSE(IsValidOutputAddress((name253 + "a").c_str())) << "254 characters";
    for (const char* bad :
         {"10.0.0.256", "10.0.0", "10.0.0.5.6", "1..2.3", "10.0.0.0005", " 10.0.0.5", "my lights",
          "-lights", "lights-", "a..b", ".a", "lights:5568", "10.0.0.5/24", "ümlaut"}) {
        EXPECT_FALSE(IsValidOutputAddress(bad)) << bad;
    }
    EXPECT_FALSE(IsValidOutputAddress(nullptr));
    char unterminated[kOutputAddressSize];
    std::memset(unterminated, 'a', sizeof unterminated);
    EXPECT_FALSE(IsValidOutputAddress(unterminated));

    std::array<uint8_t, 4> ip{};
    ASSERT_TRUE(ParseIpv4("192.168.001.010", ip));
    EXPECT_EQ(ip, (std::array<uint8_t, 4>{192, 168, 1, 10})) << "leading zeros are decimal";
    EXPECT_FALSE(ParseIpv4("lights", ip));
    EXPECT_EQ(ip, (std::array<uint8_t, 4>{192, 168, 1, 10})) << "untouched when refused";
}

TEST(OutputSettings, WhatEachOutputAccepts) {
    LinkSettings s;
    std::strcpy(s.PortName, "COM3");
    s.DeviceId = 0;
    EXPECT_FALSE(AcceptsOutput(s)) << "Serial needs a device id";
    s.Output = OutputKind::Sacn;
    EXPECT_TRUE(AcceptsOutput(s)) << "the network outputs don't use it";
    s.Universe = 0;
    EXPECT_FALSE(AcceptsOutput(s));
    s.Output = OutputKind::ArtNet;
    EXPECT_TRUE(AcceptsOutput(s));
    s.StartChannel = 513;
    EXPECT_FALSE(AcceptsOutput(s));
    s.StartChannel = 512;
    std::strcpy(s.OutputAddress, "not an address");
    EXPECT_FALSE(AcceptsOutput(s));
}

std::string State(const LinkSettings& s, OutputHealth health, size_t size = 300) {
    std::vector<char> text(size, '#');
    FormatOutputState(s, health, text.data(), size);
    return text.data();
}

TEST(OutputState, PlainWordsForEveryOutputAndFailure) {
    LinkSettings s;
    std::strcpy(s.PortName, "COM3");
    EXPECT_EQ(State(s, OutputHealth::Working), "port COM3");
    EXPECT_EQ(State(s, OutputHealth::Closed), "port COM3 can't be opened");

    s.Output = OutputKind::Sacn;
    std::strcpy(s.OutputAddress, "10.0.0.5");
    EXPECT_EQ(State(s, OutputHealth::Working), "sACN to 10.0.0.5 universe 1");
    EXPECT_EQ(State(s, OutputHealth::SendFailed), "sACN: can't send to 10.0.0.5 (no network?)");
    std::strcpy(s.OutputAddress, "foo");
    EXPECT_EQ(State(s, OutputHealth::LookingUp), "sACN: looking up the receiver \"foo\"");
    EXPECT_EQ(State(s, OutputHealth::NameNotFound), "sACN: can't find the receiver \"foo\"");
    EXPECT_EQ(State(s, OutputHealth::NoNetworking),
              "sACN: the computer's networking can't be used");
    s.OutputAddress[0] = '\0';
    s.Universe = 63999;
    EXPECT_EQ(State(s, OutputHealth::Working), "sACN multicast universe 63999");

    s.Output = OutputKind::ArtNet;
    s.Universe = 0;
    EXPECT_EQ(State(s, OutputHealth::Working), "Art-Net broadcast port-address 0");
    EXPECT_EQ(State(s, OutputHealth::SendFailed), "Art-Net: can't send broadcast (no network?)");
    EXPECT_EQ(State(s, OutputHealth::Working, 8), "Art-Net") << "cut to the room given";

    EXPECT_FALSE(IsOutputProblem(OutputHealth::Working));
    EXPECT_FALSE(IsOutputProblem(OutputHealth::LookingUp));
    EXPECT_TRUE(IsOutputProblem(OutputHealth::NameNotFound));
}

TEST(OutputDialogValues, TheListTheCaptionsAndWhatTheFieldsRefuse) {
    for (int i = 0; i < kOutputKindCount; ++i) {
        EXPECT_EQ(OutputKindPosition(OutputKindAt(i)), i);
    }
    EXPECT_EQ(OutputKindAt(1), OutputKind::Sacn);
    EXPECT_EQ(OutputKindAt(-1), OutputKind::Serial) << "no selection";
    EXPECT_STREQ(UniverseCaption(OutputKind::ArtNet), "Port-address");
    EXPECT_STREQ(UniverseCaption(OutputKind::Sacn), "Universe");

    const auto problem = [](OutputKind kind, const char* address, int universe, int start) {
        const char* p =
            OutputFieldsProblem(kind, address, universe >= 0, static_cast<uint32_t>(universe),
                                start >= 0, static_cast<uint32_t>(start));
        return std::string(p != nullptr ? p : "");
    };
    const auto S = OutputKind::Sacn;
    const auto A = OutputKind::ArtNet;
    EXPECT_EQ(problem(S, "10.0.0.5", 1, 1), "");
    EXPECT_EQ(problem(A, "", 0, 512), "");
    EXPECT_EQ(problem(OutputKind::Serial, "not checked", -1, -1), "");
    EXPECT_EQ(problem(S, "10.0.0.300", 1, 1),
              "The address must be an IPv4 address or a host name.");
    EXPECT_EQ(problem(S, std::string(254, 'a').c_str(), 1, 1), "The address is too long.");
    EXPECT_EQ(problem(S, "", 0, 1), "The universe must be 1 to 63999.");
    EXPECT_EQ(problem(S, "", -1, 1), "The universe must be 1 to 63999.") << "not a number";
    EXPECT_EQ(problem(A, "", 32768, 1), "The port-address must be 0 to 32767.");
    EXPECT_EQ(problem(A, "", 0, 0), "The start channel must be 1 to 512.");
    EXPECT_EQ(problem(S, "", 1, 513), "The start channel must be 1 to 512.");

    char text[] = " \t lights.local  ";
    TrimSpaces(text);
    EXPECT_STREQ(text, "lights.local");
    char blank[] = "   ";
    TrimSpaces(blank);
    EXPECT_STREQ(blank, "");
}

} // namespace
