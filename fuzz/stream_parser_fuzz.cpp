// The virtual controller's stream parser over a line carrying what the
// plug-in's encoder makes, mixed with noise, delivered in arbitrary pieces
// with quiet pauses. The events give back every byte of the line in order;
// every message reported is well formed; every message sent is found
// exactly, with the fields it was encoded from, unless a message that began
// in the noise just before it took its leading 00 (the one way a lost byte
// can leave two readings of the line); and no reported message mixes a sent
// message's bytes with others in any other way. Messages made wholly of noise
// are the line's own and may be reported.

#include "fuzz_input.h"
#include "stream_parser.h"

#include "link/protocol.h"

#include <algorithm>
#include <vector>

namespace {

enum Op : uint8_t { kLevel, kKeepAlive, kNoise, kDeliver, kQuiet, kOpCount };

struct Sent {
    size_t begin, end;
    bool keepAlive;
    int32_t channel, level;
    uint8_t device;
};

struct Reported {
    size_t begin, end;
    StreamEvent event;
};

bool WellFormed(const StreamEvent& e) {
    const std::vector<uint8_t>& b = e.bytes;
    switch (e.kind) {
    case StreamEvent::Kind::KeepAlive:
        return std::equal(b.begin(), b.end(), KeepAliveMessage.begin(), KeepAliveMessage.end());
    case StreamEvent::Kind::Level:
        return b.size() == 6 && b[0] == 0 && b[1] != 0 && b[2] == 0x03 && b[3] >= 0x01 &&
               b[3] <= 0xD3 && b[4] >= 0x80 && b[5] == 0 && e.device == b[1] &&
               e.intensity == b[3] && e.channel == (b[4] & 0x7F);
    case StreamEvent::Kind::Framing:
        return !b.empty();
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    std::vector<uint8_t> line;
    std::vector<Sent> sent;
    std::vector<Reported> reported;
    size_t fed = 0, accounted = 0;
    StreamParser parser;
    const StreamSink sink = [&](const StreamEvent& e) {
        reported.push_back({accounted, accounted + e.bytes.size(), e});
        accounted += e.bytes.size();
    };
    const auto deliver = [&] {
        parser.Feed(line.data() + fed, line.size() - fed, sink);
        fed = line.size();
    };

    while (!in.AtEnd()) {
        switch (in.Byte() % kOpCount) {
        case kLevel: {
            Sent s{line.size(),
                   0,
                   false,
                   in.Byte(),
                   static_cast<int8_t>(in.Byte()),
                   std::max<uint8_t>(in.Byte(), 1)};
            const LevelCommand command = EncodeLevelCommand(s.channel, s.level, s.device);
            line.insert(line.end(), command.begin(), command.end());
            s.end = line.size();
            sent.push_back(s);
            break;
        }
        case kKeepAlive:
            sent.push_back({line.size(), line.size() + KeepAliveMessage.size(), true, 0, 0, 0});
            line.insert(line.end(), KeepAliveMessage.begin(), KeepAliveMessage.end());
            break;
        case kNoise: {
            const std::vector<uint8_t> noise = in.Bytes(in.Byte() % 16 + 1);
            line.insert(line.end(), noise.begin(), noise.end());
            break;
        }
        case kDeliver:
            deliver();
            break;
        case kQuiet:
            deliver();
            parser.FlushGarbage(sink);
            break;
        }
    }
    deliver();
    parser.Finish(sink);

    std::vector<uint8_t> replayed;
    for (const Reported& r : reported) {
        FUZZ_CHECK(WellFormed(r.event));
        replayed.insert(replayed.end(), r.event.bytes.begin(), r.event.bytes.end());
    }
    FUZZ_CHECK(replayed == line);

    for (const Sent& s : sent) {
        bool found = false, lostLeadingZero = false;
        // The events partition the line in order: visit those overlapping s.
        auto r = std::partition_point(reported.begin(), reported.end(),
                                      [&](const Reported& e) { return e.end <= s.begin; });
        for (; r != reported.end() && r->begin < s.end; ++r) {
            if (r->event.kind == StreamEvent::Kind::Framing) {
                continue;
            }
            if (r->begin == s.begin && r->end == s.end) {
                found = true;
                FUZZ_CHECK((r->event.kind == StreamEvent::Kind::KeepAlive) == s.keepAlive);
                if (!s.keepAlive) {
                    FUZZ_CHECK(r->event.device == s.device);
                    FUZZ_CHECK(r->event.channel == (s.channel & 0x7F));
                    FUZZ_CHECK(LevelFromIntensity(r->event.intensity) ==
                               std::clamp(s.level, 0, 100));
                }
            } else if (r->begin < s.begin) {
                FUZZ_CHECK(r->end == s.begin + 1);
                lostLeadingZero = true;
            } else {
                // What is left of a message that lost its leading 00 is
                // garbage up to its closing 00, which may start another.
                FUZZ_CHECK(lostLeadingZero && r->begin == s.end - 1);
            }
        }
        FUZZ_CHECK(found != lostLeadingZero);
    }
    return 0;
}
