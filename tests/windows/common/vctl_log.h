#pragma once
// Reads the virtual controller's message log from a Windows test. Tests that
// use the serial port run under tools/with-vctl, which starts the controller,
// maps a COM port to it and names both in the environment:
//   TWINKLA_TEST_PORT   the COM port the controller listens on
//   TWINKLA_VCTL_LOG    its log, as a Windows path
// The log has one line per message the controller received:
//   <ms> LEVEL dev=<id> ch=<n> intensity=<byte> level=<0..100> bytes=<hex> raw=<ms>
//   <ms> KEEPALIVE bytes=<hex> raw=<ms>      <ms> FRAMING bytes=<hex> raw=<ms>
// with <ms> the controller's own monotonic clock: compare times between log
// lines only, never with the test's clock. raw=<ms> is CLOCK_MONOTONIC_RAW,
// the clock Wine's QueryPerformanceCounter runs on: it can be compared with
// the counter's time in ms. As a network receiver (vctl --sacn, --artnet) the
// controller logs PACKET, TERMINATED, MALFORMED and GAP lines, and one LEVEL
// line (dev=<universe>, no intensity or bytes) per circuit a packet carries;
// tools/vctl/receiver.h lists their fields.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

struct VctlMessage {
    enum class Kind {
        Level,
        KeepAlive,
        Framing,
        Summary,
        Packet,
        Terminated,
        Malformed,
        Gap,
        Unknown
    };
    Kind kind = Kind::Unknown;
    double timeMs = 0;
    double rawMs = -1;                                         // -1: not logged
    int device = -1, channel = -1, intensity = -1, level = -1; // Level only
    std::string bytes;                                         // lower-case hex
    std::map<std::string, std::string> fields;                 // every key=value
    std::string line;                                          // as logged
};

inline VctlMessage ParseVctlLine(const std::string& line) {
    VctlMessage m;
    m.line = line;
    std::istringstream in(line);
    std::string kind;
    in >> m.timeMs >> kind;
    if (kind == "LEVEL") {
        m.kind = VctlMessage::Kind::Level;
    } else if (kind == "KEEPALIVE") {
        m.kind = VctlMessage::Kind::KeepAlive;
    } else if (kind == "FRAMING") {
        m.kind = VctlMessage::Kind::Framing;
    } else if (kind == "SUMMARY") {
        m.kind = VctlMessage::Kind::Summary;
    } else if (kind == "PACKET") {
        m.kind = VctlMessage::Kind::Packet;
    } else if (kind == "TERMINATED") {
        m.kind = VctlMessage::Kind::Terminated;
    } else if (kind == "MALFORMED") {
        m.kind = VctlMessage::Kind::Malformed;
    } else if (kind == "GAP") {
        m.kind = VctlMessage::Kind::Gap;
    }
    std::string field;
    while (in >> field) {
        const size_t eq = field.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
        m.fields[key] = value;
        if (key == "bytes") {
            m.bytes = value;
        } else if (key == "dev") {
            m.device = std::atoi(value.c_str());
        } else if (key == "ch") {
            m.channel = std::atoi(value.c_str());
        } else if (key == "intensity") {
            m.intensity = std::atoi(value.c_str());
        } else if (key == "level") {
            m.level = std::atoi(value.c_str());
        } else if (key == "raw") {
            m.rawMs = std::atof(value.c_str());
        }
    }
    return m;
}

using VctlMessages = std::vector<VctlMessage>;

inline size_t CountOf(const VctlMessages& messages, VctlMessage::Kind kind) {
    return static_cast<size_t>(std::count_if(
        messages.begin(), messages.end(), [kind](const VctlMessage& m) { return m.kind == kind; }));
}

inline VctlMessages OfKind(const VctlMessages& messages, VctlMessage::Kind kind) {
    VctlMessages out;
    std::copy_if(messages.begin(), messages.end(), std::back_inserter(out),
                 [kind](const VctlMessage& m) { return m.kind == kind; });
    return out;
}

class VctlLog {
public:
    // Empty when the test doesn't run under tools/with-vctl.
    static std::string PathFromEnvironment() { return Env("TWINKLA_VCTL_LOG"); }
    static std::string TestPort() { return Env("TWINKLA_TEST_PORT"); }

    explicit VctlLog(std::string path = PathFromEnvironment()) : path_(std::move(path)) {}

    // Reads what was appended since the last call; whole lines only.
    const VctlMessages& Refresh() {
        std::ifstream in(path_, std::ios::binary);
        if (!in) {
            return messages_;
        }
        in.seekg(static_cast<std::streamoff>(offset_));
        std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t start = 0;
        for (size_t end; (end = chunk.find('\n', start)) != std::string::npos; start = end + 1) {
            std::string line = chunk.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (!line.empty()) {
                messages_.push_back(ParseVctlLine(line));
            }
        }
        offset_ += start;
        return messages_;
    }

    // The position of the next message to arrive; pass it to Since and WaitUntil.
    size_t Mark() { return Refresh().size(); }

    // Messages logged from `mark` on, as far as read so far.
    VctlMessages Since(size_t mark) {
        Refresh();
        return VctlMessages(messages_.begin() +
                                static_cast<std::ptrdiff_t>(std::min(mark, messages_.size())),
                            messages_.end());
    }

    // Polls until `done(Since(mark))` holds; false if it still doesn't after
    // `timeoutMs`.
    template <typename Predicate> bool WaitUntil(size_t mark, Predicate done, int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (done(Since(mark))) {
                return true;
            }
            if (Clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // Waits until `count` messages of `kind` have arrived since `mark`.
    bool WaitForCount(size_t mark, VctlMessage::Kind kind, size_t count, int timeoutMs) {
        return WaitUntil(
            mark, [&](const VctlMessages& m) { return CountOf(m, kind) >= count; }, timeoutMs);
    }

private:
    using Clock = std::chrono::steady_clock;

    static std::string Env(const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr ? value : "";
    }

    std::string path_;
    size_t offset_ = 0;
    VctlMessages messages_;
};
