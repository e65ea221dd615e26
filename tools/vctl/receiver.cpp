#include "receiver.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

double Ms(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

std::string Hex(const uint8_t* bytes, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    return Hex(bytes.data(), bytes.size());
}

// A field value without spaces, so that the line still splits on them.
std::string Escaped(const std::string& text) {
    std::string s;
    for (unsigned char c : text) {
        if (c > ' ' && c < 0x7F && c != '%') {
            s += static_cast<char>(c);
        } else {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02x", c);
            s += code;
        }
    }
    return s;
}

constexpr size_t kMaxLoggedBytes = 64;

} // namespace

Stamp StampNow() {
    return Stamp{Ms(CLOCK_MONOTONIC), Ms(CLOCK_MONOTONIC_RAW)};
}

void EventLog::Line(const Stamp& at, const char* kind, const char* format, ...) {
    if (file_ == nullptr) {
        return;
    }
    std::fprintf(file_, "%.3f %s ", at.monoMs, kind);
    va_list args;
    va_start(args, format);
    std::vfprintf(file_, format, args);
    va_end(args);
    std::fprintf(file_, " raw=%.3f\n", at.rawMs);
    std::fflush(file_);
}

void DrawBars(const char* heading, const int (&levels)[kDisplayChannels]) {
    static bool cleared = false;
    // Clear once, then overwrite in place: the lines keep their width.
    std::printf(cleared ? "\x1b[H" : "\x1b[H\x1b[2J");
    cleared = true;
    std::printf("%s\x1b[K\n\n", heading);
    for (int ch = 0; ch < kDisplayChannels; ++ch) {
        const int level = levels[ch] < 0 ? 0 : levels[ch];
        char bar[51];
        const int filled = level / 2;
        std::memset(bar, '#', filled);
        std::memset(bar + filled, '.', 50 - filled);
        bar[50] = '\0';
        std::printf("%3d |%s| %3d\n", ch + 1, bar, level);
    }
    std::fflush(stdout);
}

SerialController::SerialController(EventLog& log) : log_(log) {
    for (auto& device : intensity_) {
        for (auto& channel : device) {
            channel = -1;
        }
    }
}

void SerialController::OnEvent(const StreamEvent& e, const Stamp& at) {
    switch (e.kind) {
    case StreamEvent::Kind::Level:
        ++commands_;
        intensity_[e.device][e.channel] = e.intensity;
        lastDevice_ = e.device;
        log_.Line(at, "LEVEL", "dev=%d ch=%d intensity=%d level=%d bytes=%s", e.device, e.channel,
                  e.intensity, LevelFromIntensity(e.intensity), Hex(e.bytes).c_str());
        break;
    case StreamEvent::Kind::KeepAlive:
        ++keepAlives_;
        log_.Line(at, "KEEPALIVE", "bytes=%s", Hex(e.bytes).c_str());
        break;
    case StreamEvent::Kind::Framing:
        ++framing_;
        log_.Line(at, "FRAMING", "bytes=%s", Hex(e.bytes).c_str());
        break;
    }
    changed_ = true;
}

void SerialController::Draw(int device) {
    if (!changed_) {
        return;
    }
    changed_ = false;
    if (device < 0) {
        device = lastDevice_;
    }
    int levels[kDisplayChannels];
    for (int ch = 0; ch < kDisplayChannels; ++ch) {
        const int intensity = device >= 0 && device < 256 ? intensity_[device][ch] : -1;
        levels[ch] = intensity < 0 ? 0 : LevelFromIntensity(static_cast<uint8_t>(intensity));
    }
    char heading[160];
    std::snprintf(heading, sizeof heading,
                  "vctl  device %d   commands %lu  keep-alives %lu  framing errors %lu", device,
                  commands_, keepAlives_, framing_);
    DrawBars(heading, levels);
}

void SerialController::Summary(const Stamp& at) {
    log_.Line(at, "SUMMARY", "commands=%lu keepalives=%lu framing=%lu", commands_, keepAlives_,
              framing_);
    std::fprintf(stderr, "vctl: %lu level commands, %lu keep-alives, %lu framing errors\n",
                 commands_, keepAlives_, framing_);
}

