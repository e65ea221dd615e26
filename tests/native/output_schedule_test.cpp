#include "simulated_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

constexpr Micros kMs = 1000;

std::vector<LineMessage> Commands(const std::vector<LineMessage>& all) {
    std::vector<LineMessage> out;
    std::copy_if(all.begin(), all.end(), std::back_inserter(out),
                 [](const LineMessage& m) { return !m.keepAlive; });
    return out;
}

std::vector<Micros> KeepAliveTimes(const std::vector<LineMessage>& all) {
    std::vector<Micros> out;
    for (const LineMessage& m : all) {
        if (m.keepAlive) {
            out.push_back(m.arrived);
        }
    }
    return out;
}

TEST(SerialSchedule, WhileTheLineKeepsUpEveryCommandGoesOutInOrderAndNoKeepAlive) {
    SimulatedLine line;
    std::vector<LevelCommand> sent;
    for (int f = 0; f < 90; ++f) { // 3 s at 30 frames a second
        const auto frame = FullFrame(f);
        sent.insert(sent.end(), frame.begin(), frame.end());
        line.Frame(f * 33'333, frame);
    }
    line.RunUntil(3'600 * kMs);
    const auto commands = Commands(line.received);
    ASSERT_EQ(commands.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        ASSERT_EQ(commands[i].command, sent[i]) << "command " << i;
    }
    EXPECT_EQ(line.schedule.Pending().Replaced(), 0u);
    // The first keep-alive is due 500 ms after the last command was written.
    const auto keepAlives = KeepAliveTimes(line.received);
    ASSERT_FALSE(keepAlives.empty());
    EXPECT_EQ(keepAlives.front() - 5 * SimulatedLine::kByteUs,
              commands.back().arrived + kKeepAlivePeriodUs);
}

TEST(SerialSchedule, KeepAlivesComeEvery500msWhileIdleAndACommandPushesTheNextOne) {
    SimulatedLine line;
    line.RunUntil(1'600 * kMs);
    EXPECT_EQ(KeepAliveTimes(line.received).size(), 3u); // due at 500, 1000 and 1500 ms
    line.schedule.Submit(FullFrame(0).data(), 1, false, line.Now());
    line.RunUntil(3'000 * kMs);
    const auto keepAlives = KeepAliveTimes(line.received);
    const Micros command = Commands(line.received).at(0).arrived;
    ASSERT_GE(keepAlives.size(), 4u);
    EXPECT_EQ(keepAlives[3] - 5 * SimulatedLine::kByteUs, command + kKeepAlivePeriodUs);
    for (size_t i = 4; i < keepAlives.size(); ++i) {
        EXPECT_EQ(keepAlives[i] - keepAlives[i - 1], kKeepAlivePeriodUs);
    }
}

TEST(SerialSchedule, FramesFasterThanTheLineMergeToTheNewestLevelWithBoundedAge) {
    for (const Micros period : {4'167, 2'000, 100}) { // 240, 500 and 10,000 frames a second
        SimulatedLine line;
        int frames = 0;
        for (Micros t = 0; t < 2'000 * kMs; t += period, ++frames) {
            line.Frame(t, FullFrame(frames));
            EXPECT_LE(line.schedule.Pending().Size(), 16u);
        }
        line.RunUntil(2'100 * kMs);
        const auto commands = Commands(line.received);
        EXPECT_GT(line.schedule.Pending().Replaced(), 0u);
        // Each circuit ends with the newest frame's level.
        std::map<uint8_t, uint8_t> last;
        for (const LineMessage& m : commands) {
            last[CircuitOf(m.command)] = m.command[3];
        }
        const auto newest = FullFrame(frames - 1);
        ASSERT_EQ(last.size(), 16u);
        for (const LevelCommand& c : newest) {
            EXPECT_EQ(last[CircuitOf(c)], c[3]) << "period " << period;
        }
        // No level waits longer than a backlog of 16 commands plus its own
        // frame's share of the line.
        for (const LineMessage& m : commands) {
            ASSERT_LE(m.arrived - m.handedOver, 2 * 16 * 6 * SimulatedLine::kByteUs + period)
                << "period " << period;
        }
    }
}

TEST(SerialSchedule, ACircuitOnlyAnOlderFrameHadStaysPendingAndFrameOrderIsKept) {
    SimulatedLine line;
    line.stalled = true;
    // Frame 1: circuits 0..15, circuit 3 the zero owed to a disabled channel.
    auto first = FullFrame(10);
    first[3] = EncodeLevelCommand(3, 0, 1);
    line.Frame(0, first);
    // Frame 2 no longer sends circuit 3.
    auto second = FullFrame(50);
    second.erase(second.begin() + 3);
    line.Frame(1 * kMs, second);
    line.stalled = false;
    line.RunUntil(100 * kMs);
    const auto commands = Commands(line.received);
    ASSERT_EQ(commands.size(), 16u);
    for (int c = 0; c < 16; ++c) {
        EXPECT_EQ(CircuitOf(commands[c].command), 0x80 + c) << "in the first frame's order";
        const uint8_t expected = c == 3 ? IntensityByte(0) : IntensityByte((50 + c) % 101);
        EXPECT_EQ(commands[c].command[3], expected) << "circuit " << c;
    }
}

TEST(SerialSchedule, AStalledLineHoldsOneCommandPerCircuitAndResumesWithTheNewest) {
    SimulatedLine line;
    line.Frame(0, FullFrame(0));
    line.RunUntil(2 * kMs); // part of the first frame is out
    line.stalled = true;
    int f = 1;
    for (Micros t = 2 * kMs; t < 10'000 * kMs; t += 16'667, ++f) {
        line.Frame(t, FullFrame(f));
    }
    EXPECT_EQ(line.schedule.Pending().Size(), 16u);
    EXPECT_TRUE(KeepAliveTimes(line.received).empty()) << "no keep-alive while levels wait";
    const size_t before = line.received.size();
    line.stalled = false;
    line.RunUntil(10'100 * kMs);
    const auto newest = FullFrame(f - 1);
    std::vector<LevelCommand> after;
    for (size_t i = before; i < line.received.size(); ++i) {
        if (!line.received[i].keepAlive) {
            after.push_back(line.received[i].command);
        }
    }
    ASSERT_EQ(after.size(), 16u);
    for (const LevelCommand& c : after) {
        EXPECT_EQ(c, newest[CircuitOf(c) - 0x80]);
    }
}

TEST(SerialSchedule, TheDelayHoldsEachFrameBackAndKeepsFramesInOrder) {
    SimulatedLine line(300 * kMs);
    for (int f = 0; f < 30; ++f) {
        line.Frame(f * 33'333, FullFrame(f));
    }
    line.RunUntil(2'000 * kMs);
    const auto commands = Commands(line.received);
    ASSERT_EQ(commands.size(), 30u * 16);
    for (int f = 0; f < 30; ++f) {
        const LineMessage& first = commands[f * 16];
        EXPECT_EQ(first.command, FullFrame(f)[0]);
        EXPECT_EQ(first.handedOver, f * 33'333);
        EXPECT_EQ(first.arrived - first.handedOver, 300 * kMs + 6 * SimulatedLine::kByteUs);
    }
}

TEST(SerialSchedule, AFullDelayLineMergesNewFramesAndNothingLeavesEarly) {
    // 2 s of delay at 2000 frames a second is twice what the ring holds.
    SimulatedLine line(2'000 * kMs);
    line.stalled = true; // nothing is due before 2 s anyway
    int f = 0;
    for (Micros t = 0; t < 2'000 * kMs; t += 500, ++f) {
        line.Frame(t, FullFrame(f));
    }
    EXPECT_EQ(line.schedule.Delayed().Size(), DelayLine::kCapacity);
    line.stalled = false;
    line.RunUntil(5'000 * kMs);
    const auto commands = Commands(line.received);
    ASSERT_FALSE(commands.empty());
    for (const LineMessage& m : commands) {
        ASSERT_GE(m.arrived - m.handedOver, 2'000 * kMs);
    }
    std::map<uint8_t, uint8_t> last;
    for (const LineMessage& m : commands) {
        last[CircuitOf(m.command)] = m.command[3];
    }
    for (const LevelCommand& c : FullFrame(f - 1)) {
        EXPECT_EQ(last[CircuitOf(c)], c[3]);
    }
}

TEST(SerialSchedule, DrainingWritesDelayedFramesNowInOrderOrOnlyTheNewest) {
    SerialSchedule schedule;
    schedule.SetDelay(2'000 * kMs);
    schedule.Opened(0);
    for (int f = 1; f <= 3; ++f) {
        schedule.Submit(FullFrame(f).data(), 16, true, 0);
    }
    const SerialSchedule::Next waiting = schedule.Take(10 * kMs);
    EXPECT_EQ(waiting.kind, SerialSchedule::Next::Nothing);
    EXPECT_EQ(waiting.wakeAt, 500 * kMs) << "the keep-alive comes before the frames";

    // In order: frame 1 whole, then frame 2 whole, as the line takes them.
    for (int f = 1; f <= 2; ++f) {
        for (const LevelCommand& expected : FullFrame(f)) {
            const SerialSchedule::Next next =
                schedule.Take(11 * kMs, SerialSchedule::Drain::InOrder);
            ASSERT_EQ(next.kind, SerialSchedule::Next::Command);
            EXPECT_EQ(next.command, expected) << "frame " << f;
            schedule.Written(11 * kMs);
        }
    }
    // Newest: what is left merges; no keep-alive while draining.
    schedule.Submit(FullFrame(4).data(), 16, true, 0);
    for (const LevelCommand& expected : FullFrame(4)) {
        const SerialSchedule::Next next = schedule.Take(600 * kMs, SerialSchedule::Drain::Newest);
        ASSERT_EQ(next.kind, SerialSchedule::Next::Command);
        EXPECT_EQ(next.command, expected);
        schedule.Written(700 * kMs);
    }
    EXPECT_EQ(schedule.Take(700 * kMs, SerialSchedule::Drain::Newest).kind,
              SerialSchedule::Next::Nothing);
    EXPECT_TRUE(schedule.Idle());

    schedule.Submit(FullFrame(5).data(), 16, true, 700 * kMs);
    schedule.Drop();
    EXPECT_TRUE(schedule.Idle());
    EXPECT_EQ(schedule.Take(701 * kMs).wakeAt, 1'200 * kMs) << "the keep-alive follows the write";
}

TEST(PendingCommands, ReplacesInPlaceAndCountsWhatWasMergedAway) {
    PendingCommands pending;
    const LevelCommand a = EncodeLevelCommand(5, 10, 1), b = EncodeLevelCommand(2, 20, 1);
    const LevelCommand a2 = EncodeLevelCommand(5, 90, 7);
    const LevelCommand first[] = {a, b};
    pending.Merge(first, 2, 0);
    pending.Merge(&a2, 1, 5);
    ASSERT_EQ(pending.Size(), 2u);
    EXPECT_EQ(pending.Front(), a2) << "the newest level, device id included, in a's place";
    EXPECT_EQ(pending.FrontHandedOver(), 5);
    EXPECT_EQ(pending.Replaced(), 1u);
    pending.PopFront();
    EXPECT_EQ(pending.Front(), b);
}

} // namespace
