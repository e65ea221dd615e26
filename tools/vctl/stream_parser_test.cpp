#include "stream_parser.h"

#include "link/protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

// Events in a compact text form: "L1/2/106", "K", "F[0103]".
std::string Describe(const StreamEvent& e) {
    switch (e.kind) {
    case StreamEvent::Kind::Level:
        return "L" + std::to_string(e.device) + "/" + std::to_string(e.channel) + "/" +
               std::to_string(e.intensity);
    case StreamEvent::Kind::KeepAlive:
        return "K";
    case StreamEvent::Kind::Framing: {
        std::string s = "F[";
        char hex[3];
        for (uint8_t b : e.bytes) {
            std::snprintf(hex, sizeof hex, "%02x", b);
            s += hex;
        }
        return s + "]";
    }
    }
    return "?";
}

struct Recorder {
    std::vector<std::string> events;
    StreamSink Sink() {
        return [this](const StreamEvent& e) { events.push_back(Describe(e)); };
    }
};

std::vector<std::string> ParseWhole(const Bytes& stream) {
    StreamParser parser;
    Recorder r;
    parser.Feed(stream.data(), stream.size(), r.Sink());
    parser.Finish(r.Sink());
    return r.events;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

Bytes Command(int channel, int level, uint8_t device) {
    const LevelCommand c = EncodeLevelCommand(channel, level, device);
    return Bytes(c.begin(), c.end());
}

const Bytes kKeep(KeepAliveMessage.begin(), KeepAliveMessage.end());

using V = std::vector<std::string>;

TEST(StreamParser, SplitsCommandsFromTheLinkEncoderAndKeepAlives) {
    const Bytes stream = Cat({Command(2, 50, 1), kKeep, Command(15, 100, 255), kKeep});
    EXPECT_EQ(ParseWhole(stream), (V{"L1/2/106", "K", "L255/15/1", "K"}));
}

TEST(StreamParser, ResultDoesNotDependOnHowTheStreamIsCut) {
    // Device 255 makes a command share its first two bytes with a keep-alive.
    const Bytes stream = Cat({kKeep, Command(3, 0, 255), Command(0, 100, 7), kKeep});
    const V whole = ParseWhole(stream);
    ASSERT_EQ(whole, (V{"K", "L255/3/211", "L7/0/1", "K"}));
    for (size_t cut = 1; cut < stream.size(); ++cut) {
        StreamParser parser;
        Recorder r;
        parser.Feed(stream.data(), cut, r.Sink());
        parser.Feed(stream.data() + cut, stream.size() - cut, r.Sink());
        parser.Finish(r.Sink());
        EXPECT_EQ(r.events, whole) << "cut at " << cut;
    }
}

TEST(StreamParser, StrayBytesAreOneFramingErrorAndParsingResumes) {
    EXPECT_EQ(ParseWhole(Cat({{0x42, 0x43}, Command(1, 50, 1)})), (V{"F[4243]", "L1/1/106"}));
    EXPECT_EQ(ParseWhole(Cat({Command(1, 50, 1), {0xAA}, kKeep})), (V{"L1/1/106", "F[aa]", "K"}));
}

TEST(StreamParser, ATruncatedCommandIsReportedAndTheNextOneStillParses) {
    const Bytes cut = {0x00, 0x01, 0x03, 0x6A};
    EXPECT_EQ(ParseWhole(Cat({cut, Command(4, 25, 1)})), (V{"F[0001036a]", "L1/4/158"}));
}

TEST(StreamParser, AKeepAliveInsideACommandIsFoundAndTheTornCommandReported) {
    // What an unguarded second writer would produce.
    const Bytes c = Command(2, 50, 1);
    const Bytes torn = Cat(
        {Bytes(c.begin(), c.begin() + 3), kKeep, Bytes(c.begin() + 3, c.end()), Command(5, 0, 1)});
    EXPECT_EQ(ParseWhole(torn), (V{"F[000103]", "K", "F[6a8200]", "L1/5/211"}));
}

TEST(StreamParser, FieldsOutsideWhatACommandCarriesAreFramingErrors) {
    // Device 0, intensity 0 and 0xD4, circuit below 0x80, a nonzero last byte.
    EXPECT_EQ(ParseWhole({0x00, 0x00, 0x03, 0x6A, 0x82, 0x00}), (V{"F[0000036a8200]"}));
    EXPECT_EQ(ParseWhole({0x00, 0x01, 0x03, 0x00, 0x82, 0x00}), (V{"F[000103008200]"}));
    EXPECT_EQ(ParseWhole({0x00, 0x01, 0x03, 0xD4, 0x82, 0x00}), (V{"F[000103d48200]"}));
    EXPECT_EQ(ParseWhole({0x00, 0x01, 0x03, 0x6A, 0x02, 0x00}), (V{"F[0001036a0200]"}));
    EXPECT_EQ(ParseWhole({0x00, 0x01, 0x03, 0x6A, 0x82, 0x01}), (V{"F[0001036a8201]"}));
}

TEST(StreamParser, GarbageWaitsForTheIdleFlushButAStartedMessageDoesNot) {
    StreamParser parser;
    Recorder r;
    const Bytes b = {0x55, 0x00, 0x01};
    parser.Feed(b.data(), b.size(), r.Sink());
    EXPECT_TRUE(r.events.empty());
    parser.FlushGarbage(r.Sink());
    EXPECT_EQ(r.events, (V{"F[55]"}));
    const Bytes rest = {0x03, 0x6A, 0x82, 0x00};
    parser.Feed(rest.data(), rest.size(), r.Sink());
    EXPECT_EQ(r.events, (V{"F[55]", "L1/2/106"}));
}

TEST(StreamParser, ContinuousNoiseIsReportedInBoundedPiecesAsItArrives) {
    // A megabyte of bytes none of which can start a message, read in the
    // pieces vctl reads, with no quiet moment for the idle flush.
    std::mt19937 rng(7);
    Bytes noise(1 << 20);
    for (uint8_t& b : noise) {
        b = static_cast<uint8_t>(1 + rng() % 255);
    }
    StreamParser parser;
    size_t reports = 0, reported = 0, largest = 0;
    const StreamSink sink = [&](const StreamEvent& e) {
        ASSERT_EQ(e.kind, StreamEvent::Kind::Framing);
        ++reports;
        reported += e.bytes.size();
        largest = std::max(largest, e.bytes.size());
    };
    for (size_t at = 0; at < noise.size(); at += 4096) {
        parser.Feed(noise.data() + at, 4096, sink);
        ASSERT_GE(reported + StreamParser::kMaxFramingBytes, at + 4096) << "held back at " << at;
    }
    EXPECT_LE(largest, StreamParser::kMaxFramingBytes);
    EXPECT_GE(reports, noise.size() / StreamParser::kMaxFramingBytes);

    // The noise ends: the rest of it goes out before the next message.
    Recorder r;
    const Bytes c = Command(3, 100, 9);
    parser.Feed(c.data(), c.size(), [&](const StreamEvent& e) {
        if (e.kind == StreamEvent::Kind::Framing) {
            sink(e);
        } else {
            r.Sink()(e);
        }
    });
    EXPECT_EQ(reported, noise.size()) << "every byte reported once";
    EXPECT_EQ(r.events, (V{"L9/3/1"}));
}

TEST(StreamParser, RandomlyChunkedValidStreamHasNoFramingErrors) {
    std::mt19937 rng(12345);
    Bytes stream;
    V expected;
    for (int i = 0; i < 5000; ++i) {
        if (rng() % 5 == 0) {
            stream.insert(stream.end(), kKeep.begin(), kKeep.end());
            expected.push_back("K");
        } else {
            const int ch = rng() % 16, level = static_cast<int>(rng() % 121) - 10;
            const uint8_t dev = 1 + rng() % 255;
            const Bytes c = Command(ch, level, dev);
            stream.insert(stream.end(), c.begin(), c.end());
            expected.push_back("L" + std::to_string(dev) + "/" + std::to_string(ch) + "/" +
                               std::to_string(IntensityByte(level)));
        }
    }
    StreamParser parser;
    Recorder r;
    for (size_t at = 0; at < stream.size();) {
        const size_t n = std::min<size_t>(1 + rng() % 17, stream.size() - at);
        parser.Feed(stream.data() + at, n, r.Sink());
        at += n;
    }
    parser.Finish(r.Sink());
    EXPECT_EQ(r.events, expected);
}

TEST(LevelFromIntensity, UndoesTheLinkMappingForEveryLevel) {
    for (int level = 0; level <= 100; ++level) {
        EXPECT_EQ(LevelFromIntensity(IntensityByte(level)), level) << "level " << level;
    }
    EXPECT_EQ(LevelFromIntensity(0x00), 100);
    EXPECT_EQ(LevelFromIntensity(0xFF), 0);
}

} // namespace
