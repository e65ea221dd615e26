#pragma once
// WAV files in memory, built field by field, for the audio tests.

#include <cstdint>
#include <vector>

struct WavBytes {
    std::vector<uint8_t> bytes;
    // One byte at a time: GCC 12's optimizer takes a 4-byte range insert
    // into an empty vector for an overflow (-Wstringop-overflow).
    void Tag(const char* t) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<uint8_t>(t[i]));
        }
    }
    void U16(uint32_t v) {
        bytes.push_back(v & 0xFF);
        bytes.push_back((v >> 8) & 0xFF);
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
};

// With `extensible`, a WAVE_FORMAT_EXTENSIBLE header whose sub-format is
// `format` and whose speaker positions are `channelMask`.
inline WavBytes MakeWav(uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits,
                        const std::vector<uint8_t>& samples, bool extensible = false,
                        uint32_t channelMask = 3) {
    WavBytes w;
    const uint32_t fmtSize = extensible ? 40 : 16;
    w.Tag("RIFF");
    w.U32(4 + 8 + fmtSize + 8 + static_cast<uint32_t>(samples.size()));
    w.Tag("WAVE");
    w.Tag("fmt ");
    w.U32(fmtSize);
    w.U16(extensible ? 0xFFFE : format);
    w.U16(channels);
    w.U32(rate);
    w.U32(rate * channels * bits / 8);
    w.U16(channels * bits / 8);
    w.U16(bits);
    if (extensible) {
        w.U16(22);
        w.U16(bits);
        w.U32(channelMask);
        w.U16(format); // sub-format GUID: format tag, then the fixed tail
        const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        w.bytes.insert(w.bytes.end(), tail, tail + 14);
    }
    w.Tag("data");
    w.U32(static_cast<uint32_t>(samples.size()));
    w.bytes.insert(w.bytes.end(), samples.begin(), samples.end());
    return w;
}
