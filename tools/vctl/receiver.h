#pragma once
// What vctl does with what arrives, apart from where it comes from: the
// serial controller's messages and the network receiver's datagrams each
// become log lines and the 16 bars of the display.
//
// Every log line starts "<ms> <KIND>" and ends " raw=<ms>": the first is
// CLOCK_MONOTONIC, the last CLOCK_MONOTONIC_RAW (the clock Wine's performance
// counter runs on), both in milliseconds with three decimals, taken when the
// bytes were read. The fields between are key=value. The serial lines:
//   LEVEL dev=<id> ch=<0..127> intensity=<byte> level=<0..100> bytes=<hex>
//   KEEPALIVE bytes=00ff815600      FRAMING bytes=<hex> (at most 64 bytes a line)
//   SUMMARY commands=<n> keepalives=<n> framing=<n>     (last line, on exit)
// The network lines, for each datagram in this order:
//   GAP proto=<sacn|artnet> universe=<u> expected=<seq> got=<seq>
//   PACKET proto=sacn universe=<u> seq=<n> slots=<n> priority=<n> options=<n>
//          sync=<n> cid=<hex> source=<name, %xx for space, % and unprintables>
//          from=<ip:port> to=<ip>
//   PACKET proto=artnet universe=<port-address> seq=<n> slots=<n> physical=<n> from= to=
//   LEVEL dev=<u> ch=<circuit 0..15> slot=<n> value=<0..255> level=<0..100>
//          (one per circuit whose slot the packet carries, after its PACKET)
//   TERMINATED ...the fields of PACKET   (sACN's stream-terminated packets: no LEVEL lines)
//   MALFORMED proto=<p> reason=<field> size=<n> from= to= bytes=<hex, at most 64 bytes>
//   SUMMARY packets=<n> malformed=<n> gaps=<n> terminated=<n> levels=<n>
// "packets" counts every datagram, malformed ones included.

#include "dmx_parser.h"
#include "stream_parser.h"

#include <cstdio>
#include <map>

struct Stamp {
    double monoMs = 0; // CLOCK_MONOTONIC
    double rawMs = 0;  // CLOCK_MONOTONIC_RAW
};

Stamp StampNow();

class EventLog {
public:
    explicit EventLog(FILE* file) : file_(file) {}

    // One line: "<mono> <kind> <fields> raw=<raw>", flushed at once (tests
    // read the log while vctl runs).
    __attribute__((format(printf, 4, 5))) void Line(const Stamp& at, const char* kind,
                                                    const char* format, ...);

private:
    FILE* file_;
};

constexpr int kDisplayChannels = 16;

// Levels 0..100 of the 16 bars, or -1 for a channel nothing has set.
void DrawBars(const char* heading, const int (&levels)[kDisplayChannels]);

class SerialController {
public:
    explicit SerialController(EventLog& log);

    void OnEvent(const StreamEvent& e, const Stamp& at);
    // Shows the bars of `device`, or of the last device addressed when -1.
    void Draw(int device);
    void Summary(const Stamp& at);

private:
    EventLog& log_;
    int intensity_[256][128]; // -1: never set
    int lastDevice_ = -1;
    unsigned long commands_ = 0, keepAlives_ = 0, framing_ = 0;
    bool changed_ = true;
};

class DmxReceiver {
public:
    // Circuit a is slot startChannel + a.
    DmxReceiver(DmxProtocol protocol, int startChannel, EventLog& log);

    // One datagram; `from` and `to` are its sender ("ip:port") and the
    // address it was sent to.
    void OnDatagram(const uint8_t* data, size_t size, const char* from, const char* to,
                    const Stamp& at);
    // Shows the circuits of `universe`, or of the last one received when -1.
    void Draw(int universe);
    void Summary(const Stamp& at);

    unsigned long Packets() const { return packets_; }

private:
    void LogPacket(const char* kind, const DmxPacket& p, const char* from, const char* to,
                   const Stamp& at);

    DmxProtocol protocol_;
    int startChannel_;
    EventLog& log_;
    SequenceCheck sequence_;
    std::map<int, std::array<int, kDisplayChannels>> levels_; // by universe
    int lastUniverse_ = -1;
    unsigned long packets_ = 0, malformed_ = 0, gaps_ = 0, terminated_ = 0, levelLines_ = 0;
    bool changed_ = true;
};

const char* ProtocolName(DmxProtocol protocol);