const char* ProtocolName(DmxProtocol protocol) {
    return protocol == DmxProtocol::Sacn ? "sacn" : "artnet";
}

DmxReceiver::DmxReceiver(DmxProtocol protocol, int startChannel, EventLog& log)
    : protocol_(protocol), startChannel_(startChannel), log_(log) {}

void DmxReceiver::OnDatagram(const uint8_t* data, size_t size, const char* from, const char* to,
                             const Stamp& at) {
    ++packets_;
    changed_ = true;
    const DmxPacket p = ParseDmxPacket(protocol_, data, size);
    if (p.Malformed()) {
        ++malformed_;
        log_.Line(at, "MALFORMED", "proto=%s reason=%s size=%zu from=%s to=%s bytes=%s",
                  ProtocolName(protocol_), p.fault, size, from, to,
                  Hex(data, std::min(size, kMaxLoggedBytes)).c_str());
        return;
    }
    if (const auto expected = sequence_.Gap(p)) {
        ++gaps_;
        log_.Line(at, "GAP", "proto=%s universe=%d expected=%d got=%d", ProtocolName(protocol_),
                  p.universe, *expected, p.sequence);
    }
    if (p.StreamTerminated()) {
        ++terminated_;
        LogPacket("TERMINATED", p, from, to, at);
        return;
    }
    LogPacket("PACKET", p, from, to, at);
    lastUniverse_ = p.universe;
    auto& levels = levels_[p.universe];
    levels.fill(-1);
    for (int circuit = 0; circuit < kDisplayChannels; ++circuit) {
        const int slot = startChannel_ + circuit;
        if (slot > p.slotCount) {
            break;
        }
        const uint8_t value = p.slots[static_cast<size_t>(slot - 1)];
        levels[static_cast<size_t>(circuit)] = LevelFromSlot(value);
        ++levelLines_;
        log_.Line(at, "LEVEL", "dev=%d ch=%d slot=%d value=%d level=%d", p.universe, circuit, slot,
                  value, LevelFromSlot(value));
    }
}

void DmxReceiver::LogPacket(const char* kind, const DmxPacket& p, const char* from, const char* to,
                            const Stamp& at) {
    if (p.protocol == DmxProtocol::Sacn) {
        log_.Line(at, kind,
                  "proto=sacn universe=%d seq=%d slots=%d priority=%d options=%d sync=%d cid=%s "
                  "source=%s from=%s to=%s",
                  p.universe, p.sequence, p.slotCount, p.priority, p.options, p.syncAddress,
                  Hex(p.cid.data(), p.cid.size()).c_str(), Escaped(p.sourceName).c_str(), from, to);
    } else {
        log_.Line(at, kind, "proto=artnet universe=%d seq=%d slots=%d physical=%d from=%s to=%s",
                  p.universe, p.sequence, p.slotCount, p.physical, from, to);
    }
}

void DmxReceiver::Draw(int universe) {
    if (!changed_) {
        return;
    }
    changed_ = false;
    if (universe < 0) {
        universe = lastUniverse_;
    }
    int levels[kDisplayChannels];
    const auto found = levels_.find(universe);
    for (int ch = 0; ch < kDisplayChannels; ++ch) {
        levels[ch] = found != levels_.end() ? found->second[static_cast<size_t>(ch)] : -1;
    }
    char heading[200];
    std::snprintf(heading, sizeof heading,
                  "vctl  %s universe %d   packets %lu  malformed %lu  sequence gaps %lu",
                  protocol_ == DmxProtocol::Sacn ? "sACN" : "Art-Net", universe, packets_,
                  malformed_, gaps_);
    DrawBars(heading, levels);
}

void DmxReceiver::Summary(const Stamp& at) {
    log_.Line(at, "SUMMARY", "packets=%lu malformed=%lu gaps=%lu terminated=%lu levels=%lu",
              packets_, malformed_, gaps_, terminated_, levelLines_);
    std::fprintf(stderr, "vctl: %lu packets, %lu malformed, %lu sequence gaps, %lu terminated\n",
                 packets_, malformed_, gaps_, terminated_);
}
