#include "stream_parser.h"

#include <algorithm>

namespace {

enum class Match { Invalid, Partial, Level, KeepAlive };

constexpr uint8_t kKeepAlive[] = {0x00, 0xFF, 0x81, 0x56, 0x00};

bool IsKeepAlivePrefix(const std::vector<uint8_t>& b) {
    return b.size() <= sizeof kKeepAlive && std::equal(b.begin(), b.end(), kKeepAlive);
}

// Fields are checked against what a level command can carry, so that a
// corrupted stream resynchronises early instead of swallowing real messages.
bool IsLevelPrefix(const std::vector<uint8_t>& b) {
    const size_t n = b.size();
    return n <= 6 && b[0] == 0x00 && (n < 2 || b[1] != 0x00) && (n < 3 || b[2] == 0x03) &&
           (n < 4 || (b[3] >= 0x01 && b[3] <= 0xD3)) && (n < 5 || b[4] >= 0x80) &&
           (n < 6 || b[5] == 0x00);
}

Match Classify(const std::vector<uint8_t>& b) {
    if (IsKeepAlivePrefix(b)) {
        return b.size() == sizeof kKeepAlive ? Match::KeepAlive : Match::Partial;
    }
    if (IsLevelPrefix(b)) {
        return b.size() == 6 ? Match::Level : Match::Partial;
    }
    return Match::Invalid;
}

} // namespace

void StreamParser::Feed(const uint8_t* data, size_t size, const StreamSink& sink) {
    for (size_t i = 0; i < size; ++i) {
        Push(data[i], sink);
    }
}

void StreamParser::Push(uint8_t byte, const StreamSink& sink) {
    pending_.push_back(byte);
    while (!pending_.empty()) {
        const Match match = Classify(pending_);
        if (match == Match::Partial) {
            return;
        }
        if (match == Match::Invalid) {
            // The first byte can start no message; the rest may still.
            garbage_.push_back(pending_.front());
            pending_.erase(pending_.begin());
            if (garbage_.size() == kMaxFramingBytes) {
                FlushGarbage(sink); // noise with no end in sight: report this much now
            }
            continue;
        }
        FlushGarbage(sink);
        StreamEvent event;
        event.kind =
            match == Match::Level ? StreamEvent::Kind::Level : StreamEvent::Kind::KeepAlive;
        if (match == Match::Level) {
            event.device = pending_[1];
            event.intensity = pending_[3];
            event.channel = pending_[4] & 0x7F;
        }
        event.bytes.swap(pending_);
        sink(event);
        pending_.clear();
        return;
    }
}

void StreamParser::FlushGarbage(const StreamSink& sink) {
    if (garbage_.empty()) {
        return;
    }
    StreamEvent event;
    event.kind = StreamEvent::Kind::Framing;
    event.bytes.swap(garbage_);
    garbage_.clear();
    sink(event);
}

void StreamParser::Finish(const StreamSink& sink) {
    garbage_.insert(garbage_.end(), pending_.begin(), pending_.end());
    pending_.clear();
    FlushGarbage(sink);
}

int LevelFromIntensity(uint8_t intensity) {
    // The plug-in sends 1 + floor(2.1 * (100 - level)); the smallest whole
    // (100 - level) reaching the byte undoes that exactly.
    const int off = (std::max(intensity, uint8_t{1}) - 1) * 10;
    const int down = (off + 20) / 21;
    return std::clamp(100 - down, 0, 100);
}
