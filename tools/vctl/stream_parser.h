#pragma once
// Splits the byte stream a lighting controller receives into its two
// messages: level commands (00 id 03 intensity circuit 00) and keep-alives
// (00 FF 81 56 00). Bytes that belong to neither are reported as a framing
// error, one report per run of such bytes (a long run in pieces of at most
// kMaxFramingBytes), and parsing picks up again at the next byte that can
// start a message.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct StreamEvent {
    enum class Kind { Level, KeepAlive, Framing };
    Kind kind = Kind::Framing;
    uint8_t device = 0;         // Level: the controller unit addressed (1..255)
    uint8_t channel = 0;        // Level: the circuit byte's low seven bits
    uint8_t intensity = 0;      // Level: 0x01 (full) .. 0xD3 (off)
    std::vector<uint8_t> bytes; // the message, or the bytes of the framing error
};

using StreamSink = std::function<void(const StreamEvent&)>;

class StreamParser {
public:
    // No framing report holds more bytes than this: continuous noise is
    // reported piece by piece while it lasts.
    static constexpr size_t kMaxFramingBytes = 64;

    void Feed(const uint8_t* data, size_t size, const StreamSink& sink);

    // The line went quiet: bytes already known to be garbage are reported
    // now instead of with the next message. A started message stays pending.
    void FlushGarbage(const StreamSink& sink);

    // End of the stream: a message left unfinished is a framing error too.
    void Finish(const StreamSink& sink);

private:
    void Push(uint8_t byte, const StreamSink& sink);

    std::vector<uint8_t> pending_; // a prefix of some message
    std::vector<uint8_t> garbage_; // bytes of no message, not yet reported
};

// The level (0..100) whose command carries `intensity`: the inverse of the
// plug-in's level-to-intensity mapping, clamped for bytes it never produces.
int LevelFromIntensity(uint8_t intensity);
